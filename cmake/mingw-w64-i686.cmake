# Cross build for 32-bit Windows (Debian package g++-mingw-w64-i686-posix).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KBN_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
