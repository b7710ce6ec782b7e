#!/usr/bin/env bash
# The audio engine's and the built-in synthesizer's tests under ThreadSanitizer, in build/tsan.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAKTOVI_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -O1" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build/tsan --target audio_tests synth_tests
for t in audio_tests synth_tests; do
  TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" "build/tsan/bin/$t" --gtest_brief=1
done
