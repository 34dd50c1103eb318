#!/usr/bin/env bash
# Builds static libogg, libvorbis and libvorbisfile for a Windows cross build
# from Debian's source packages of the very versions the Linux build links
# (libogg-dev, libvorbis-dev), with Debian's patches, so that both builds
# decode Ogg Vorbis to the same bytes. Does nothing when PREFIX holds them
# already, built the same way.
#   scripts/build-mingw-vorbis.sh i686|x86_64 PREFIX
set -euo pipefail

target=${1:-}
# Float math as in Debian's amd64 libvorbis, which the Linux build links:
# its configure compiles with -ffast-math on Linux (-O2 from Debian's flags),
# and the reassociation that allows changes how the inverse MDCT rounds, so
# without it the PCM differs in the last bit here and there. On i686, SSE2
# rather than x87, whose wider intermediates round differently (with SSE2
# math, libvorbis also converts floats to integers with SSE2, not its x87
# assembly). No fused multiply-adds: amd64 has none to fuse into.
case "$target" in
  i686) cflags="-O2 -ffast-math -msse2 -mfpmath=sse -ffp-contract=off" ;;
  x86_64) cflags="-O2 -ffast-math -ffp-contract=off" ;;
  *) echo "usage: $0 i686|x86_64 PREFIX" >&2; exit 2 ;;
esac
[ $# -eq 2 ] || { echo "usage: $0 i686|x86_64 PREFIX" >&2; exit 2; }
prefix=$(realpath -m "$2")
toolchain=$(realpath "$(dirname "$0")/../cmake/mingw-w64-$target.cmake")

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
compiler=gcc-mingw-w64-${target//_/-}-posix
for package in libogg-dev libvorbis-dev "$compiler"; do
  installed "$package" || { echo "$0: $package is not installed (scripts/install-deps.sh)" >&2; exit 1; }
done
ogg=$(dpkg-query -W -f='${source:Version}' libogg-dev)
vorbis=$(dpkg-query -W -f='${source:Version}' libvorbis-dev)
stamp=$prefix/share/kbnconv-mingw-vorbis
build="libogg $ogg, libvorbis $vorbis, $compiler $(dpkg-query -W -f='${Version}' "$compiler"), $cflags"
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$build" ] && exit 0
if [ -e "$prefix" ] && [ ! -f "$stamp" ] && [ -n "$(ls -A "$prefix")" ]; then
  echo "$0: $prefix holds files that this script did not install; give it a directory of its own" >&2
  exit 1
fi

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
# apt-get source needs dpkg-source, and the source indexes of these versions:
# where apt has none, add them for the suites and mirrors that apt installs
# binary packages from.
sources=(libogg="$ogg" libvorbis="$vorbis")
missing=()
installed dpkg-dev || missing=(dpkg-dev)
if ! apt-get source --print-uris -qq "${sources[@]}" >/dev/null 2>&1; then
  echo "Adding Debian's source package indexes to apt" >&2
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      "${as_root[@]}" tee /etc/apt/sources.list.d/kbnconv-deb-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      "${as_root[@]}" tee /etc/apt/sources.list.d/kbnconv-deb-src.list >/dev/null
  fi
  "${as_root[@]}" apt-get update -qq
elif [ ${#missing[@]} -ne 0 ]; then
  "${as_root[@]}" apt-get update -qq
fi
[ ${#missing[@]} -eq 0 ] ||
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Shows a step's output only when it fails.
quietly() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; echo "$0: failed: $*" >&2; exit 1; }; }
# As root, apt-get would hand the download to its sandbox user, which cannot
# write to $work.
sandbox=()
[ "$(id -u)" -ne 0 ] || sandbox=(-o APT::Sandbox::User=root)
(cd "$work" && quietly apt-get "${sandbox[@]}" source "${sources[@]}")

# The toolchain file looks for libraries under the mingw-w64 root only:
# name libogg to libvorbis's build directly.
stage=$work/stage
cmake_install() {
  quietly cmake -S "$1" -B "$1/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE= \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "${@:2}"
  quietly cmake --build "$1/build" -j"$(nproc)"
  DESTDIR=$stage quietly cmake --install "$1/build"
}
cmake_install "$work"/libogg-* -DBUILD_TESTING=OFF -DINSTALL_DOCS=OFF
cmake_install "$work"/libvorbis-* -DOGG_INCLUDE_DIR="$stage$prefix/include" \
  -DOGG_LIBRARY="$stage$prefix/lib/libogg.a"
mkdir -p "$(dirname "$stage$stamp")"
echo "$build" >"$stage$stamp"
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
mv "$stage$prefix" "$prefix"
