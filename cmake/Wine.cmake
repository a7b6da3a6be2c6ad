# The 64-bit Windows build runs its programs (tests, test discovery, benchmarks)
# under 64-bit Wine, in a prefix of its own inside the build tree.
find_program(PWG_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT PWG_WINE64)
  message(FATAL_ERROR "64-bit Wine (/usr/lib/wine/wine64) is missing; the win64 build runs its tests under it.\n"
                      "Run scripts/setup, or: apt-get install wine wine64")
endif()
set(PWG_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run ${PWG_WINEPREFIX})
