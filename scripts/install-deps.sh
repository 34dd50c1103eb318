#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing kbnconv need.
# Does nothing when everything is there already.
set -euo pipefail

packages=(
  cmake g++ make           # the build
  pkg-config libvorbis-dev # SF3 SoundFonts' Ogg Vorbis samples
  libgtest-dev             # the unit tests
  libbenchmark-dev         # the microbenchmarks
  timgm6mb-soundfont       # a real General MIDI bank for the end-to-end tests
  musescore-general-soundfont-small fluidr3mono-gm-soundfont  # real SF3 banks
  sox                      # WAV files made by another program
  fluidsynth               # a real SoundFont player for the render comparison
  strace                   # injects read failures into the program under test
  clang-14 libclang-rt-14-dev  # the libFuzzer harnesses and their sanitizers
  g++-mingw-w64-i686-posix googletest  # the 32-bit Windows build and its tests
  dpkg-dev                 # Debian's libogg and libvorbis sources for it; dpkg-shlibdeps
  file                     # CPack's step that gives the Debian package its dependencies
  groff-base               # the man pages as text in the Windows zip
  wine                     # runs the Windows programs and tests
)
# The 32-bit wine, for the 32-bit Windows tests. When the mirror's i386
# index is unusable, or the kernel cannot run 32-bit programs, the Windows
# tests run in a 64-bit build under wine64 instead (scripts/test.sh), and
# these take its place.
wine32=(wine32:i386)
wine64=(wine64 g++-mingw-w64-x86-64-posix)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing_of() { for package in "$@"; do installed "$package" || echo "$package"; done; }

mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing32 < <(missing_of "${wine32[@]}")
mapfile -t missing64 < <(missing_of "${wine64[@]}")
# Installed, wine32 may still not run: some kernels have no 32-bit support.
wine32_unusable=false
[ ${#missing32[@]} -eq 0 ] && ! "$(dirname "$0")"/wine32-runs.sh && wine32_unusable=true
if [ ${#missing[@]} -eq 0 ]; then
  [ ${#missing32[@]} -eq 0 ] && ! $wine32_unusable && exit 0
  [ ${#missing64[@]} -eq 0 ] && exit 0  # an earlier run fell back already
fi

echo "Installing: ${missing[*]} ${missing32[*]}" >&2
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
# wine32 is a 32-bit package.
dpkg --print-foreign-architectures | grep -qx i386 || "${as_root[@]}" dpkg --add-architecture i386
# A mirror in the middle of a sync serves indexes that fail their checks for a
# while: try again rather than fail the whole run on the first attempt.
for attempt in 1 2 3; do
  "${as_root[@]}" apt-get update -qq && break
  [ "$attempt" -lt 3 ] || { echo "apt-get update failed 3 times; going on with the indexes it has" >&2; break; }
  echo "apt-get update failed (attempt $attempt); retrying" >&2
  sleep $((attempt * 20))
done
[ ${#missing[@]} -eq 0 ] || "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
if [ ${#missing32[@]} -ne 0 ] &&
   ! "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing32[@]}"; then
  echo "wine32 cannot be installed from this mirror (its i386 packages do not match the" \
       "installed amd64 ones); installing wine64 for a 64-bit Windows test build instead" >&2
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${wine64[@]}"
elif ! "$(dirname "$0")"/wine32-runs.sh; then
  echo "this kernel cannot run 32-bit programs, wine32 among them; installing wine64 for" \
       "a 64-bit Windows test build instead" >&2
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${wine64[@]}"
fi
