#!/usr/bin/env bash
# A private sound server for tests, with a null sink "cap" (float32 48000 Hz stereo; record its
# monitor with parec --device=cap.monitor). PipeWire has a second sink "hs" that stands for a
# device, a headset say: an ALSA sink on ALSA's null device, driven by PipeWire's timer, which can
# declare a delay of its own (pw-cli s hs ProcessLatency '{ ns = 150000000 }'; it plays nothing
# anyone can hear or record). Needs no sound card; works as root or a user; touches
# nothing outside DIR and starts no server on its own (autospawn off). Keep DIR short (mktemp -d
# /tmp/snd.XXXXXX): socket paths must stay under 108 bytes.
#   sound_server.sh start pulse|pipewire DIR   start; returns once the server answers and "cap" is
#                                              its default sink (pipewire: pipewire, WirePlumber on
#                                              a private session bus, pipewire-pulse)
#   sound_server.sh stop DIR                   stop the server (the bus stays)
#   sound_server.sh destroy DIR                stop everything started with DIR
#   sound_server.sh env DIR                    the environment a client needs, NAME=VALUE lines
#                                              (an empty value: unset it)
set -eu
cmd=${1:?}; shift
if [ "$cmd" = start ]; then kind=${1:?pulse|pipewire}; shift; fi
dir=${1:?DIR}; mkdir -p "$dir"; dir=$(cd "$dir" && pwd)
mkdir -p "$dir/xdg" "$dir/home" "$dir/config/pulse" "$dir/config/pipewire/pipewire.conf.d" "$dir/state" "$dir/log"
chmod 700 "$dir/xdg"
client_env() {
  printf '%s\n' "XDG_RUNTIME_DIR=$dir/xdg" "HOME=$dir/home" "XDG_CONFIG_HOME=$dir/config" \
    "XDG_STATE_HOME=$dir/state" "DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/xdg/bus" \
    "PULSE_CLIENTCONFIG=$dir/config/pulse/client.conf" PULSE_SERVER= PULSE_SINK= PULSE_RUNTIME_PATH= \
    PULSE_STATE_PATH= PIPEWIRE_REMOTE= PIPEWIRE_RUNTIME_DIR= DISPLAY= WAYLAND_DISPLAY=
}
while IFS='=' read -r name value; do
  if [ -n "$value" ]; then export "$name=$value"; else unset "$name"; fi
done < <(client_env)
printf 'autospawn = no\n' >"$PULSE_CLIENTCONFIG"
# The sinks belong to the pipewire daemon itself: they exist before any client. PipeWire's null
# sink takes no delay of its own; an ALSA sink does.
cat >"$dir/config/pipewire/pipewire.conf.d/10-cap.conf" <<'EOF'
context.objects = [
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = cap node.description = cap
             media.class = Audio/Sink audio.format = F32LE audio.rate = 48000 audio.channels = 2
             audio.position = [ FL FR ] monitor.channel-volumes = true } }
  { factory = adapter
    args = { factory.name = api.alsa.pcm.sink node.name = hs node.description = hs
             media.class = Audio/Sink api.alsa.path = "null" node.driver = false audio.format = F32LE
             audio.rate = 48000 audio.channels = 2 audio.position = [ FL FR ] } }
]
EOF

# Running = exists and is no zombie (an orphan may wait a while to be reaped); a pid file is
# trusted only while its pid runs the program it names (pids are reused).
running() { local st; st=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1; [ -n "$st" ] && [ "$st" != Z ] && [ "$st" != X ]; }
comm_of() { case $1 in dbus) echo dbus-daemon ;; *) echo "$1" ;; esac; }
ours() { local p; p=$(cat "$dir/$1.pid" 2>/dev/null) || return 1; [ "$(cat "/proc/$p/comm" 2>/dev/null)" = "$(comm_of "$1")" ] && echo "$p"; }
alive() { local p; p=$(ours "$1") && running "$p"; }
spawn() { local n=$1; shift; "$@" >>"$dir/log/$n.log" 2>&1 </dev/null & echo $! >"$dir/$n.pid"; }
waitfor() { local n=$1; shift; for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done; return 1; }
kill_one() {  # TERM, up to 3 s, then KILL
  local n=$1 p
  [ -f "$dir/$n.pid" ] || return 0
  p=$(ours "$n") || { rm -f "$dir/$n.pid"; return 0; }
  if kill "$p" 2>/dev/null; then
    for _ in $(seq 150); do running "$p" || break; sleep 0.02; done
    if running "$p"; then kill -9 "$p" 2>/dev/null; echo "sound_server: $n ($p) needed SIGKILL" >&2; fi
  fi
  rm -f "$dir/$n.pid"
}
fail() { echo "sound_server: $*; logs in $dir/log" >&2; exit 1; }
cap_default() { [ "$(pactl get-default-sink 2>/dev/null)" = cap ]; }

case $cmd in
env) client_env ;;
start)
  for n in pulseaudio pipewire pipewire-pulse wireplumber; do alive $n && fail "$n already runs"; done
  case $kind in
  pulse)
    rm -f "$dir/xdg/pulse/pid"
    spawn pulseaudio pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --disallow-exit \
      --use-pid-file=no --log-target=stderr --log-level=notice \
      --load='module-null-sink sink_name=cap format=float32le rate=48000 channels=2' \
      --load='module-native-protocol-unix'
    waitfor 200 pactl info || fail "pulseaudio does not answer"
    pactl set-default-sink cap ;;
  pipewire)
    # WirePlumber needs a session bus; without one it ends and streams wait for it in vain.
    if ! alive dbus; then
      rm -f "$dir/xdg/bus"
      spawn dbus dbus-daemon --session --address="unix:path=$dir/xdg/bus" --nofork --nopidfile
      waitfor 100 test -S "$dir/xdg/bus" || fail "no session bus"
    fi
    rm -f "$dir/xdg/pipewire-0" "$dir/xdg/pipewire-0.lock"
    spawn pipewire pipewire
    waitfor 200 test -S "$dir/xdg/pipewire-0" || fail "pipewire did not start"
    spawn wireplumber wireplumber
    spawn pipewire-pulse pipewire-pulse
    waitfor 200 pactl info || fail "pipewire-pulse does not answer" ;;
  *) fail "unknown kind $kind" ;;
  esac
  waitfor 200 cap_default || { pactl set-default-sink cap; waitfor 100 cap_default; } || fail "cap is not the default sink" ;;
stop) for n in pipewire-pulse wireplumber pipewire pulseaudio; do kill_one $n; done ;;
destroy) for n in pipewire-pulse wireplumber pipewire pulseaudio dbus; do kill_one $n; done ;;
*) fail "unknown command $cmd" ;;
esac
