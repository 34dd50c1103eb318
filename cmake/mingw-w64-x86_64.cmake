# Cross build for 64-bit Windows (Debian package g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# Debian's `wine` starts the 32-bit loader whenever wine32 is installed, even
# for a 64-bit program and even where the kernel cannot run 32-bit programs:
# call the 64-bit loader itself.
if(EXISTS /usr/lib/wine/wine64)
  set(KBN_WINE /usr/lib/wine/wine64)
else()
  set(KBN_WINE wine64)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
