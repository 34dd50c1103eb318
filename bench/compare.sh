#!/usr/bin/env bash
# Throughput and memory of kbnconv beside flac on the same PCM: the 148 MB of
# 16-bit samples in FluidR3_GM.sf2, given to flac as raw mono PCM. Each
# figure is the median of RUNS runs (default 5), each run pinned to one core
# (or to both, for -j 2). Prints the ratios; asserts nothing.
#   bench/compare.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
work=${WORK:-/tmp/kbn-compare}
fluid=/usr/share/sounds/sf2/FluidR3_GM.sf2
timgm=/usr/share/sounds/sf2/TimGM6mb.sf2

need=()
for package in flac fluid-soundfont-gm timgm6mb-soundfont python3; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || need+=("$package")
done
if [ ${#need[@]} -gt 0 ]; then
  as_root=(); [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -qq && DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${need[@]}"
fi
[ -x "$build/kbnconv" ] && [ -x "$build/bench/run_pinned" ] ||
  { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build "$build" -j; }

mkdir -p "$work"
raw=$work/fluid.raw
[ -s "$raw" ] || python3 - "$fluid" "$raw" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
at = data.find(b'smpl')
size = struct.unpack('<I', data[at + 4:at + 8])[0]
open(sys.argv[2], 'wb').write(data[at + 8:at + 8 + size])
PY
pcm_bytes=$(stat -c %s "$raw")

# One timed run: prints "seconds peak-KB" (wall time to 0.1 ms, and the
# peak memory). The command's output file (- for none) is removed before
# the run, untimed: replacing an old 100 MB file makes the system free its
# pages, some 20 ms on these machines, which is not the program's work and
# would blur the ratios. The previous run's output is written back first,
# untimed too: otherwise the system writes it during the next run, on a
# core that one-core runs leave free and -j 2 runs do not. The input (- for
# none) is read through once, untimed: these machines keep only a couple of
# GB in the page cache, and an input partly dropped from it would time the
# disk instead of the program.
once() {
  local cpus=$1 output=$2 input=$3; shift 3
  [ "$output" = - ] || rm -f "$output"
  sync
  [ "$input" = - ] || cat "$input" >/dev/null
  timed "$cpus" "$@"
}
# The timed part of a run: "seconds peak-KB" of the command on `cpus`, from
# its start to its end (bench/RunPinned.cpp: no wrapper's own start-up).
timed() {
  local cpus=$1; shift
  "$build/bench/run_pinned" "$work/time.$cpus" "$cpus" "$@" >/dev/null 2>&1
  cat "$work/time.$cpus"
}
# Two separate -j 1 conversions started together, one on each core, each
# timed on its own: what the machine gives two cores that share nothing
# but the machine (memory, the page cache, the host). -j 2 cannot beat it.
both_at_once() {
  rm -f "$work/fluid-core0.kbn" "$work/fluid-core1.kbn"
  sync
  cat "$fluid" >/dev/null
  timed 0 "$build/kbnconv" -j 1 "$fluid" "$work/fluid-core0.kbn" >"$work/at-once.0" &
  timed 1 "$build/kbnconv" -j 1 "$fluid" "$work/fluid-core1.kbn" >"$work/at-once.1" &
  wait
  cat "$work/at-once.0" >>"$work/times.together0"
  cat "$work/at-once.1" >>"$work/times.together1"
}
median() { sort -n "$@" | awk '{a[NR]=$0} END {print a[int((NR+1)/2)]}'; }
# The median of RUNS runs of one command.
measure() { for _ in $(seq "$runs"); do once "$@"; done | median; }
mbps() { awk -v b="$1" -v s="$2" 'BEGIN {printf "%.0f", b / s / 1e6}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# Side by side: every round runs each command once, in turn, so that the
# machine's drift over the minutes of a measurement touches them alike.
flac_raw=(--force-raw-format --endian=little --sign=signed --channels=1 --bps=16 --sample-rate=44100)
rm -f "$work"/times.*
for _ in $(seq "$runs"); do
  once 1 "$work/fluid.flac" "$raw" flac -0 -s -f "${flac_raw[@]}" -o "$work/fluid.flac" "$raw" >>"$work/times.flac0"
  once 1 "$work/fluid8.flac" "$raw" flac -8 -s -f "${flac_raw[@]}" -o "$work/fluid8.flac" "$raw" >>"$work/times.flac8"
  once 1 "$work/fluid.kbn" "$fluid" "$build/kbnconv" -j 1 "$fluid" "$work/fluid.kbn" >>"$work/times.kbn1"
  once 0 "$work/fluid.kbn" "$fluid" "$build/kbnconv" -j 1 "$fluid" "$work/fluid.kbn" >>"$work/times.kbn1core0"
  once 0,1 "$work/fluid2.kbn" "$fluid" "$build/kbnconv" -j 2 "$fluid" "$work/fluid2.kbn" >>"$work/times.kbn2"
  both_at_once
  once 1 - "$work/fluid.flac" flac -t -s "$work/fluid.flac" >>"$work/times.flact"
  once 1 - "$work/fluid.kbn" "$build/kbndump" -t -j 1 "$work/fluid.kbn" >>"$work/times.kbnt"
done
cmp -s "$work/fluid.kbn" "$work/fluid2.kbn" || { echo "-j 2 gave a different bank" >&2; exit 1; }
read -r flac0 _ < <(median "$work/times.flac0")
read -r flac8 _ < <(median "$work/times.flac8")
read -r kbn1 mem1 < <(median "$work/times.kbn1")
read -r kbn2 mem2 < <(median "$work/times.kbn2")
read -r kbn1core0 _ < <(median "$work/times.kbn1core0")
read -r together0 _ < <(median "$work/times.together0")
read -r together1 _ < <(median "$work/times.together1")
read -r flact _ < <(median "$work/times.flact")
read -r kbnt memt < <(median "$work/times.kbnt")

echo "PCM: $pcm_bytes bytes (FluidR3_GM.sf2); medians of $runs runs; $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)"
printf "%-34s %8s s %6s MB/s %8s\n" "flac -0 (raw PCM, 1 core)" "$flac0" "$(mbps "$pcm_bytes" "$flac0")" ""
printf "%-34s %8s s %6s MB/s %8s\n" "flac -8 (raw PCM, 1 core)" "$flac8" "$(mbps "$pcm_bytes" "$flac8")" ""
printf "%-34s %8s s %6s MB/s %6sx flac -0, peak %s KB\n" "kbnconv -j 1 (1 core)" "$kbn1" "$(mbps "$pcm_bytes" "$kbn1")" "$(ratio "$flac0" "$kbn1")" "$mem1"
printf "%-34s %8s s %6s MB/s %6sx -j 1, peak %s KB\n" "kbnconv -j 2 (2 cores)" "$kbn2" "$(mbps "$pcm_bytes" "$kbn2")" "$(ratio "$kbn1" "$kbn2")" "$mem2"
# On a virtual machine the two cores need not be equally fast (the host's
# other guests), and -j 2 can at most add their throughputs.
printf "%-34s %8s s %6s MB/s   the two cores' sum: %sx core 1 alone; -j 2 reaches %s%% of it\n" "kbnconv -j 1 (core 0)" "$kbn1core0" \
  "$(mbps "$pcm_bytes" "$kbn1core0")" "$(awk -v a="$kbn1" -v b="$kbn1core0" 'BEGIN {printf "%.2f", 1 + a / b}')" \
  "$(awk -v a="$kbn1" -v b="$kbn1core0" -v c="$kbn2" 'BEGIN {printf "%.0f", 100 * (1 / c) / (1 / a + 1 / b)}')"
printf "%-34s %8s s %6s MB/s   with core 0's at once (%s s): %sx core 1 alone; -j 2 reaches %s%% of it\n" \
  "two -j 1 at once (core 1)" "$together1" "$(mbps "$pcm_bytes" "$together1")" "$together0" \
  "$(awk -v a="$kbn1" -v b="$together0" -v c="$together1" 'BEGIN {printf "%.2f", a / b + a / c}')" \
  "$(awk -v a="$together0" -v b="$together1" -v c="$kbn2" 'BEGIN {printf "%.0f", 100 * (1 / c) / (1 / a + 1 / b)}')"
printf "%-34s %8s s %6s MB/s\n" "flac -t (1 core)" "$flact" "$(mbps "$pcm_bytes" "$flact")"
printf "%-34s %8s s %6s MB/s %6sx flac -t, %sx encoding\n" "kbndump -t (1 core)" "$kbnt" "$(mbps "$pcm_bytes" "$kbnt")" "$(ratio "$flact" "$kbnt")" "$(ratio "$kbn1" "$kbnt")"

if [ "${LINEARITY:-1}" = 1 ]; then
  # Cost per byte for banks of 6, 148 and 3000+ MB of the same kind of PCM
  # (every 25th of FluidR3's samples, all of them, and all of them 21 times
  # over), and for TimGM6mb, whose PCM is of another kind.
  small=$work/fluid-6MB.sf2 big=$work/fluid-3GB.sf2
  [ -s "$small" ] || "$build/bench/make_repeated_bank" "$work/fluid.kbn" 0.04 "$small"
  [ -s "$big" ] || "$build/bench/make_repeated_bank" "$work/fluid.kbn" 21 "$big"
  # A run's fixed cost (the process, the timing wrappers, the bank's
  # structure, the output file) is not per byte: it is measured on a bank of
  # the same structure with almost no PCM and taken off, with its PCM.
  tiny=$work/fluid-tiny.sf2
  [ -s "$tiny" ] || "$build/bench/make_repeated_bank" "$work/fluid.kbn" 0.0005 "$tiny"
  pcm_of() { python3 -c "import struct,sys,mmap; d=open(sys.argv[1],'rb'); m=mmap.mmap(d.fileno(),0,access=mmap.ACCESS_READ); a=m.find(b'smpl'); print(struct.unpack('<I',m[a+4:a+8])[0])" "$1"; }
  # The small banks take tens of milliseconds, of which the system's jitter
  # is a large share: they run in turn, for five times as many rounds.
  # FluidR3 runs in every fifth of those rounds, so that the banks compared
  # are timed alike even when the machine's speed drifts over the minutes.
  rm -f "$work"/linear.*
  for round in $(seq $((5 * runs))); do
    banks=("$tiny" "$small" "$timgm")
    [ $((round % 5)) -ne 0 ] || banks+=("$fluid")
    for bank in "${banks[@]}"; do
      once 1 "$work/linear.kbn" "$bank" "$build/kbnconv" -j 1 "$bank" "$work/linear.kbn" >>"$work/linear.$(basename "$bank")"
    done
  done
  read -r fixed _ < <(median "$work/linear.$(basename "$tiny")")
  fixed_bytes=$(pcm_of "$tiny")
  echo "cost per PCM byte (kbnconv -j 1, 1 core; a run's fixed cost of ${fixed} s, a bank with $((fixed_bytes / 1000)) KB of PCM, taken off):"
  for bank in "$small" "$fluid" "$big" "$timgm"; do
    if [ -s "$work/linear.$(basename "$bank")" ]; then
      read -r seconds memory < <(median "$work/linear.$(basename "$bank")")
    else  # beyond what the page cache holds: read from disk
      read -r seconds memory < <(runs=3 measure 1 "$work/linear.kbn" - "$build/kbnconv" -j 1 "$bank" "$work/linear.kbn")
    fi
    bytes=$(pcm_of "$bank")
    printf "  %-40s %6d MB %8s s %6.2f ns/byte, peak %s KB\n" "$(basename "$bank")" $((bytes / 1000000)) "$seconds" "$(awk -v s="$seconds" -v z="$fixed" -v b="$bytes" -v zb="$fixed_bytes" 'BEGIN {print (s - z) / (b - zb) * 1e9}')" "$memory"
  done
  rm -f "$work"/linear.*
fi
