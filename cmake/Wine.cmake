# The Windows builds run their programs (tests, test discovery, benchmarks)
# under Wine, in a prefix of their own inside the build tree: the 64-bit build
# with the 64-bit loader, the 32-bit build with the 32-bit one in the same
# kind of 64-bit prefix (WoW64), as a 32-bit program runs on 64-bit Windows.
# Both prefixes are made by the 64-bit loader.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(PWG_WINE_LOADER /usr/lib/wine/wine)
else()
  set(PWG_WINE_LOADER /usr/lib/wine/wine64)
endif()
foreach(loader IN ITEMS /usr/lib/wine/wine64 ${PWG_WINE_LOADER})
  if(NOT EXISTS ${loader})
    message(FATAL_ERROR "Wine's loader ${loader} is missing (packages wine64, and wine32:i386 for the 32-bit "
                        "loader); this build runs its tests under it. Run scripts/setup.")
  endif()
endforeach()
set(PWG_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINELOADER=${PWG_WINE_LOADER} ${CMAKE_SOURCE_DIR}/cmake/wine-run ${PWG_WINEPREFIX})
