#!/usr/bin/env bash
# Configures and builds. Usage: tools/build.sh [--sanitize] [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=OFF
dir=build
for a in "$@"; do
  case "$a" in
    --sanitize) sanitize=ON; dir=build-asan ;;
    *) dir="$a" ;;
  esac
done
werror=${SOFTBOX_WERROR:-OFF}
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSOFTBOX_WERROR="$werror" -DSOFTBOX_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j2
