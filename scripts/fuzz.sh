#!/usr/bin/env bash
# The WAV reader's libFuzzer target, built with clang in build/fuzz.
#   fuzz.sh build        configure and build it
#   fuzz.sh run SECONDS  build it and fuzz for SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAKTOVI_FUZZ_ONLY=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz
if [[ "${1:-build}" == "run" ]]; then
  secs=${2:-30}
  corpus=build/fuzz/corpus
  mkdir -p "$corpus"
  cp -n fuzz/seeds/* "$corpus"/
  TMPDIR=build/fuzz build/fuzz/bin/fuzz_wav_reader -max_total_time="$secs" -max_len=4096 -print_final_stats=1 "$corpus"
fi
