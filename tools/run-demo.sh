#!/usr/bin/env bash
# Builds the box, lays out a demo box folder and opens the box in it.
# Without a display it starts a virtual one (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
mkdir -p demo-box
cp build/src/app/main/softbox demo-box/softbox
# The catalog the box shows: the saved offline copy of the demo catalog.
python3 tools/make_demo_catalog.py "demo-box/汀芷·软件列表.ini" 40
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" demo-box/softbox "$@"
fi
exec demo-box/softbox "$@"
