# The Windows builds run their programs (tests, test discovery, benchmarks)
# under Wine, in a prefix of their own inside the build tree: the 64-bit build
# with the 64-bit loader, the 32-bit build with the 32-bit one in the same
# kind of 64-bit prefix (WoW64), as a 32-bit program runs on 64-bit Windows.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(PWG_WINE_LOADER /usr/lib/wine/wine)
  set(hint "32-bit Wine (/usr/lib/wine/wine, package wine32:i386) is missing; the win32 build runs its tests under it")
else()
  set(PWG_WINE_LOADER /usr/lib/wine/wine64)
  set(hint "64-bit Wine (/usr/lib/wine/wine64, package wine64) is missing; the win64 build runs its tests under it")
endif()
if(NOT EXISTS ${PWG_WINE_LOADER} OR NOT EXISTS /usr/lib/wine/wine64)
  message(FATAL_ERROR "${hint}.\nRun scripts/setup.")
endif()
set(PWG_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINELOADER=${PWG_WINE_LOADER} ${CMAKE_SOURCE_DIR}/cmake/wine-run ${PWG_WINEPREFIX})
