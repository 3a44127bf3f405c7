# The Windows zip: quillop.exe and a short text on starting it.
install(TARGETS quillop RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt DESTINATION . RENAME README.txt)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quillop)
set(CPACK_PACKAGE_VENDOR "Quillop")
set(CPACK_PACKAGE_FILE_NAME "quillop-${PROJECT_VERSION}-win32")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
