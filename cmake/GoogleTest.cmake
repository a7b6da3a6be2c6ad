# GoogleTest from Debian's googletest source package, built for each target.
find_path(PWG_GOOGLETEST_DIR googletest/CMakeLists.txt
  PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT PWG_GOOGLETEST_DIR)
  message(FATAL_ERROR "GoogleTest sources not found in /usr/src/googletest: run scripts/setup (package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${PWG_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# pwg_add_gtest(NAME SOURCES... LIBS ... [TIMEOUT seconds] [PROPERTIES ...]): one
# test program, its cases found at test time. A case gets TIMEOUT seconds (30 by
# default: in-process cases take one or two); under Wine the program is killed a
# few seconds before that, so what it printed still reaches the log.
function(pwg_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 30)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} pwg_test_root gtest gtest_main)
  if(PWG_RELEASE)
    # What runs beside the tests is what ships: the stripped pw_gate.exe and
    # GetTime.dll that the release target puts in bin/.
    add_dependencies(${name} release)
  endif()
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    math(EXPR limit "${ARG_TIMEOUT} - 5")
    set_target_properties(${name} PROPERTIES
      CROSSCOMPILING_EMULATOR "env;PWG_TIME_LIMIT=${limit};${CMAKE_CROSSCOMPILING_EMULATOR}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} ${ARG_PROPERTIES})
endfunction()
