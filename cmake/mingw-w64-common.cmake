# What both Windows cross builds share, for the processor the toolchain file
# sets first: Debian's mingw-w64 with the posix thread model (for
# std::thread), linked statically so that the programs need no DLL beside
# them.
set(CMAKE_SYSTEM_NAME Windows)
set(KBN_MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${KBN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KBN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KBN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KBN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The test programs are Windows programs: ctest runs them under the wine
# loader the toolchain file names (KBN_WINE).
set(CMAKE_CROSSCOMPILING_EMULATOR ${KBN_WINE})
