#!/usr/bin/env bash
# Runs the fuzzers built in build-fuzz/ one after another, each from the
# committed seeds plus its own growing corpus in build-fuzz/corpus/.
#   fuzz/run.sh time SECONDS [HARNESS...]   each for SECONDS
#   fuzz/run.sh runs COUNT [HARNESS...]     each for COUNT executions
# Harnesses: wav sf2 bank roundtrip (default: all). A finding stops the run
# with status 1 and leaves its input in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:?time or runs} amount=${2:?a number}
shift 2
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(wav sf2 bank roundtrip)
case $mode in
  time) limit=(-max_total_time="$amount") ;;
  runs) limit=(-runs="$amount") ;;
  *) echo "fuzz/run.sh: the mode is time or runs" >&2; exit 255 ;;
esac
mkdir -p build-fuzz/artifacts
for harness in "${harnesses[@]}"; do
  corpus=build-fuzz/corpus/$harness
  mkdir -p "$corpus"
  echo "== fuzz_$harness: $mode $amount" >&2
  # Inputs stay small, and no allocation may exceed 64 MB: nothing a few
  # kilobytes of input holds needs more.
  set +e
  build-fuzz/fuzz/fuzz_"$harness" "${limit[@]}" -max_len=8192 -malloc_limit_mb=64 \
    -dict=fuzz/kbn.dict -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/"$harness"- \
    "$corpus" fuzz/corpus/"$harness" 2>&1 | grep -Ev '^#[0-9]+\s+(NEW|REDUCE|pulse)'
  status=${PIPESTATUS[0]}
  set -e
  [ "$status" -eq 0 ] || { echo "fuzz_$harness found a fault (status $status)" >&2; exit 1; }
done
