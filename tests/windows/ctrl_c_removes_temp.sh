#!/usr/bin/env bash
# Ctrl-C on the console of kbnconv.exe while it writes a bank, under wine:
# the temporary output is gone, an existing output is unchanged and the
# status says the program was interrupted. wine delivers console events only
# on a terminal, which `script` supplies.
#   ctrl_c_removes_temp.sh WINDOWS_BUILD_DIR
set -u
windows=$(realpath "$1")
export WINEDEBUG=-all
prefix=${WINEPREFIX:-$HOME/.wine}
# The wine loader of the build under test: the 64-bit build names its own.
wine=${KBN_WINE:-wine}
"$wine" wineboot --init >/dev/null 2>&1 || true
work=$prefix/drive_c/kbn-interrupt
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
# Twenty minutes of noise: long enough a conversion to be caught in the act.
sox -V1 -n -r 44100 -b 16 -c 1 big.wav synth 1200 whitenoise || exit 1
echo "the bank from before" >out.kbn

command="$("$wine" winepath -w "$windows/kbnconv.exe") -j 1 C:\\kbn-interrupt\\big.wav C:\\kbn-interrupt\\out.kbn"
script -qec "$(printf '%q' "$wine") $(printf '%q' "$windows/tests/InterruptConversion.exe") 'C:\\kbn-interrupt' \
  'C:\\kbn-interrupt\\report.txt' '$command'" /dev/null >/dev/null
report=$(tr -d '\r' <report.txt 2>/dev/null)
echo "${report:-no report}"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# 3221225786 is 0xC000013A, STATUS_CONTROL_C_EXIT.
grep -q "^status 3221225786$" <<<"$report" || fail "kbnconv.exe did not end as interrupted"
left=$(find . -name '*.tmp')
[ -z "$left" ] || fail "a temporary file was left: $left"
[ "$(cat out.kbn)" = "the bank from before" ] || fail "the existing output changed"
cd / && rm -rf "$work"
[ "$failures" -eq 0 ] && echo "Ctrl-C left nothing behind"
exit $((failures > 0))
