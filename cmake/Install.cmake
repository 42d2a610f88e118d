# Installing Kestrion on a Linux desktop: the programs, the menu entry, the icons and the AppStream metadata, and a
# Debian package of all of it (`cpack -G DEB` in the build folder; the package installs under /usr).
include(GNUInstallDirs)

# One name for the menu entry, the icon and the metadata, so that desktops and software centres tie them together.
set(KESTRION_APP_ID org.kestrion.Kestrion)

if(TARGET kestrion)
  install(TARGETS kestrion RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/data/${KESTRION_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/${KESTRION_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The window's own drawing is the scalable icon; the PNG sizes are rendered from it once and committed
  # (data/icons/render.sh), so that building needs no SVG renderer.
  install(FILES ${PROJECT_SOURCE_DIR}/src/qt/resources/kestrion.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${KESTRION_APP_ID}.svg)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/icons/hicolor
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
          FILES_MATCHING PATTERN "${KESTRION_APP_ID}.png")
endif()

# The simulated total station comes along, for trying Kestrion without an instrument.
if(TARGET kestrion-station)
  install(TARGETS kestrion-station RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Hardening of the installed programs, as Debian builds its packages: checked string and memory functions
# (they need optimisation, and would hide faults from the sanitizers, so not in Debug, sanitizer or fuzz
# builds) and a read-only relocation table bound at start-up. It applies to the programs and to the project's
# libraries that they link.
option(KESTRION_HARDENING "Build the installed programs with _FORTIFY_SOURCE and -z relro -z now" ON)
function(kestrion_harden target)
  get_target_property(imported ${target} IMPORTED)
  get_target_property(type ${target} TYPE)
  if(imported OR type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
    return()
  endif()
  get_property(done GLOBAL PROPERTY kestrion_hardened)
  if(target IN_LIST done)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY kestrion_hardened ${target})
  if(NOT KESTRION_SANITIZE AND NOT KESTRION_BUILD_FUZZ AND NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
    target_compile_definitions(${target} PRIVATE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  endif()
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
  endif()
  get_target_property(libraries ${target} LINK_LIBRARIES)
  foreach(library IN LISTS libraries)
    if(TARGET ${library})
      kestrion_harden(${library})
    endif()
  endforeach()
endfunction()

# Stripping as Debian's tools do: also the compilers' notes, which a package does not need.
function(kestrion_strip_notes target)
  if(CMAKE_STRIP)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\")
endif()")
  endif()
endfunction()

foreach(program kestrion kestrion-station)
  if(TARGET ${program})
    # The hardening is an ELF program's; a Windows program (the station, built there since it has a port) has
    # its own defaults.
    if(KESTRION_HARDENING AND NOT WIN32)
      kestrion_harden(${program})
    endif()
    kestrion_strip_notes(${program})
  endif()
endforeach()

# Who answers for the package and its copyright file. The project runs no mailbox: the address says so.
set(KESTRION_MAINTAINER "Kestrion developers <noreply@kestrion.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

# The version is project()'s; the metadata's newest release gives the date that the manual pages and the
# changelog carry, and must name the same version (the packaging tests check that as well).
file(STRINGS ${PROJECT_SOURCE_DIR}/data/${KESTRION_APP_ID}.metainfo.xml kestrion_release
     REGEX "<release version=" LIMIT_COUNT 1)
if(kestrion_release MATCHES "version=\"([^\"]*)\" date=\"([0-9-]+)\"")
  set(KESTRION_RELEASE_VERSION ${CMAKE_MATCH_1})
  set(KESTRION_RELEASE_DATE ${CMAKE_MATCH_2})
endif()
if(NOT KESTRION_RELEASE_VERSION STREQUAL PROJECT_VERSION)
  message(WARNING "The newest release in data/${KESTRION_APP_ID}.metainfo.xml is '${KESTRION_RELEASE_VERSION}', "
                  "the project's version is ${PROJECT_VERSION}: add a release entry for ${PROJECT_VERSION}")
endif()

# Text files for the package, made at configure time so that any build target installs them. Manual pages and
# the changelog go compressed, without a name or time in the gzip header, as Debian wants them.
set(kestrion_generated ${PROJECT_BINARY_DIR}/install)
find_program(KESTRION_GZIP gzip)
mark_as_advanced(KESTRION_GZIP)
function(kestrion_compressed source_file result)
  if(KESTRION_GZIP)
    execute_process(COMMAND ${KESTRION_GZIP} -9 -n -c ${source_file} OUTPUT_FILE ${source_file}.gz
                    RESULT_VARIABLE failed)
    if(NOT failed)
      set(${result} ${source_file}.gz PARENT_SCOPE)
      return()
    endif()
  endif()
  set(${result} ${source_file} PARENT_SCOPE)
endfunction()

# Manual pages: docs/man/NAME.1.in with @KESTRION_VERSION@ and @KESTRION_RELEASE_DATE@ filled in, and nothing
# else (a page may well show @record@).
foreach(program kestrion kestrion-station)
  if(TARGET ${program})
    set(template ${PROJECT_SOURCE_DIR}/docs/man/${program}.1.in)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${template})
    file(READ ${template} text)
    string(REPLACE "@KESTRION_VERSION@" "${PROJECT_VERSION}" text "${text}")
    string(REPLACE "@KESTRION_RELEASE_DATE@" "${KESTRION_RELEASE_DATE}" text "${text}")
    file(WRITE ${kestrion_generated}/${program}.1 "${text}")
    kestrion_compressed(${kestrion_generated}/${program}.1 page)
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()

# The copyright file (Debian's machine-readable format) and the changelog, in the package's documentation
# folder. The licence's full text is LICENSE; Debian systems hold it as /usr/share/common-licenses/GPL-3.
set(kestrion_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/kestrion)
file(CONFIGURE OUTPUT ${kestrion_generated}/copyright @ONLY CONTENT [[
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Kestrion
Upstream-Contact: @KESTRION_MAINTAINER@

Files: *
Copyright: 2026 Kestrion developers
License: GPL-3+
Comment: Kestrion uses Qt 6 under the GNU Lesser General Public License,
 version 3, which allows this.

Files: data/org.kestrion.Kestrion.metainfo.xml
Copyright: 2026 Kestrion developers
License: CC0-1.0

License: GPL-3+
 This program is free software: you can redistribute it and/or modify
 it under the terms of the GNU General Public License as published by
 the Free Software Foundation, either version 3 of the License, or
 (at your option) any later version.
 .
 This program is distributed in the hope that it will be useful,
 but WITHOUT ANY WARRANTY; without even the implied warranty of
 MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.  See the
 GNU General Public License for more details.
 .
 You should have received a copy of the GNU General Public License
 along with this program.  If not, see <https://www.gnu.org/licenses/>.
 .
 On Debian systems, the complete text of the GNU General Public
 License version 3 can be found in "/usr/share/common-licenses/GPL-3".

License: CC0-1.0
 To the extent possible under law, the authors have waived all
 copyright and related or neighboring rights to this metadata file.
 .
 On Debian systems, the complete text of the CC0 1.0 Universal
 license can be found in "/usr/share/common-licenses/CC0-1.0".
]])
install(FILES ${kestrion_generated}/copyright DESTINATION ${kestrion_docdir})

# The surveyor's guide in both languages with its pictures, and the sample files that the guide and the
# manual pages practise with.
install(FILES ${PROJECT_SOURCE_DIR}/docs/guide.md ${PROJECT_SOURCE_DIR}/docs/guide.zh_CN.md
        DESTINATION ${kestrion_docdir})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images DESTINATION ${kestrion_docdir} FILES_MATCHING PATTERN "*.png")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${kestrion_docdir}/examples
        FILES_MATCHING PATTERN "sample.*" PATTERN "obs-download.txt")
# The samples hold Chinese names in code page 936, as the instrument's files do; lintian wants UTF-8 text.
file(WRITE ${kestrion_generated}/lintian-overrides [[
# The sample files are in code page 936 (GBK) on purpose: Kestrion passes the instrument's bytes unchanged.
kestrion: national-encoding [usr/share/doc/kestrion/examples/*]
]])
install(FILES ${kestrion_generated}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME kestrion)

# A package whose version has no Debian revision is a native one, and Debian tools expect its changelog as
# changelog.gz, in the format of debian/changelog.
execute_process(COMMAND date -u -R -d "${KESTRION_RELEASE_DATE}" OUTPUT_VARIABLE KESTRION_RELEASE_DATE_RFC2822
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
if(failed OR NOT KESTRION_RELEASE_DATE_RFC2822)
  set(KESTRION_RELEASE_DATE_RFC2822 "Thu, 01 Jan 1970 00:00:00 +0000")
endif()
file(CONFIGURE OUTPUT ${kestrion_generated}/changelog @ONLY CONTENT [[
kestrion (@PROJECT_VERSION@) stable; urgency=medium

  * Release @PROJECT_VERSION@.

 -- @KESTRION_MAINTAINER@  @KESTRION_RELEASE_DATE_RFC2822@
]])
kestrion_compressed(${kestrion_generated}/changelog changelog)
install(FILES ${changelog} DESTINATION ${kestrion_docdir})

# ---- Debian package ----

set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrion)
set(CPACK_PACKAGE_VENDOR Kestrion)
set(CPACK_PACKAGE_CONTACT "${KESTRION_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "transfer survey data to and from a total station")
# Lines of the long description stay under 80 characters, as Debian tools expect; dpkg joins them into paragraphs.
set(CPACK_PACKAGE_DESCRIPTION [[
Kestrion moves survey data between a PC and a total station over a serial
cable. It uploads road files (.HLN, .VLN), .TLN and .CPT files or any text
file one line at a time as the instrument asks for them, and collects the
records that the instrument sends into a data file of their type. Data stays
in code page 936 (GBK) byte for byte; the window is in Chinese.]])
if(TARGET kestrion-station)
  string(APPEND CPACK_PACKAGE_DESCRIPTION [[


It comes with kestrion-station, a simulated total station for trying
Kestrion without an instrument.]])
endif()
set(CPACK_STRIP_FILES ON)
# Directories that install() creates take the umask of whoever builds; a package wants them world-readable.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTRION_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The window's texts are Chinese: without a CJK font they show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-noto-cjk)

# dpkg-shlibdeps (with `file`, which CPack runs to find the programs) reads the libraries the programs link
# against. Qt loads the SVG icon through a plugin that no program links, so that package is always named here.
set(kestrion_loaded_at_run_time "libqt6svg6 (>= 6.4)")
find_program(KESTRION_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(KESTRION_FILE_PROGRAM file)
mark_as_advanced(KESTRION_DPKG_SHLIBDEPS KESTRION_FILE_PROGRAM)
if(KESTRION_DPKG_SHLIBDEPS AND KESTRION_FILE_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${kestrion_loaded_at_run_time}")
else()
  # Without those tools, name by hand what the programs link against (as on Debian 12).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6 (>= 2.34), libstdc++6 (>= 11), libgcc-s1 (>= 3.0), libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), \
libqt6widgets6 (>= 6.4), ${kestrion_loaded_at_run_time}")
endif()

# A source package of the tree as committed, without build folders.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/\\.git$" "/\\.cache/" "/build[^/]*/" "/fuzz-out/" "\\.swp$")

include(CPack)
