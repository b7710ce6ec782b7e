#!/usr/bin/env bash
# The libFuzzer targets, built with clang in build/fuzz: wav_reader (the WAV reader's four steps)
# and wav_mode (the whole WAV-mode path on the offline audio engine).
#   fuzz.sh build                  configure and build them
#   fuzz.sh run TARGET SECONDS     build them and fuzz TARGET for SECONDS ("hour": 3600)
#   fuzz.sh run all SECONDS        each target for SECONDS, one after the other
# Each target keeps its corpus in build/fuzz/corpus/TARGET, started from fuzz/seeds/TARGET;
# a finding is written to build/fuzz/findings/TARGET and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(wav_reader wav_mode)
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAKTOVI_FUZZ_ONLY=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz
[[ "${1:-build}" == "run" ]] || exit 0

fuzz() {
  local target=$1 secs=$2
  local corpus=build/fuzz/corpus/$target findings=build/fuzz/findings/$target
  local maxlen=8192  # a sample of a few thousand frames; the reader alone needs no more than 4 KiB
  [[ "$target" == wav_reader ]] && maxlen=4096
  mkdir -p "$corpus" "$findings"
  cp -n fuzz/seeds/"$target"/* "$corpus"/
  echo "fuzz: $target for $secs s"
  TMPDIR=build/fuzz build/fuzz/bin/fuzz_"$target" -max_total_time="$secs" -max_len="$maxlen" \
    -print_final_stats=1 -artifact_prefix="$findings"/ "$corpus"
}

which=${2:?TARGET (${targets[*]}) or all}
secs=${3:-30}
[[ "$secs" == "hour" ]] && secs=3600
if [[ "$which" == "all" ]]; then
  for t in "${targets[@]}"; do fuzz "$t" "$secs"; done
elif [[ " ${targets[*]} " == *" ${which#fuzz_} "* ]]; then
  fuzz "${which#fuzz_}" "$secs"
else
  echo "fuzz.sh: unknown target $which (${targets[*]} or all)" >&2
  exit 2
fi
