# The desktop program and its Debian package, laid out as Debian lays out a game: the program
# in games/, with its menu entry, icons, software-centre entry, manual page, copyright and
# changelog.
if(NOT TARGET quillop)
    return()
endif()
include(GNUInstallDirs)
set(quillop_id io.github.quillop.quillop)  # the software-centre id, named by the menu entry too
set(quillop_files ${PROJECT_BINARY_DIR}/package)
file(MAKE_DIRECTORY ${quillop_files})

# Debian's place for games, on every user's PATH, which the menu entry's Exec relies on.
install(TARGETS quillop RUNTIME DESTINATION games)
install(FILES ${PROJECT_SOURCE_DIR}/app/sdl/${quillop_id}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/sdl/${quillop_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icons, drawn by quillop-art as the browser page's are, at the menu's usual sizes; 48
# is smaller than the tile itself.
set(quillop_icons "")
foreach(size 48 64 128 256)
    set(option --icon)
    if(size LESS 64)
        set(option --shrunk-icon)
    endif()
    add_custom_command(OUTPUT ${quillop_files}/icon-${size}.png
                       COMMAND quillop-art ${option} ${size} ${quillop_files}/icon-${size}.png
                       DEPENDS quillop-art
                       COMMENT "Drawing the ${size} x ${size} icon")
    list(APPEND quillop_icons ${quillop_files}/icon-${size}.png)
    install(FILES ${quillop_files}/icon-${size}.png RENAME quillop.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The manual page and the changelog gzipped without a name or time stamp (-n), so that the
# same sources give the same package.
add_custom_command(OUTPUT ${quillop_files}/quillop.6.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/quillop.6
                           ${quillop_files}/quillop.6
                   COMMAND gzip -9nf ${quillop_files}/quillop.6
                   DEPENDS ${PROJECT_SOURCE_DIR}/docs/quillop.6
                   COMMENT "Compressing the manual page")
add_custom_command(OUTPUT ${quillop_files}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md
                           -DOUTPUT=${quillop_files}/changelog.gz -DVERSION=${PROJECT_VERSION}
                           -P ${PROJECT_SOURCE_DIR}/cmake/debian-changelog.cmake
                   DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md
                           ${PROJECT_SOURCE_DIR}/cmake/debian-changelog.cmake
                   COMMENT "Writing CHANGELOG.md as a Debian changelog")
add_custom_target(quillop_package_files ALL
                  DEPENDS ${quillop_icons} ${quillop_files}/quillop.6.gz
                          ${quillop_files}/changelog.gz)
install(FILES ${quillop_files}/quillop.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${quillop_files}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The copyright file in Debian's machine-readable format, its notice and licence text taken
# from LICENSE. Debian calls the MIT licence Expat.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE quillop_licence)
if(NOT quillop_licence MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(Permission .*)$")
    message(FATAL_ERROR "LICENSE: no \"Copyright (c) ...\" line followed by the licence text")
endif()
set(quillop_notice "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" quillop_licence)
string(REPLACE "\n\n" "\n.\n" quillop_licence "${quillop_licence}")
string(REPLACE "\n" "\n " quillop_licence "${quillop_licence}")
file(CONFIGURE OUTPUT ${quillop_files}/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Quillop
Upstream-Contact: Quillop developers <quillop@example.org>

Files: *
Copyright: ${quillop_notice}
License: Expat
 ${quillop_licence}
")
install(FILES ${quillop_files}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillop)
set(CPACK_PACKAGE_VENDOR "Quillop")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tile puzzle: clear the board by removing groups of one colour")
# Debian shows these lines as they are: each within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "A board of coloured tiles: a left click removes a group of two or more tiles
of one colour, the tiles above fall down and empty columns close up to the
left. A right click brings back the dealt board. Start it as
`quillop COLOURS WIDTH HEIGHT`, for instance `quillop 3 10 8`.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillop developers <quillop@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Exact library versions where the Debian tool that finds them is there; a plain list else.
find_program(QUILLOP_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILLOP_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0, libstdc++6, libgcc-s1, libc6")
endif()
include(CPack)
