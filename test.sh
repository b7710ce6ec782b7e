#!/usr/bin/env bash
# Installs what is missing, builds the test tree (Debug, ASan + UBSan) and runs every test.
# Also runs the audio engine's tests under ThreadSanitizer and builds the fuzzers. With CI=true
# warnings are errors, an unformatted file or a clang-tidy finding fails the run
# (scripts/lint.sh), and each fuzzer runs for 15 s.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON
./scripts/build.sh test -DTAKTOVI_WERROR=$werror
[[ "${CI:-}" == "true" ]] && ./scripts/lint.sh
./scripts/tsan.sh
if command -v clang++ >/dev/null; then
  if [[ "${CI:-}" == "true" ]]; then ./scripts/fuzz.sh run all 15; else ./scripts/fuzz.sh build; fi
fi
cd build/test && ctest --output-on-failure -j2
