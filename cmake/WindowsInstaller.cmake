# The Windows installer, packages/Harvel-Setup-<version>.exe, built with
# Debian's makensis from packaging/windows/installer.nsi around the stripped
# harvel.exe (the one in the build folder keeps its symbols for the tests).
# With the tests, a second installer of the same program with a marker
# after its image, so that an update's replacement can be seen.
find_program(HARVEL_MAKENSIS makensis)
if(NOT HARVEL_MAKENSIS)
  message(WARNING "makensis not found (package nsis): the Windows installer is not built")
  return()
endif()

set(_installer_dir ${CMAKE_BINARY_DIR}/installer)
set(_script ${CMAKE_SOURCE_DIR}/packaging/windows/installer.nsi)
file(MAKE_DIRECTORY ${_installer_dir}/marked ${CMAKE_BINARY_DIR}/packages)

# <target>: the installer <output> of the program <program>.
function(harvel_windows_installer target output program)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${HARVEL_MAKENSIS} -V2 -WX -INPUTCHARSET UTF8
            -DVERSION=${PROJECT_VERSION} -DVERSION_QUAD=${HARVEL_VERSION_QUAD}
            -DPROGRAM=${program} -DICON=${HARVEL_ICON_FILE} -DOUTFILE=${output} ${_script}
    DEPENDS ${program} ${_script} ${HARVEL_ICON_FILE}
    COMMENT "Building the installer ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

add_custom_command(
  OUTPUT ${_installer_dir}/harvel.exe
  COMMAND ${CMAKE_STRIP} --strip-all -o ${_installer_dir}/harvel.exe $<TARGET_FILE:harvel>
  DEPENDS harvel
  COMMENT "Stripping harvel.exe for the installer"
  VERBATIM)
set(HARVEL_INSTALLER_FILE ${CMAKE_BINARY_DIR}/packages/Harvel-Setup-${PROJECT_VERSION}.exe)
harvel_windows_installer(harvel_installer ${HARVEL_INSTALLER_FILE} ${_installer_dir}/harvel.exe)

if(HARVEL_TESTS)
  set(HARVEL_INSTALLER_MARKER "harvel-test-build-marker")
  add_custom_command(
    OUTPUT ${_installer_dir}/marked/harvel.exe
    COMMAND ${CMAKE_COMMAND} -DINPUT=${_installer_dir}/harvel.exe -DOUTPUT=${_installer_dir}/marked/harvel.exe
            -DMARKER=${HARVEL_INSTALLER_MARKER} -P ${CMAKE_SOURCE_DIR}/tests/win32/installer/mark_program.cmake
    DEPENDS ${_installer_dir}/harvel.exe ${CMAKE_SOURCE_DIR}/tests/win32/installer/mark_program.cmake
    VERBATIM)
  set(HARVEL_MARKED_INSTALLER_FILE ${_installer_dir}/marked/Harvel-Setup-${PROJECT_VERSION}.exe)
  harvel_windows_installer(harvel_marked_installer ${HARVEL_MARKED_INSTALLER_FILE}
                           ${_installer_dir}/marked/harvel.exe)
endif()
