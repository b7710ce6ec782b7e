#!/usr/bin/env bash
# The sound path through a desktop sound server, under full load. Run by hand (not by test.sh)
# after ./scripts/build.sh release.
#
# Starts a private sound server paced in real time (the shared pulse.sh or pipewire.sh: a null
# sink "cap" whose monitor is recorded), keeps every core busy with a process of busy loops, and
# plays melodies in MIDI mode (built-in synthesizer) and in WAV mode (the engine's sample buffer),
# the UI thread held a second once per melody, through SDL's pulseaudio driver (PipeWire: its PulseAudio service) while the sink's monitor is
# recorded with a short capture latency. Then reports per mode: dropouts, inter-onset error
# (against the slot grid and against the planned times), tone-length error, and the heard
# latency measured (monitor arrival plus what the sink plays out after it: PulseAudio's
# configured sink latency, PipeWire's quantum) against the one the engine reported.
#
#   bench/audio_path.sh                       5 minutes per mode through PulseAudio
#   SOUND_SERVER=pipewire bench/audio_path.sh ... through PipeWire
# Settings by environment:
#   SOUND_SERVER=pulse     pulse or pipewire
#   SECONDS_PER_MODE=300   how long each mode plays
#   MODES="midi wav"       which modes
#   PERIOD=                frames per callback asked of the device (empty: the engine's default)
#   LOAD=<cores>           busy loops kept running (0: no load)
#   CAPTURE=               the recorder's latency option (empty: PulseAudio, parec's
#                          --latency-msec=5; PipeWire, pw-cat's --latency=512, the quantum SDL's
#                          stream gets alone: a capture larger than a quantum arrives in pieces
#                          too coarse to time, and a smaller one makes the quantum smaller)
#   SDL_DRIVER=pulseaudio  SDL's driver (pipewire: PipeWire's own)
#   STALL_MS=1000          once per melody the UI thread is held this long at a random moment (0: never)
#   SHARED_TOOLS=../shared/tools   where pulse.sh and pipewire.sh live
#   OUT=<temp dir>         where recordings, logs and reports stay
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$repo/build/release/bin
tools=${SHARED_TOOLS:-$repo/../shared/tools}
seconds=${SECONDS_PER_MODE:-300}
modes=${MODES:-midi wav}
period=${PERIOD:-}
load=${LOAD:-$(nproc)}
server=${SOUND_SERVER:-pulse}
driver=${SDL_DRIVER:-pulseaudio}
stall=${STALL_MS:-1000}
case $server in
  pulse) capture=${CAPTURE:---latency-msec=5} ;;
  pipewire) capture=${CAPTURE:---latency=512} ;;
  *) echo "SOUND_SERVER is pulse or pipewire" >&2; exit 2 ;;
esac
out=${OUT:-$(mktemp -d /tmp/audio-path.XXXX)}
mkdir -p "$out"
for t in audio_path_play audio_tap audio_path_report; do
  [[ -x $bin/$t ]] || { echo "missing $bin/$t: run ./scripts/build.sh release first" >&2; exit 2; }
done
[[ -x $tools/$server.sh ]] || { echo "missing $tools/$server.sh (set SHARED_TOOLS)" >&2; exit 2; }

snd=$out/server
loaders=()
recorder_pid=""
tap_pid=""
cleanup() {
  for p in "${loaders[@]}"; do kill "$p" 2>/dev/null || true; done
  [[ -n $recorder_pid ]] && kill "$recorder_pid" 2>/dev/null || true
  [[ -n $tap_pid ]] && wait "$tap_pid" 2>/dev/null || true
  "$tools/$server.sh" stop "$snd" || true
}
trap cleanup EXIT
eval "$("$tools/$server.sh" start "$snd")"
export XDG_RUNTIME_DIR
if [[ $server == pulse ]]; then pids=$(cat "$snd/xdg/pulse/pid"); else pids=$(cat "$snd"/pipewire*.pid | xargs | tr ' ' ,); fi
echo "sound server: $(pactl info | grep -E 'Server Name|Server Version' | cut -d: -f2 | xargs | tr '\n' ' ')," \
  "scheduling of its threads: $(ps -L -o cls=,rtprio=,ni= -p "$pids" | sort | uniq -c | xargs); capture $capture"
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
  # PipeWire: its own client, not its PulseAudio service, whose recording stream can fall
  # behind for good when the graph skips a stretch (the frames then arrive late, not the sound).
  if [[ $server == pulse ]]; then
    parec --device=cap.monitor --format=float32le --rate=48000 --channels=2 --raw "$capture" >"$base.fifo" \
      2>"$base.capture" &
  else
    pw-cat --record --target=cap -P '{ stream.capture.sink = true }' --format=f32 --rate=48000 --channels=2 \
      "$capture" - >"$base.fifo" 2>"$base.capture" &
  fi
  recorder_pid=$!
  sleep 0.5
  start_load
  # What the server says about the stream once it runs, and what its sink plays out after a
  # frame reaches the monitor (µs): PulseAudio's configured sink latency, PipeWire's quantum
  # (pw-profiler's fourth column: the cycle's length).
  (
    sleep 8
    { pactl list sink-inputs; pactl list sinks; } | grep -iE 'latency' >"$base.server" || true
    if [[ $server == pulse ]]; then
      pactl list sinks | sed -n '/Name: cap$/,/^$/p' | sed -n 's/.*Latency: .* configured \([0-9]*\) usec.*/\1/p' \
        >"$base.sink"
    else
      (cd "$out" && timeout 2 pw-profiler -o "$base.profile" >/dev/null 2>&1 || true)
      cut -f4 "$base.profile" | sort -n | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]}' >"$base.sink"
    fi
  ) &
  SDL_AUDIODRIVER=$driver "$bin/audio_path_play" "$mode" "$seconds" "$base.log" ${period:+period=$period} stall="$stall" \
    >"$base.player" 2>&1 &
  player=$!
  # The player's threads and their scheduling, once it runs.
  sleep 6
  ps -L -o tid=,cls=,rtprio=,ni=,comm= -p "$player" >"$base.threads" || true
  wait "$player"
  cat "$base.player"
  stop_load
  sleep 0.5
  kill "$recorder_pid" 2>/dev/null || echo "the recorder had ended before the player: $(cat "$base.capture")"
  wait "$tap_pid" || true
  recorder_pid=""
  tap_pid=""
  echo "server during the run: $(xargs <"$base.server" 2>/dev/null)"
  echo "player threads (class, rt priority, nice): $(awk '{print $5"/"$2"/"$3"/"$4}' "$base.threads" | xargs)"
  echo "the sink plays out $(cat "$base.sink" 2>/dev/null || echo ?) us after the monitor"
  "$bin/audio_path_report" "$base.raw" "$base.times" "$base.log" sink="$(cat "$base.sink" 2>/dev/null || echo 0)" \
    tones="$base.tones" |
    tee "$base.report"
  echo
done
echo "recordings, logs and reports: $out"
