#!/usr/bin/env bash
# Installs a build tree into a fresh DESTDIR with the prefix the package uses.
#   stage.sh CMAKE BUILD_DIR DESTDIR
set -euo pipefail
cmake=$1 build=$2 stage=$3
rm -rf "$stage"
DESTDIR="$stage" "$cmake" --install "$build" --prefix /usr >/dev/null
