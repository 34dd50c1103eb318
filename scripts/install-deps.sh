#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing kbnconv need.
# Does nothing when everything is there already.
#   install-deps.sh          everything scripts/test.sh needs
#   install-deps.sh --build  only what building and converting need (scripts/demo.sh)
set -euo pipefail

build=(
  cmake g++ make           # the build
  pkg-config libvorbis-dev # SF3 SoundFonts' Ogg Vorbis samples
  timgm6mb-soundfont       # a real General MIDI bank: the demo's, and the end-to-end tests'
)
packages=(
  "${build[@]}"
  libgtest-dev             # the unit tests
  libbenchmark-dev         # the microbenchmarks
  musescore-general-soundfont-small fluidr3mono-gm-soundfont  # real SF3 banks
  sox                      # WAV files made by another program
  python3                  # checks kbndump --json against the text listing
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
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves indexes that fail their checks for a
# while: try again rather than fail the whole run on the first attempt.
update() {
  for attempt in 1 2 3; do
    "${as_root[@]}" apt-get update -qq && return
    [ "$attempt" -lt 3 ] || { echo "apt-get update failed 3 times; going on with the indexes it has" >&2; return; }
    echo "apt-get update failed (attempt $attempt); retrying" >&2
    sleep $((attempt * 20))
  done
}

case "${1:-}" in
  --build)
    mapfile -t missing < <(missing_of "${build[@]}")
    [ ${#missing[@]} -ne 0 ] || exit 0
    echo "Installing: ${missing[*]}" >&2
    update
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
    exit 0 ;;
  "") ;;
  *) echo "usage: $0 [--build]" >&2; exit 2 ;;
esac

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
# wine32 is a 32-bit package.
dpkg --print-foreign-architectures | grep -qx i386 || "${as_root[@]}" dpkg --add-architecture i386
update
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
