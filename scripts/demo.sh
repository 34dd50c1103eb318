#!/usr/bin/env bash
# Quick start: builds kbnconv, kbndump and the library (no tests, no
# benchmarks), converts the TimGM6mb General MIDI bank into
# build/TimGM6mb.kbn and tests the bank. Installs only the Debian packages
# that building and converting need. `cmake --install build [--prefix DIR]`
# then installs the programs and the library.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --build
# Every choice given, whatever an earlier configuration of build/ (such as
# scripts/test.sh's) left in its cache.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKBN_BUILD_TESTS=OFF -DKBN_BUILD_BENCHMARKS=OFF -DKBN_WERROR=OFF
cmake --build build -j"$(nproc)"
build/kbnconv -v /usr/share/sounds/sf2/TimGM6mb.sf2 build/TimGM6mb.kbn
build/kbndump --test build/TimGM6mb.kbn
