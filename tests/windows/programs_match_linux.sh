#!/usr/bin/env bash
# kbnconv.exe and kbndump.exe under wine against the Linux programs on the
# same inputs: the same banks byte for byte, the same statuses, the same
# messages (but for the system's wording of an error and Windows' line
# ends), with Windows paths.
#   programs_match_linux.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -u
windows=$(realpath "$1") linux=$(realpath "$2")
export WINEDEBUG=-all
prefix=${WINEPREFIX:-$HOME/.wine}
# The wine loader of the build under test: the 64-bit build names its own.
wine=${KBN_WINE:-wine}
"$wine" wineboot --init >/dev/null 2>&1 || true
work=$prefix/drive_c/kbn-compare
rm -rf "$work" && mkdir -p "$work/dir.old" && cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The system's text after "cannot open: " and the like differs by platform.
normalize() { tr -d '\r' | sed -E 's/(cannot [a-z ]+|locked by [a-z ]+): .*/\1: <reason>/'; }

# Runs one program both ways in $work: "check NAME PROGRAM ARGS...", where
# an argument "@OUT" names an output file that each side writes for itself.
check() {
  local name=$1 program=$2; shift 2
  local linuxArgs=() windowsArgs=()
  for arg in "$@"; do
    linuxArgs+=("${arg//@OUT/linux-$name.out}")
    windowsArgs+=("${arg//@OUT/windows-$name.out}")
  done
  "$linux/$program" "${linuxArgs[@]}" >"linux.stdout" 2>"linux.stderr"
  local linuxStatus=$?
  # The exit code in full: a shell sees only its low 8 bits.
  rm -f exit-code.txt
  "$wine" "$windows/tests/RunWithExitCode.exe" exit-code.txt "$("$wine" winepath -w "$windows/$program.exe")" \
    "${windowsArgs[@]}" >"windows.stdout" 2>"windows.stderr"
  local windowsStatus
  windowsStatus=$(tr -d '\r' <exit-code.txt 2>/dev/null || echo "none")
  [ "$linuxStatus" = "$windowsStatus" ] || fail "$name: status $windowsStatus under wine, $linuxStatus on Linux"
  for stream in stdout stderr; do
    local l w
    l=$(sed "s/linux-$name.out/OUT/g" "linux.$stream" | normalize)
    w=$(sed "s/windows-$name.out/OUT/g" "windows.$stream" | normalize)
    [ "$l" = "$w" ] || fail "$name: $stream differs: wine said [$w], Linux said [$l]"
  done
  if [ -e "linux-$name.out" ] || [ -e "windows-$name.out" ]; then
    if [ -d "linux-$name.out" ]; then
      diff -r "linux-$name.out" "windows-$name.out" >/dev/null || fail "$name: the extracted files differ"
    else
      cmp -s "linux-$name.out" "windows-$name.out" || fail "$name: the outputs differ"
    fi
  fi
  echo "checked $name (status $linuxStatus)"
}

# Inputs: the real bank, WAV files from sox, and files that are not what
# their names say.
cp /usr/share/sounds/sf2/TimGM6mb.sf2 TimGM6mb.sf2
# An SF3 bank: its Ogg Vorbis samples must decode to the same bytes.
cp /usr/share/sounds/sf3/FluidR3Mono_GM.sf3 FluidR3Mono.SF3
sox -n -r 22050 -c 1 -b 16 mono.wav synth 0.5 sine 440
sox -n -r 44100 -c 2 -b 16 STEREO.WAV synth 0.3 square 220 sine 330
sox -n -r 8000 -c 1 -b 8 eight.wav synth 0.1 sine 440
head -c 10000 mono.wav > cut.wav
printf 'not a riff file at all' > text.wav
cp mono.wav dir.old/in
"$linux/kbnconv" TimGM6mb.sf2 tim.kbn >/dev/null
"$linux/kbndump" --sf2 rebuilt.sf2 tim.kbn

for case in "tim:TimGM6mb.sf2" "sf3:FluidR3Mono.SF3" "rebuilt:rebuilt.sf2" "mono:mono.wav" "stereo:STEREO.WAV" "eight:eight.wav" \
            "cut:cut.wav" "text:text.wav" "missing:missing.wav"; do
  check "${case%%:*}" kbnconv "${case#*:}" @OUT.kbn
done
check verify kbnconv --verify -j 3 TimGM6mb.sf2 @OUT.kbn
check upper kbnconv STEREO.WAV @OUT.KBN
check usage kbnconv TimGM6mb.sf2
check badout kbnconv TimGM6mb.sf2 @OUT.txt
check mp3 kbnconv song.mp3 @OUT.kbn
check dotdir kbnconv 'dir.old\in' @OUT.kbn
check option kbnconv --fast TimGM6mb.sf2 @OUT.kbn
check list kbndump tim.kbn
check test kbndump --test tim.kbn
check sf2 kbndump --sf2 @OUT.sf2 tim.kbn
check extract kbndump --extract @OUT tim.kbn
check damaged kbndump --test cut.wav

# An absolute Windows path: the bank is the Linux one.
"$wine" "$windows/kbnconv.exe" 'C:\kbn-compare\STEREO.WAV' 'C:\kbn-compare\DIR.OLD\ABS.KBN' >/dev/null 2>&1 ||
  fail "absolute Windows paths: status $?"
"$linux/kbnconv" STEREO.WAV abs-linux.kbn
cmp -s dir.old/ABS.KBN abs-linux.kbn 2>/dev/null || cmp -s DIR.OLD/ABS.KBN abs-linux.kbn 2>/dev/null ||
  fail "absolute Windows paths: the bank differs"

# Nothing but what the runs wrote: no temporary files left anywhere.
leftovers=$(find . -name '.*.tmp')
[ -z "$leftovers" ] || fail "temporary files left: $leftovers"

cd / && rm -rf "$work"
echo "$failures failures"
[ "$failures" -eq 0 ]
