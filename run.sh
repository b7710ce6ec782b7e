#!/usr/bin/env bash
# Installs what is missing, builds the Release tree and starts the choice trainer.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh release -DTAKTOVI_TESTS=OFF
program=build/release/bin/taktovi1demo
if [[ ! -x "$program" ]]; then
  echo "run.sh: the build finished but did not produce $program" >&2
  exit 1
fi
exec "$program"
