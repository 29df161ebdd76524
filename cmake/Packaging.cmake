# One Debian package per build folder, made with `cpack -G DEB` (scripts/package.sh makes both):
#   scalino      from a build with the window: both programs, their manual pages, the bash
#                completion, desktop entry, icons, AppStream metainfo and the examples under
#                /usr/share/doc/scalino (install() COMPONENTs cli and gui, packed as one)
#   scalino-cli  from a build without the window (and, for servers, without X11 and FluidSynth):
#                the command-line program alone (COMPONENT cli)
# Both hold /usr/bin/scalino-cli, so each conflicts with and replaces the other.
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

if(SCALINO_BUILD_GUI)
  set(scalino_components cli gui)
  set(scalino_package scalino)
  set(scalino_other_package scalino-cli)
else()
  set(scalino_components cli)
  set(scalino_package scalino-cli)
  set(scalino_other_package scalino)
endif()
# The package has its copyright and changelog in /usr/share/doc/<package>. Only the package
# installs them: a plain `cmake --install` leaves them out.
install(FILES "${debian_dir}/copyright" "${changelog_gz}"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${scalino_package}
  COMPONENT cli EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME ${scalino_package})
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${SCALINO_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_COMPONENTS_ALL ${scalino_components})
set(CPACK_PRE_BUILD_SCRIPTS "${debian_dir}/CompressManPages.cmake")

# The components of a build go into its one package.
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
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

set(CPACK_DEBIAN_PACKAGE_NAME ${scalino_package})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${soundfont}")
set(CPACK_DEBIAN_PACKAGE_CONFLICTS ${scalino_other_package})
set(CPACK_DEBIAN_PACKAGE_REPLACES ${scalino_other_package})
# The description's lines as they go into the control file (one space is put before each): the
# synopsis, then a paragraph of lines of at most 79 characters.
if(SCALINO_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "keyboard wedge for scales and barcode scanners
Scalino types the readings of scales, balances, barcode scanners and gauges
connected to RS-232 or USB serial ports into the application that has the
keyboard focus: a spreadsheet, a form or a terminal. Its window sets the port
and the instrument, edits, rounds and formats each value, shows an event log
of the lines received and can wait in the system tray. The command-line
program scalino-cli does the same in terminals, scripts and services.")
else()
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "keyboard wedge for scales and barcode scanners, headless
scalino-cli reads the values that scales, balances, barcode scanners and
gauges send over RS-232 or USB serial ports, formats them and types them as
keystrokes, or prints them. It lists the serial ports, detects the port an
instrument is on, simulates instruments and processes recorded lines, for
servers, scripts and systemd services. This package is the command-line
program alone; the package scalino adds the desktop window. An example user
unit is in /usr/share/doc/scalino/examples.")
endif()

include(CPack)
