# Debian packages, made with `cpack -G DEB` in a build folder (scripts/package.sh does it all):
#   scalino-cli  the command-line program, its manual page, the bash completion and the examples
#                under /usr/share/doc/scalino (install() COMPONENT cli)
#   scalino      the desktop window, its manual page, desktop entry, icons and AppStream metainfo
#                (install() COMPONENT gui); it depends on scalino-cli of the same version, which
#                its metainfo names as one of the programs it provides
# The libraries each package depends on are read from its binaries by dpkg-shlibdeps (dpkg-dev).
set(SCALINO_DEBIAN_RELEASE 1)
set(SCALINO_DEBIAN_VERSION "${PROJECT_VERSION}-${SCALINO_DEBIAN_RELEASE}")
set(SCALINO_MAINTAINER "Velmora <support@velmora.com>")

# The Debian changelog's newest entry names the version packaged; a release changes both.
set(debian_dir "${PROJECT_SOURCE_DIR}/cmake/debian")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${debian_dir}/changelog" "${debian_dir}/copyright")
file(STRINGS "${debian_dir}/changelog" changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^scalino \\(([^)]+)\\) ")
  message(FATAL_ERROR "${debian_dir}/changelog does not start with an entry for scalino")
elseif(NOT CMAKE_MATCH_1 STREQUAL SCALINO_DEBIAN_VERSION)
  message(FATAL_ERROR "The newest entry of ${debian_dir}/changelog is ${CMAKE_MATCH_1}; the "
                      "package version is ${SCALINO_DEBIAN_VERSION}: add an entry for it")
endif()
# Compressed as Debian wants it: gzip -9, without the name and time of the uncompressed file.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(changelog_gz "${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz")
file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/debian")
execute_process(COMMAND "${GZIP_PROGRAM}" -9 -n -c "${debian_dir}/changelog"
  OUTPUT_FILE "${changelog_gz}" RESULT_VARIABLE gzip_status)
if(NOT gzip_status EQUAL 0)
  message(FATAL_ERROR "gzip ${debian_dir}/changelog: ${gzip_status}")
endif()

set(scalino_components cli)
if(SCALINO_BUILD_GUI)
  list(APPEND scalino_components gui)
endif()
# Every package has its copyright and changelog in /usr/share/doc/<package>. Only the packages
# install them: a plain `cmake --install` leaves them out.
set(package_cli scalino-cli)
set(package_gui scalino)
foreach(component IN LISTS scalino_components)
  install(FILES "${debian_dir}/copyright" "${changelog_gz}"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package_${component}}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_PACKAGE_NAME scalino)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${SCALINO_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_COMPONENTS_ALL ${scalino_components})
set(CPACK_PRE_BUILD_SCRIPTS "${debian_dir}/CompressManPages.cmake")

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SCALINO_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SCALINO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://scalino.velmora.com")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
find_program(DPKG_PROGRAM dpkg)
if(DPKG_PROGRAM)
  execute_process(COMMAND "${DPKG_PROGRAM}" --print-architecture
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

# Both programs play their sound through FluidSynth with a General MIDI soundfont; a build
# without FluidSynth plays none.
if(NOT DEFINED SCALINO_WITH_FLUIDSYNTH OR SCALINO_WITH_FLUIDSYNTH)
  set(soundfont timgm6mb-soundfont)
else()
  set(soundfont "")
endif()

set(CPACK_DEBIAN_CLI_PACKAGE_NAME scalino-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "${soundfont}")
# The description's lines as they go into the control file (one space is put before each): the
# synopsis, then a paragraph of lines of at most 79 characters.
set(CPACK_DEBIAN_CLI_DESCRIPTION "keyboard wedge for scales and barcode scanners, command line
scalino-cli reads the values that scales, balances, barcode scanners and
gauges send over RS-232 or USB serial ports, formats them and types them as
keystrokes into the focused application, or prints them. It lists the serial
ports, detects the port an instrument is on, simulates instruments and
processes recorded lines, for terminals, scripts and systemd services. An
example user unit is in /usr/share/doc/scalino/examples.")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME scalino)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "scalino-cli (= ${SCALINO_DEBIAN_VERSION})")
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "${soundfont}")
set(CPACK_DEBIAN_GUI_DESCRIPTION "keyboard wedge for scales and barcode scanners, desktop window
Scalino types the readings of scales, balances, barcode scanners and gauges
connected to RS-232 or USB serial ports into the application that has the
keyboard focus: a spreadsheet, a form or a terminal. Its window sets the port
and the instrument, edits, rounds and formats each value, shows an event log
of the lines received and can wait in the system tray.")

include(CPack)
