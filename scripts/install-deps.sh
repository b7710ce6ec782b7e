#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are missing.
# Runs no apt command at all when everything is present. Works as root or through sudo.
#   install-deps.sh            what building, running and testing need
#   install-deps.sh package    and what building the Debian package needs (scripts/package.sh)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config   # compiler and build tools
  clang libclang-rt-14-dev                         # the fuzzer (libFuzzer runtime)
  clang-format clang-tidy                          # the house style and checks (scripts/lint.sh)
  qt6-base-dev qt6-svg-dev                         # the windows, SVG pictures
  qt6-translations-l10n                            # Qt's own texts (buttons, context menus) in German
  fonts-liberation2                                # the window font, of the design font's widths
  libfluidsynth-dev fluid-soundfont-gm             # built-in synthesizer and its GM soundfont
  libsdl2-dev                                      # the audio device
  libasound2-dev                                   # ALSA sequencer MIDI ports
  libpulse-dev                                     # the sound server's latency (PulseAudio, PipeWire)
  libpipewire-0.3-dev                              # PipeWire's graph: the device's own delay
  libgtest-dev libgmock-dev                        # tests
  pulseaudio pulseaudio-utils                      # tests: a private PulseAudio server, pactl and parec
  pipewire pipewire-bin pipewire-pulse wireplumber dbus-daemon  # tests: a private PipeWire graph on its own bus
  libbenchmark-dev                                 # benchmarks
  xvfb xauth                                       # looking at the programs on a virtual screen
  sway qt6-wayland libwayland-dev libxkbcommon-dev  # tests: a Wayland compositor, and keys typed on it
  desktop-file-utils appstream                     # validating the menu entries and AppStream metadata
)
if [[ "${1:-}" == "package" ]]; then
  packages+=(dpkg-dev file lintian)                # CPack's shlibdeps, and checking the package
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
