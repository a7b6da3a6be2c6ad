# Shared by both mingw-w64 toolchains: posix-thread compilers (std::mutex for
# GoogleTest), static runtime so nothing but our own files must ship.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${PWG_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PWG_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${PWG_TRIPLE}-windres)
set(CMAKE_OBJDUMP      ${PWG_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${PWG_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
