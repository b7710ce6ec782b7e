#!/usr/bin/env bash
# The staged menu entries and AppStream metadata as their validators see them; any warning
# fails, as it would in a software centre's import.
#   validate.sh DESTDIR
set -euo pipefail
usr=$1/usr
status=0
for entry in "$usr"/share/applications/*.desktop; do
  out=$(desktop-file-validate "$entry" 2>&1) || status=1
  if [[ -n "$out" ]]; then echo "$out"; status=1; fi
done
for metainfo in "$usr"/share/metainfo/*.metainfo.xml; do
  appstreamcli validate --no-net --pedantic "$metainfo" || status=1
done
exit $status
