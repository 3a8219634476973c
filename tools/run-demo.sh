#!/usr/bin/env bash
# Builds the box and runs it from a demo folder.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
mkdir -p demo-box
cp build/src/app/main/softbox demo-box/softbox
exec demo-box/softbox "$@"
