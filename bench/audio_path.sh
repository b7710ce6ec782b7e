#!/usr/bin/env bash
# The sound path through a desktop sound server, under full load. Run by hand (not by test.sh)
# after ./scripts/build.sh release.
#
# Starts a private PulseAudio server paced in real time (the shared pulse.sh: a null sink "cap"
# whose monitor is recorded), keeps every core busy with a process of busy loops, and plays
# melodies in MIDI mode (built-in synthesizer) and in WAV mode (the engine's sample buffer)
# through SDL's pulseaudio driver while the sink is recorded. Then reports per mode: dropouts,
# inter-onset error (against the calls and against the slot grid), tone-length error, and the
# latency from a call to the sink against the one the engine reports.
#
#   bench/audio_path.sh                       5 minutes per mode
# Settings by environment:
#   SECONDS_PER_MODE=300   how long each mode plays
#   MODES="midi wav"       which modes
#   PERIOD=                frames per callback asked of the device (empty: the engine's default)
#   LOAD=<cores>           busy loops kept running (0: no load)
#   SHARED_TOOLS=../shared/tools   where pulse.sh lives
#   OUT=<temp dir>         where recordings, logs and reports stay
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$repo/build/release/bin
tools=${SHARED_TOOLS:-$repo/../shared/tools}
seconds=${SECONDS_PER_MODE:-300}
modes=${MODES:-midi wav}
period=${PERIOD:-}
load=${LOAD:-$(nproc)}
out=${OUT:-$(mktemp -d /tmp/audio-path.XXXX)}
mkdir -p "$out"
for t in audio_path_play audio_tap audio_path_report; do
  [[ -x $bin/$t ]] || { echo "missing $bin/$t: run ./scripts/build.sh release first" >&2; exit 2; }
done
[[ -x $tools/pulse.sh ]] || { echo "missing $tools/pulse.sh (set SHARED_TOOLS)" >&2; exit 2; }

snd=$out/server
loaders=()
parec_pid=""
tap_pid=""
cleanup() {
  for p in "${loaders[@]}"; do kill "$p" 2>/dev/null || true; done
  [[ -n $parec_pid ]] && kill "$parec_pid" 2>/dev/null || true
  [[ -n $tap_pid ]] && wait "$tap_pid" 2>/dev/null || true
  "$tools/pulse.sh" stop "$snd" || true
}
trap cleanup EXIT
eval "$("$tools/pulse.sh" start "$snd")"
export XDG_RUNTIME_DIR
echo "sound server: $(pactl info | grep -E 'Server Name|Server Version' | cut -d: -f2 | xargs | tr '\n' ' ')," \
  "scheduling of its threads: $(ps -L -o cls=,rtprio=,ni= -p "$(cat "$snd/xdg/pulse/pid")" | sort | uniq -c | xargs)"
echo "load: $load busy loops on $(nproc) cores; other load on the machine now: $(cut -d' ' -f1-3 /proc/loadavg)"

start_load() {
  for ((i = 0; i < load; i++)); do
    bash -c 'while :; do :; done' &
    loaders+=($!)
  done
}
stop_load() {
  for p in "${loaders[@]}"; do kill "$p" 2>/dev/null || true; done
  loaders=()
}

for mode in $modes; do
  base=$out/$mode
  rm -f "$base.fifo"
  mkfifo "$base.fifo"
  "$bin/audio_tap" "$base.raw" "$base.times" 8 <"$base.fifo" &
  tap_pid=$!
  parec --device=cap.monitor --format=float32le --rate=48000 --channels=2 --raw >"$base.fifo" &
  parec_pid=$!
  sleep 0.5
  start_load
  # What the server says about the stream once it runs: its buffer and the sink's latency.
  (sleep 8; { pactl list sink-inputs; pactl list sinks; } | grep -iE 'latency' >"$base.server" || true) &
  SDL_AUDIODRIVER=pulseaudio "$bin/audio_path_play" "$mode" "$seconds" "$base.log" ${period:+period=$period} \
    >"$base.player" &
  player=$!
  # The player's threads and their scheduling, once it runs.
  sleep 6
  ps -L -o tid=,cls=,rtprio=,ni=,comm= -p "$player" >"$base.threads" || true
  wait "$player"
  cat "$base.player"
  stop_load
  sleep 0.5
  kill "$parec_pid" 2>/dev/null || true
  wait "$tap_pid" || true
  parec_pid=""
  tap_pid=""
  echo "server during the run: $(xargs <"$base.server" 2>/dev/null)"
  echo "player threads (class, rt priority, nice): $(awk '{print $5"/"$2"/"$3"/"$4}' "$base.threads" | xargs)"
  "$bin/audio_path_report" "$base.raw" "$base.times" "$base.log" | tee "$base.report"
  echo
done
echo "recordings, logs and reports: $out"
