# The desktop program installed as bin/quillop with its desktop entry, and its Debian package.
if(NOT TARGET quillop)
    return()
endif()
include(GNUInstallDirs)
install(TARGETS quillop RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/app/sdl/quillop.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillop)
set(CPACK_PACKAGE_VENDOR "Quillop")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tile puzzle: clear the board by removing groups of one colour")
set(CPACK_PACKAGE_DESCRIPTION
    "A board of coloured tiles: a left click removes a group of two or more tiles of one
colour, the tiles above fall down and empty columns close up to the left. A right click
brings back the dealt board. Start it as `quillop COLOURS WIDTH HEIGHT`, for instance
`quillop 3 10 8`.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillop developers <quillop@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Exact library versions where the Debian tool that finds them is there; a plain list else.
find_program(QUILLOP_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILLOP_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0, libstdc++6, libgcc-s1, libc6")
endif()
include(CPack)
