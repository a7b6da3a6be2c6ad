# What ships: pw_gate.exe, GetTime.dll and pw_gate_svc.exe, stripped, side by
# side in bin/; the linker's output stays in linked/ and the debug information
# goes to symbols/, found again through the debug link each shipped file carries.
# The 32-bit release is checked, zipped for copying and packed into its installer.
set(PWG_LINKED_DIR ${CMAKE_BINARY_DIR}/linked)
set(PWG_SYMBOLS_DIR ${CMAKE_BINARY_DIR}/symbols)
find_program(PWG_OBJCOPY ${PWG_TRIPLE}-objcopy REQUIRED)

set(PWG_SHIPPED "")
foreach(shipped IN ITEMS "pw_gate;pw_gate.exe" "GetTime;GetTime.dll" "pw_gate_svc;pw_gate_svc.exe")
  list(GET shipped 0 target)
  list(GET shipped 1 file)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PWG_LINKED_DIR})
  set(out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${file})
  add_custom_command(OUTPUT ${out} ${PWG_SYMBOLS_DIR}/${file}.debug
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PWG_SYMBOLS_DIR} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    COMMAND ${PWG_OBJCOPY} --only-keep-debug ${PWG_LINKED_DIR}/${file} ${PWG_SYMBOLS_DIR}/${file}.debug
    COMMAND ${PWG_OBJCOPY} --strip-all --add-gnu-debuglink=${PWG_SYMBOLS_DIR}/${file}.debug
            ${PWG_LINKED_DIR}/${file} ${out}
    DEPENDS ${target}
    COMMENT "Stripping ${file}"
    VERBATIM)
  list(APPEND PWG_SHIPPED ${out})
endforeach()

if(PWG_32BIT)
  set(PWG_ZIP ${CMAKE_BINARY_DIR}/pw_gate-${PROJECT_VERSION}-win32.zip)
  # Checked first: a release that fails its checks leaves no zip.
  add_custom_command(OUTPUT ${PWG_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${PWG_ZIP}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DVERSION=${PROJECT_VERSION}
            -DEXE=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/pw_gate.exe -DDLL=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/GetTime.dll
            -DSVC=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/pw_gate_svc.exe
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckRelease.cmake
    COMMAND ${CMAKE_COMMAND} -E tar cf ${PWG_ZIP} --format=zip pw_gate.exe GetTime.dll pw_gate_svc.exe
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    DEPENDS ${PWG_SHIPPED} ${CMAKE_SOURCE_DIR}/cmake/CheckRelease.cmake ${CMAKE_SOURCE_DIR}/gettime/CheckExports.cmake
    COMMENT "Checking the release and zipping it"
    VERBATIM)
  include(${CMAKE_SOURCE_DIR}/installer/Installer.cmake)
  add_custom_target(release ALL DEPENDS ${PWG_ZIP} ${PWG_SETUP})
  if(PWG_TESTS)
    add_test(NAME Release.TheZipHoldsTheFilesTheTestsRan
      COMMAND ${CMAKE_COMMAND} -DZIP=${PWG_ZIP} -DBIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
              -DWORK=${CMAKE_BINARY_DIR}/zip-check -P ${CMAKE_SOURCE_DIR}/cmake/CheckZip.cmake)
  endif()
else()
  add_custom_target(release ALL DEPENDS ${PWG_SHIPPED})
endif()
