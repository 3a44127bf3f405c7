# The zip of the browser page: every file of site/, ready for any static file host.
install(DIRECTORY ${PROJECT_BINARY_DIR}/site/ DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quillop)
set(CPACK_PACKAGE_VENDOR "Quillop")
set(CPACK_PACKAGE_FILE_NAME "quillop-web")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
