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

# pwg_add_gtest(NAME SOURCES... LIBS ...): one test program, its cases found at test time.
function(pwg_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>
    PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
endfunction()
