#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing kbnconv need.
# Does nothing when everything is there already.
set -euo pipefail

packages=(
  cmake g++ make           # the build
  libgtest-dev             # the unit tests
  libbenchmark-dev         # the microbenchmarks
  timgm6mb-soundfont       # a real General MIDI bank for the end-to-end tests
  sox                      # WAV files made by another program
  fluidsynth               # a real SoundFont player for the render comparison
  strace                   # injects read failures into the program under test
  clang-14 libclang-rt-14-dev  # the libFuzzer harnesses and their sanitizers
  g++-mingw-w64-i686-posix googletest  # the 32-bit Windows build and its tests
  wine wine32:i386         # runs the Windows programs and tests
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
# wine32 is a 32-bit package.
dpkg --print-foreign-architectures | grep -qx i386 || "${as_root[@]}" dpkg --add-architecture i386
# A mirror in the middle of a sync serves indexes that fail their checks for a
# while: try again rather than fail the whole run on the first attempt.
for attempt in 1 2 3 4 5; do
  "${as_root[@]}" apt-get update -qq && break
  echo "apt-get update failed (attempt $attempt); retrying" >&2
  sleep $((attempt * 15))
done
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
