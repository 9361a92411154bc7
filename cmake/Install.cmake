# What `cmake --install` puts beside the two programs so that they behave as a
# desktop program: the menu entry, its icon in every size, the software-centre
# description, the manual pages and the udev rule that lets the logged-in user
# open the meter without root. The programs' own install() lines sit with
# their targets in src/app.
include(GNUInstallDirs)

set(ZORVEX_APP_ID org.zorvex.Zorvex)
set(ZORVEX_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
# udev reads <prefix>/lib/udev/rules.d, never a multiarch library directory.
set(ZORVEX_UDEV_RULES_DIR lib/udev/rules.d)
set(ZORVEX_UDEV_RULES_NAME 70-zorvex-meter.rules)
set(ZORVEX_ICON_SIZES 16 22 24 32 48 64 128 256)

set(generated "${PROJECT_BINARY_DIR}/packaging")
set(generated_files "")

# Manual pages: the version and the rule's path filled in, then compressed as
# Debian installs them. A "-" in roff may print as a hyphen, so escape it.
string(REPLACE "-" "\\-" ZORVEX_UDEV_RULES_FILE
       "${CMAKE_INSTALL_PREFIX}/${ZORVEX_UDEV_RULES_DIR}/${ZORVEX_UDEV_RULES_NAME}")
# The user manual (HTML and its pictures) where the installed program reads
# doc/ (DataLocations); the manual pages name it.
set(ZORVEX_DOC_DIR "${CMAKE_INSTALL_DATADIR}/zorvex/doc")
string(REPLACE "-" "\\-" ZORVEX_MANUAL_DIR "${CMAKE_INSTALL_PREFIX}/${ZORVEX_DOC_DIR}/manual")
if(ZORVEX_GUI)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/doc/manual" "${PROJECT_SOURCE_DIR}/doc/images" DESTINATION "${ZORVEX_DOC_DIR}")
endif()

set(man_pages zorvex-cli)
if(ZORVEX_GUI)
  list(APPEND man_pages zorvex)
endif()
foreach(page IN LISTS man_pages)
  configure_file("${ZORVEX_PACKAGING_DIR}/${page}.1" "${generated}/${page}.1" @ONLY)
  add_custom_command(
    OUTPUT "${generated}/${page}.1.gz"
    COMMAND gzip -9 -n -k -f "${generated}/${page}.1"
    DEPENDS "${generated}/${page}.1"
    VERBATIM)
  list(APPEND generated_files "${generated}/${page}.1.gz")
  install(FILES "${generated}/${page}.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endforeach()

install(FILES "${ZORVEX_PACKAGING_DIR}/${ZORVEX_UDEV_RULES_NAME}" DESTINATION "${ZORVEX_UDEV_RULES_DIR}")

if(ZORVEX_GUI)
  # The bitmaps are drawn from the one SVG at build time, so they never drift from it.
  find_program(ZORVEX_RSVG_CONVERT rsvg-convert)
  if(NOT ZORVEX_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert not found (Debian package librsvg2-bin; scripts/install-deps installs it)")
  endif()
  set(icon_svg "${ZORVEX_PACKAGING_DIR}/icons/${ZORVEX_APP_ID}.svg")
  foreach(size IN LISTS ZORVEX_ICON_SIZES)
    set(png "${generated}/icons/${size}x${size}/${ZORVEX_APP_ID}.png")
    add_custom_command(
      OUTPUT "${png}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${generated}/icons/${size}x${size}"
      COMMAND "${ZORVEX_RSVG_CONVERT}" --width ${size} --height ${size} --format png --output "${png}" "${icon_svg}"
      DEPENDS "${icon_svg}"
      VERBATIM)
    list(APPEND generated_files "${png}")
    install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
  install(FILES "${icon_svg}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
  install(FILES "${ZORVEX_PACKAGING_DIR}/${ZORVEX_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${ZORVEX_PACKAGING_DIR}/${ZORVEX_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
endif()

# Everything above that the build makes; `make package` builds it with the programs.
add_custom_target(zorvex_install_files ALL DEPENDS ${generated_files})
