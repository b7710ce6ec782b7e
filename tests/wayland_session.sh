#!/usr/bin/env bash
# A private Wayland session for tests: sway's headless backend with software rendering and no
# input devices. sway refuses to run as root, so as root it runs as the user "taktovi-wayland"
# (created if missing); as another user it runs as that user. Clients reach it through the
# printed environment.
#   wayland_session.sh start DIR   start it; prints XDG_RUNTIME_DIR=... and WAYLAND_DISPLAY=... lines
#   wayland_session.sh stop DIR    stop it
set -eu
cmd=${1:?start|stop}; dir=${2:?DIR}
case $cmd in
start)
  command -v sway >/dev/null || { echo "wayland_session: sway is not installed" >&2; exit 1; }
  mkdir -p "$dir/xdg" "$dir/home"
  chmod 700 "$dir/xdg"
  run=()
  if [ "$(id -u)" -eq 0 ]; then
    user=taktovi-wayland
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
    chown "$user" "$dir" "$dir/xdg" "$dir/home"
    run=(runuser -u "$user" --)
  fi
  printf 'output HEADLESS-1 resolution 1024x768\ndefault_border none\n' >"$dir/sway.conf"
  "${run[@]}" env -i PATH="$PATH" HOME="$dir/home" XDG_RUNTIME_DIR="$dir/xdg" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$dir/sway.conf" >"$dir/sway.log" 2>&1 &
  echo $! >"$dir/sway.pid"
  for _ in $(seq 100); do ls "$dir"/xdg/wayland-? >/dev/null 2>&1 && break; sleep 0.05; done
  sock=$(ls "$dir"/xdg/wayland-? 2>/dev/null | head -n 1)
  [ -n "$sock" ] || { echo "wayland_session: sway did not start; see $dir/sway.log" >&2; exit 1; }
  # Ready once its output is up: a window shown before would get no focus.
  for _ in $(seq 100); do
    ipc=$(ls "$dir"/xdg/sway-ipc.*.sock 2>/dev/null | head -n 1)
    [ -n "$ipc" ] && swaymsg -s "$ipc" -t get_outputs 2>/dev/null | grep -q '"active": true' && break
    sleep 0.05
  done
  echo "XDG_RUNTIME_DIR=$dir/xdg"
  echo "WAYLAND_DISPLAY=$(basename "$sock")" ;;
stop)
  f=$dir/sway.pid; [ -f "$f" ] || exit 0
  p=$(cat "$f")
  pkill -P "$p" 2>/dev/null || true  # runuser's child, as root
  kill "$p" 2>/dev/null || true
  for _ in $(seq 60); do kill -0 "$p" 2>/dev/null || break; sleep 0.05; done
  rm -f "$f" ;;
*) echo "usage: wayland_session.sh start|stop DIR" >&2; exit 2 ;;
esac
