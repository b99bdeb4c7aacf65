# What `cpack` makes: on Linux a Debian package (the program, its menu entry and icons, the README,
# the licence and the nightly scheduler examples under /usr/share/doc/tarnwick); on Windows a zip of
# TARNWICK.exe and the README. The Linux program's own install rules are in src/frontend/qt.
include(GNUInstallDirs)

set(CPACK_PACKAGE_VENDOR "the TARNWICK developers")
set(CPACK_PACKAGE_CONTACT "the TARNWICK developers <tarnwick@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Drives one unattended run of a cryptocurrency node, one light a step")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # One static TARNWICK.exe needs nothing beside it; the stand-ins and tests are not shipped.
  install(TARGETS TARNWICK RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME TARNWICK)
  set(CPACK_PACKAGE_FILE_NAME TARNWICK-${PROJECT_VERSION}-windows-x64)
elseif(TARGET TARNWICK)
  set(tarnwick_doc ${CMAKE_INSTALL_DATADIR}/doc/tarnwick)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${tarnwick_doc})
  # Debian keeps a package's licence in /usr/share/doc/<package>/copyright.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${tarnwick_doc} RENAME copyright)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/tarnwick-night.service
                ${PROJECT_SOURCE_DIR}/packaging/systemd/tarnwick-night.timer
                ${PROJECT_SOURCE_DIR}/packaging/systemd/tarnwick-headless.service
                ${PROJECT_SOURCE_DIR}/packaging/systemd/tarnwick-headless.timer
          DESTINATION ${tarnwick_doc}/examples)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tarnwick)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tarnwick_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The long description only: CPack puts the synopsis above it and sets every line one space in,
  # an empty line as " .", as Debian's format asks. Lines indented here would reach package tools
  # two spaces in, which they show verbatim instead of wrapping.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "TARNWICK runs a helper tool that prepares the machine, starts the node, waits\n\
for a chain-progress tool to end, stops the node with its command-line client\n\
and runs the helper tool that undoes the preparation.\n\
\n\
Started under another name, as the included systemd user timer starts it each\n\
night, it keeps settings of its own and can close itself when the run ends.")
  # The libraries the program links (Qt 6, libxcb, the C++ runtime) are found by dpkg-shlibdeps;
  # Qt's X11 platform plugin ships in libqt6gui6, which that brings in.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The windows are laid out for Arial's metrics, which Liberation Sans matches.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation2)
endif()

include(CPack)
