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
  install(FILES ${PROJECT_SOURCE_DIR}/src/app/resources/kestrion.svg
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

# ---- Debian package ----
set(KESTRION_PACKAGE_MAINTAINER "Kestrion maintainers <maintainers@kestrion.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrion)
set(CPACK_PACKAGE_VENDOR Kestrion)
set(CPACK_PACKAGE_CONTACT "${KESTRION_PACKAGE_MAINTAINER}")
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
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTRION_PACKAGE_MAINTAINER}")
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
