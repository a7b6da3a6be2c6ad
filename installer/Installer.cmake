# The installer of the release, from the very files the zip holds, checked
# (under 1 MiB, 32-bit, this version) before it is left beside the zip.
# Included by cmake/Release.cmake, which defines PWG_ZIP.
find_program(PWG_MAKENSIS makensis)
if(NOT PWG_MAKENSIS)
  message(FATAL_ERROR "makensis (package nsis) is missing; the release builds its installer with it. "
                      "Run scripts/setup.")
endif()
set(PWG_SETUP ${CMAKE_BINARY_DIR}/pw_gate-${PROJECT_VERSION}-setup.exe)
# Built aside and moved beside the zip once checked.
set(unchecked ${CMAKE_BINARY_DIR}/installer/pw_gate-${PROJECT_VERSION}-setup.exe)
add_custom_command(OUTPUT ${PWG_SETUP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${PWG_SETUP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/installer
  COMMAND ${PWG_MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION} -DBIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
          -DICON=${CMAKE_SOURCE_DIR}/res/pw_gate.ico -DOUTFILE=${unchecked} ${CMAKE_CURRENT_LIST_DIR}/pw_gate.nsi
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DVERSION=${PROJECT_VERSION} -DSETUP=${unchecked}
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckRelease.cmake
  COMMAND ${CMAKE_COMMAND} -E rename ${unchecked} ${PWG_SETUP}
  # The zip comes after the release's checks: the installer packs checked files.
  DEPENDS ${PWG_ZIP} ${CMAKE_CURRENT_LIST_DIR}/pw_gate.nsi ${CMAKE_SOURCE_DIR}/res/pw_gate.ico
          ${CMAKE_SOURCE_DIR}/cmake/CheckRelease.cmake
  COMMENT "Building the installer and checking it"
  VERBATIM)
