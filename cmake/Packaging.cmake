# The program's one version (project() above) and its icon reach the code,
# the Windows resources and installer and the Linux package from here; the
# Linux build also installs and packs the program (cmake --install, cpack -G
# DEB), the Windows build makes its installer (cmake/WindowsInstaller.cmake).
include(GNUInstallDirs)

foreach(_part MAJOR MINOR PATCH)
  if(PROJECT_VERSION_${_part} STREQUAL "")
    set(PROJECT_VERSION_${_part} 0)
  endif()
endforeach()
target_compile_definitions(harvel_portable PUBLIC
  HARVEL_VERSION="${PROJECT_VERSION}"
  HARVEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  HARVEL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  HARVEL_VERSION_PATCH=${PROJECT_VERSION_PATCH})

if(HARVEL_TESTS AND NOT CMAKE_CROSSCOMPILING)
  # The web application's package files cannot follow the project version
  # by themselves: they must agree with it.
  add_test(NAME version_agrees
           COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
                   -P ${CMAKE_SOURCE_DIR}/cmake/check_version.cmake)
endif()

# ---- Windows: icon, version resource and manifest of harvel.exe; installer ---
if(WIN32 AND TARGET harvel)
  set(HARVEL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(HARVEL_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(HARVEL_ICON_FILE ${CMAKE_SOURCE_DIR}/icons/icon.ico)
  set(HARVEL_MANIFEST_FILE ${HARVEL_GENERATED_DIR}/harvel.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/harvel.manifest.in ${HARVEL_MANIFEST_FILE} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/harvel.rc.in ${HARVEL_GENERATED_DIR}/harvel.rc @ONLY)
  target_sources(harvel PRIVATE ${HARVEL_GENERATED_DIR}/harvel.rc)
  set_source_files_properties(${HARVEL_GENERATED_DIR}/harvel.rc PROPERTIES
    OBJECT_DEPENDS "${HARVEL_ICON_FILE};${HARVEL_MANIFEST_FILE}")
  include(cmake/WindowsInstaller.cmake)
endif()

# ---- Linux: window icon, install rules and the Debian package ----------------
if(NOT WIN32)
  add_custom_command(
    OUTPUT ${HARVEL_GENERATED_DIR}/app_icon_images.cpp
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${HARVEL_GENERATED_DIR}/app_icon_images.cpp
            "-DINPUTS=app_icon_32_png=${CMAKE_SOURCE_DIR}/icons/32x32.png;app_icon_128_png=${CMAKE_SOURCE_DIR}/icons/128x128.png"
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_bytes.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/icons/32x32.png ${CMAKE_SOURCE_DIR}/icons/128x128.png
            ${CMAKE_SOURCE_DIR}/cmake/embed_bytes.cmake
    COMMENT "Embedding the program icon"
    VERBATIM)
  target_sources(harvel_linux PRIVATE ${HARVEL_GENERATED_DIR}/app_icon_images.cpp)

  # The icon theme's sizes, drawn by the icon tool.
  set(_theme ${CMAKE_BINARY_DIR}/icons/hicolor)
  set(_theme_files "")
  foreach(_size 16 24 32 48 64 128 256)
    list(APPEND _theme_files ${_theme}/${_size}x${_size}/apps/harvel.png)
  endforeach()
  add_custom_command(
    OUTPUT ${_theme_files}
    COMMAND draw_app_icon --hicolor ${_theme}
    DEPENDS draw_app_icon
    COMMENT "Drawing the program icon's theme sizes"
    VERBATIM)
  add_custom_target(harvel_theme_icons ALL DEPENDS ${_theme_files})

  install(TARGETS harvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS harvel-keys RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/harvel)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/linux/harvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(DIRECTORY ${_theme} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/linux/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/harvel)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME harvel)
  set(CPACK_PACKAGE_VENDOR Harvel)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_CONTACT "Harvel <dev@harvel.uz>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyboard utility for writing Uzbek in the new Latin letters")
  # The long description under the summary line (CPack indents it).
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Harvel types the new Uzbek letters ş, ç, ö and ğ in every program, in
four modes, with per-application rules, a tray icon and a main window.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://harvel.uz)
  # Depends from the libraries the binary links (dpkg-shlibdeps); links open
  # through xdg-open.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
  set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
  include(CPack)

  if(HARVEL_TESTS)
    add_test(NAME program_icons_current COMMAND draw_app_icon --check ${CMAKE_SOURCE_DIR}/icons)
    # Builds the .deb, checks its contents and metadata, installs it into a
    # scratch root, starts it from its desktop entry and removes it.
    find_program(HARVEL_WEBDRIVER WebKitWebDriver)
    add_test(NAME linux_package
             COMMAND ${CMAKE_SOURCE_DIR}/tests/linux_host/with_xvfb.sh
                     ${CMAKE_SOURCE_DIR}/packaging/linux/check-package.sh
                     ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${HARVEL_WEBDRIVER})
    set_tests_properties(linux_package PROPERTIES TIMEOUT 300)
  endif()
endif()
