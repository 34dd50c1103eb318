#!/usr/bin/env bash
# Builds kbnconv and converts the TimGM6mb General MIDI bank into build/TimGM6mb.kbn.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target kbnconv
source=/usr/share/sounds/sf2/TimGM6mb.sf2
build/kbnconv "$source" build/TimGM6mb.kbn
echo "$source ($(stat -c %s "$source") bytes) -> build/TimGM6mb.kbn ($(stat -c %s build/TimGM6mb.kbn) bytes)"
