#!/usr/bin/env bash
# Fails on a source file that clang-format would change and on any clang-tidy finding in our own
# code (.clang-format, .clang-tidy). clang-tidy reads the test tree's compile commands, so the
# test tree must be configured first (./scripts/build.sh test).
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.h' '*.cpp')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "lint: files above are not formatted; run: git ls-files '*.h' '*.cpp' | xargs clang-format -i" >&2
  exit 1
fi
[[ -f build/test/compile_commands.json ]] || { echo "lint: configure the test tree first" >&2; exit 2; }
# The fuzz targets are built by clang in their own tree only.
mapfile -t units < <(git ls-files '*.cpp' | grep -v '^fuzz/')
printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/test --quiet --warnings-as-errors='*' \
  2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2)
echo "lint: ${#sources[@]} files formatted, ${#units[@]} units without clang-tidy findings"
