#!/usr/bin/env bash
# Builds kbnconv and runs every test: the release build with GCC and with
# clang, the same tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# the 32-bit Windows build under wine against the Linux programs, the Debian
# package and the Windows zip installed and used, and a minute of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

# Tests and benchmarks named: build/ may hold scripts/demo.sh's configuration,
# which has neither (and ctest finding no test must fail, not pass).
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKBN_WERROR=ON -DKBN_BUILD_TESTS=ON -DKBN_BUILD_BENCHMARKS=AUTO
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure --no-tests=error -j"$jobs"

# The same tests built by clang, warnings as errors too, with the library
# shared (which must export the C API and nothing else).
cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++-14 -DKBN_WERROR=ON \
  -DBUILD_SHARED_LIBS=ON
cmake --build build-clang -j"$jobs"
ctest --test-dir build-clang --output-on-failure --no-tests=error -j"$jobs"

# Any sanitizer report ends the program that made it, which fails its test.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKBN_SANITIZE=ON -DKBN_WERROR=ON \
  -DKBN_BUILD_BENCHMARKS=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1 \
UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure --no-tests=error -j"$jobs"

# The Windows programs and tests, cross-built and run under wine. Where the
# mirror could not give the 32-bit wine, or the kernel cannot run it
# (install-deps.sh says so), the 32-bit build is still compiled, and the
# same tests run in a 64-bit build.
scripts/build-mingw-vorbis.sh i686 "$PWD/build-deps/mingw-i686"
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DKBN_WERROR=ON -DKBN_LINUX_BUILD_DIR="$PWD/build" -DKBN_MINGW_VORBIS_PREFIX="$PWD/build-deps/mingw-i686"
cmake --build build-win32 -j"$jobs"
if scripts/wine32-runs.sh; then
  WINEDEBUG=-all ctest --test-dir build-win32 --output-on-failure --no-tests=error
  windows_builds=(build-win32)
else
  echo "wine32 is not installed, or this kernel cannot run 32-bit programs: running the" \
       "Windows tests in a 64-bit build under wine64" >&2
  scripts/build-mingw-vorbis.sh x86_64 "$PWD/build-deps/mingw-x86_64"
  cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DKBN_WERROR=ON -DKBN_LINUX_BUILD_DIR="$PWD/build" -DKBN_MINGW_VORBIS_PREFIX="$PWD/build-deps/mingw-x86_64"
  cmake --build build-win64 -j"$jobs"
  WINEDEBUG=-all ctest --test-dir build-win64 --output-on-failure --no-tests=error
  windows_builds=(build-win32 build-win64)
fi

# The Debian package installed and used, and the Windows zip unpacked and run
# under wine (the 64-bit build's, where the 32-bit wine cannot run).
scripts/package-test.sh build "${windows_builds[@]}"

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DKBN_FUZZ=ON \
  -DKBN_BUILD_TESTS=OFF -DKBN_BUILD_BENCHMARKS=OFF
cmake --build build-fuzz -j"$jobs"
fuzz/run.sh time 60
