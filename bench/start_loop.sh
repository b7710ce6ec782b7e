#!/usr/bin/env bash
# Start-up on fresh X servers. Each program is started again and again, each time on a new
# virtual X server (Xvfb) and watched until its window is visible (mapped and viewable, as
# `xdotool search --onlyvisible` sees it, looked at every 20 ms). Prints per condition the
# starts, the windows up, the median and largest time from the program's start to its visible
# window, how often the window had the keyboard focus within 3 s of showing (with a window
# manager), and each failure with what the program said on standard error. Run by hand after
# ./scripts/build.sh release.
#
#   bench/start_loop.sh                  100 starts per program and condition
#   SERVER=probed STARTS=100 WMS=none LOADS=idle bench/start_loop.sh
#                                        the failing way of bringing a server up (below)
# Settings by environment:
#   STARTS=100       starts per program and condition
#   PROGRAMS="taktovi1demo taktovi2demo"
#   WMS="none openbox"   no window manager, or openbox, up before the program starts
#   LOADS="idle busy"    busy: a busy loop on every core for the whole condition
#   SERVER=ready     how each server is brought up:
#     ready    as a desktop's session does: Xvfb says itself when it accepts connections
#              (-displayfd), it checks an xauth cookie, and a client of the session stays
#              connected from then on
#     probed   started on a fixed display (:PROBED_DISPLAY, used again each time) and asked with
#              xdpyinfo until it answers, with no client staying connected. An X server resets
#              whenever its last client disconnects and ends every connection it holds then, so
#              a program that connects just as a probe (or a visibility check) disconnects is
#              cut off: Qt says "could not connect to display". A window manager started
#              then can be cut off the same way (openbox ends silently; the window shows, unfocused)
#   LIMIT=15         seconds a window has to become visible
#   OUT=<temp dir>   each start's standard error, kept
# Sound: SDL's dummy driver, so no sound server is needed.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$repo/build/release/bin
starts=${STARTS:-100}
programs=${PROGRAMS:-taktovi1demo taktovi2demo}
wms=${WMS:-none openbox}
loads=${LOADS:-idle busy}
server=${SERVER:-ready}
limit=${LIMIT:-15}
probed_display=${PROBED_DISPLAY:-77}
out=${OUT:-$(mktemp -d /tmp/start_loop.XXXX)}

need=""
for t in Xvfb:xvfb xauth:xauth xdotool:xdotool openbox:openbox xprop:x11-utils xdpyinfo:x11-utils mcookie:util-linux; do
  command -v "${t%%:*}" >/dev/null || need="$need ${t#*:}"
done
if [[ -n "$need" ]]; then
  echo "installing$need" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $need >/dev/null
fi
for p in $programs; do [[ -x $bin/$p ]] || { echo "$bin/$p missing: ./scripts/build.sh release" >&2; exit 1; }; done

mkdir -p "$out/xdg"
chmod 700 "$out/xdg"
export XDG_RUNTIME_DIR=$out/xdg SDL_AUDIODRIVER=dummy
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
cookie=$(mcookie)
xauth -q -f "$out/server.auth" add :0 . "$cookie" 2>/dev/null  # the server takes the cookie whatever the number

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Waits for a process to end, SIGKILL after the given tenths of a second; silent either way.
stop_pid() {
  local pid=$1 tenths=${2:-30}
  [[ -n "$pid" ]] || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq "$tenths"); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Server, session client and window manager of one start; their pids in these globals.
xpid="" holder="" wmpid="" display=""
server_ready() {
  rm -f "$out/displayfd"
  Xvfb -displayfd 3 -auth "$out/server.auth" -screen 0 1280x1024x24 -nolisten tcp \
    3>"$out/displayfd" 2>"$out/xvfb.log" &
  xpid=$!
  for _ in $(seq 1000); do [[ -s "$out/displayfd" ]] && break; sleep 0.01; done
  display=:$(head -n 1 "$out/displayfd")
  rm -f "$out/client.auth"
  xauth -q -f "$out/client.auth" add "$display" . "$cookie" 2>/dev/null
  export XAUTHORITY=$out/client.auth DISPLAY=$display
  # The session's client: prints the root's properties once connected, then stays.
  xprop -root -spy >"$out/holder.txt" 2>&1 &
  holder=$!
  for _ in $(seq 500); do [[ -s "$out/holder.txt" ]] && break; sleep 0.01; done
}
server_probed() {
  display=:$probed_display
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp 2>"$out/xvfb.log" &
  xpid=$!
  export DISPLAY=$display
  unset XAUTHORITY
  for _ in $(seq 500); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.01; done
}
bring_up() {
  "server_$server"
  if [[ $1 == openbox ]]; then
    openbox --sm-disable >/dev/null 2>&1 &
    wmpid=$!
    for _ in $(seq 500); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
      sleep 0.01
    done
  fi
}
take_down() {
  stop_pid "$wmpid"
  stop_pid "$holder"
  stop_pid "$xpid"
  wmpid="" holder="" xpid=""
}

# One start: prints "up MS FOCUS" or "failed REASON"; the program's standard error is kept.
one_start() {
  local prog=$1 err=$2 t0 pid win="" status reason
  t0=$(now_ms)
  "$bin/$prog" 2>"$err" &
  pid=$!
  while (($(now_ms) - t0 < limit * 1000)); do
    kill -0 "$pid" 2>/dev/null || break
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1) || true
    [[ -n "$win" ]] && break
    sleep 0.02
  done
  if [[ -n "$win" ]]; then
    echo "up $(($(now_ms) - t0)) $(focus_of "$pid")"
    stop_pid "$pid" 50
    return
  fi
  if kill -0 "$pid" 2>/dev/null; then
    reason="no visible window within ${limit} s; $(xdotool search --pid "$pid" 2>/dev/null | wc -l) windows"
    stop_pid "$pid" 50
  else
    status=0
    wait "$pid" || status=$?
    reason="ended with status $status"
  fi
  echo "failed $reason: $(grep -v '^TAKTOVI: ' "$err" | head -n 3 | tr '\n' '|')"
}

# Whether the program's window holds the keyboard focus within 3 s of showing (only with a WM).
focus_of() {
  [[ -n "$wmpid" ]] || { echo "-"; return; }
  for _ in $(seq 150); do
    [[ "$(xdotool getactivewindow getwindowpid 2>/dev/null)" == "$1" ]] && { echo focus; return; }
    sleep 0.02
  done
  echo nofocus
}

busy=()
start_load() {
  [[ $1 == busy ]] || return 0
  for _ in $(seq "$(nproc)"); do
    bash -c 'while :; do :; done' &
    busy+=($!)
  done
}
stop_load() {
  for p in "${busy[@]}"; do stop_pid "$p"; done
  busy=()
}
trap 'take_down; stop_load' EXIT

# Median and largest of the times in a file of "up MS ..." lines.
times_of() {
  awk '$1 == "up" { print $2 }' "$1" | sort -n |
    awk '{ t[NR] = $1 } END { if (NR == 0) { print "-"; exit }
           m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
           printf "median %d ms, max %d ms", m, t[NR] }'
}

run_condition() {
  local prog=$1 wm=$2 load=$3 log=$out/$1.$2.$3.txt
  : >"$log"
  start_load "$load"
  for i in $(seq "$starts"); do
    bring_up "$wm"
    one_start "$prog" "$out/$prog.$wm.$load.$i.err" >>"$log"
    take_down
  done
  stop_load
  local up failed focus
  up=$(grep -c '^up' "$log" || true)
  failed=$(grep -c '^failed' "$log" || true)
  focus=$(grep -c ' focus$' "$log" || true)
  printf '%-13s %-8s %-5s starts %3d  windows up %3d  %s' "$prog" "$wm" "$load" "$starts" "$up" "$(times_of "$log")"
  [[ $wm == none ]] || printf '  focused %d' "$focus"
  printf '  failed %d\n' "$failed"
  grep '^failed' "$log" | sed 's/^failed /    /' | sort | uniq -c || true
}

echo "server: $server; $(nproc) cores; logs in $out"
for load in $loads; do
  for wm in $wms; do
    for prog in $programs; do run_condition "$prog" "$wm" "$load"; done
  done
done
