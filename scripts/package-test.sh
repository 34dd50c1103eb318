#!/usr/bin/env bash
# The packages as users get them. The Debian package, made from a Linux
# build, is installed with apt: its programs convert and test TimGM6mb, and
# the example in examples/ is built against its library with CMake and with
# pkg-config and must write the sample kbndump extracts. Then it is removed.
# Each Windows build's zip must hold exactly the programs and their
# documentation; unpacked, its programs convert and test TimGM6mb under wine
# (the 32-bit zip where the 32-bit wine runs, the 64-bit one under wine64)
# to the bank the Linux program makes.
#   package-test.sh LINUX_BUILD_DIR [WINDOWS_BUILD_DIR...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 LINUX_BUILD_DIR [WINDOWS_BUILD_DIR...]" >&2; exit 2; }
source_dir=$(realpath "$(dirname "$0")/..")
linux=$(realpath "$1")
shift
windows_builds=()
for windows in "$@"; do windows_builds+=("$(realpath "$windows")"); done
soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
version=$("$linux/kbnconv" --version | sed -n 's/^kbnconv //p')
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
installed=false
cleanup() {
  ! $installed || "${as_root[@]}" apt-get remove -y -qq kbnconv >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "$0: $*" >&2; exit 1; }

echo "== The Debian package"
(cd "$linux" && cpack -G DEB >/dev/null)
deb=$linux/kbnconv_${version}_amd64.deb
[ -f "$deb" ] || fail "no $deb"
dpkg-deb -f "$deb" Depends
if dpkg-query -W -f='${Status}' kbnconv 2>/dev/null | grep -q "install ok installed"; then
  echo "kbnconv is installed already: this test replaces it with $deb, then removes it" >&2
fi
installed=true
"${as_root[@]}" apt-get install -y -qq "$deb" >/dev/null
/usr/bin/kbnconv -v "$soundfont" tim.kbn
/usr/bin/kbndump --test tim.kbn | tee test.txt
presets=$(sed -n 's/.* \([0-9]*\) presets$/\1/p' test.txt)
/usr/bin/kbndump --extract extracted tim.kbn
files=$(dpkg -L kbnconv)
for file in man1/kbnconv.1 man1/kbndump.1; do
  grep -q "/$file$" <<<"$files" || fail "the package has no $file"
done

# The example against the package's library and nothing else installed.
config=$(grep '/kbnConfig\.cmake$' <<<"$files")
pc=$(grep '/kbn\.pc$' <<<"$files")
cmake -S "$source_dir/examples" -B example -Dkbn_DIR="$(dirname "$config")" >/dev/null
cmake --build example >/dev/null
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs --static kbn)
read -ra flags <<<"$flags"
cc "$source_dir/examples/kbn_example.c" -o example-pc "${flags[@]}"
for program in example/kbn_example example-pc; do
  "./$program" tim.kbn "$program.wav" 5 >"$program.txt"
  tail -n 1 "$program.txt"
  # As many presets as kbndump counts, and kbndump's sample 5.
  [ "$(grep -c '^preset' "$program.txt")" = "$presets" ] || fail "$program: not the $presets presets"
  cmp <(sox "$program.wav" -t raw -) <(sox extracted/005-*.wav -t raw -) ||
    fail "$program: sample 5 is not the one kbndump extracts"
done
"${as_root[@]}" apt-get remove -y -qq kbnconv >/dev/null
installed=false

for windows in "${windows_builds[@]}"; do
  (cd "$windows" && cpack -G ZIP >/dev/null)
  zip=$(ls "$windows"/kbnconv-"$version"-win*.zip)
  name=$(basename "$zip" .zip)
  echo "== $name.zip"
  expected=$(for file in kbnconv.exe kbndump.exe README.md kbnconv.txt kbndump.txt; do echo "$name/$file"; done)
  [ "$(cmake -E tar tf "$zip" | sort)" = "$(sort <<<"$expected")" ] ||
    fail "$zip holds: $(cmake -E tar tf "$zip")"
  # The loader: Debian's `wine` starts the 32-bit one whenever wine32 is
  # installed, so a 64-bit program is given wine64's own (as
  # cmake/mingw-w64-x86_64.cmake does).
  case "$name" in
    *-win32)
      wine=wine
      if ! "$source_dir/scripts/wine32-runs.sh"; then
        echo "$name.zip: the 32-bit wine cannot run here; its files are checked, its programs not run" >&2
        continue
      fi ;;
    *) wine=wine64; [ ! -x /usr/lib/wine/wine64 ] || wine=/usr/lib/wine/wine64 ;;
  esac
  rm -rf unzipped && mkdir unzipped
  (cd unzipped && cmake -E tar xf "$zip")
  cp "$soundfont" TimGM6mb.sf2
  WINEDEBUG=-all "$wine" "unzipped/$name/kbnconv.exe" TimGM6mb.sf2 windows.kbn
  cmp windows.kbn tim.kbn || fail "$name: kbnconv.exe's bank is not the Linux one"
  WINEDEBUG=-all "$wine" "unzipped/$name/kbndump.exe" --test windows.kbn | tr -d '\r'
done
echo "The packages install and work"
