# The Windows zip: quillop.exe and a short text on starting it, with the licence after it.
install(TARGETS quillop RUNTIME DESTINATION .)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt quillop_readme)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE quillop_licence)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/README.txt
     CONTENT "${quillop_readme}\nLicence\n-------\n\n${quillop_licence}" @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quillop)
set(CPACK_PACKAGE_VENDOR "Quillop")
set(CPACK_PACKAGE_FILE_NAME "quillop-${PROJECT_VERSION}-win32")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
