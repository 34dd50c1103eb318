#!/usr/bin/env bash
# An interleaved A/B of two commands: each round runs both, pinned to the
# same cores, in alternating order, with the output removed and written
# back and the input read through beforehand (untimed, as compare.sh does).
# Prints each command's median time and peak memory, and B's time over A's.
#   bench/ab.sh RUNS CPUS OUTPUT INPUT 'COMMAND A' 'COMMAND B'
# (CPUS: 1, or 0,1; OUTPUT: the file the commands write, or -; INPUT: the
# file they read, or -.)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=$1 cpus=$2 output=$3 input=$4 a=$5 b=$6
pinned=${RUN_PINNED:-build/bench/run_pinned}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
one() {
  [ "$output" = - ] || rm -f "$output"
  sync
  [ "$input" = - ] || cat "$input" >/dev/null
  # shellcheck disable=SC2086  # the commands are word-split on purpose
  "$pinned" "$work/t" "$cpus" $1 >/dev/null 2>&1
  cat "$work/t" >>"$2"
}
for round in $(seq "$runs"); do
  if [ $((round % 2)) -eq 1 ]; then one "$a" "$work/a"; one "$b" "$work/b"; else one "$b" "$work/b"; one "$a" "$work/a"; fi
done
median() { sort -n -k"$2" "$1" | awk -v k="$2" '{v[NR]=$k} END {print v[int((NR+1)/2)]}'; }
ta=$(median "$work/a" 1) tb=$(median "$work/b" 1)
printf 'A %.4f s %s KB\nB %.4f s %s KB\nB/A %.3f\n' "$ta" "$(median "$work/a" 2)" "$tb" "$(median "$work/b" 2)" \
  "$(awk -v a="$ta" -v b="$tb" 'BEGIN {print b / a}')"
