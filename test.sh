#!/usr/bin/env bash
# Installs what is missing, builds the test tree (Debug, ASan + UBSan) and runs every test.
# With CI=true warnings are errors and the WAV reader's fuzzer runs for 30 s.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON
./scripts/build.sh test -DTAKTOVI_WERROR=$werror
(cd build/test && ctest --output-on-failure -j2)
if command -v clang++ >/dev/null; then
  ./scripts/fuzz.sh build
  if [[ "${CI:-}" == "true" ]]; then ./scripts/fuzz.sh run 30; fi
fi
