#!/usr/bin/env bash
# Configures and builds one tree: build.sh release|test|package [extra cmake args...]
# package: the Release tree the Debian package is made from, prefix /usr, programs only.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:?release or test}; shift
case "$tree" in
  release) args=(-DCMAKE_BUILD_TYPE=Release) ;;
  test) args=(-DCMAKE_BUILD_TYPE=Debug -DTAKTOVI_SANITIZE=ON) ;;
  package) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTAKTOVI_TESTS=OFF -DTAKTOVI_BENCH=OFF) ;;
  *) echo "unknown tree: $tree" >&2; exit 2 ;;
esac
cmake -S . -B "build/$tree" -G Ninja "${args[@]}" "$@" >/dev/null
cmake --build "build/$tree"
