#!/usr/bin/env bash
# Builds the box and the demo server, lays out a fresh demo box folder
# demo-box/ (the box and a few installed demo programs, no catalog copy, no
# settings), starts the demo server on a free loopback port, points the box at
# it and opens the box. The server stops when the box ends (also on Ctrl-C).
# Without a display the box runs on a virtual one (Xvfb).
#
# Arguments go to the box ("lxms": offline start). SOFTBOX_DEMO_FLAGS goes to
# the server, e.g. SOFTBOX_DEMO_FLAGS="--fail-first 3" tools/run-demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
server=build/tools/demo_server/softbox_demo_server
if [ ! -x "$server" ]; then
  echo "run-demo: $server is missing (it is built with the tests: SOFTBOX_BUILD_TESTS=ON)" >&2
  exit 1
fi

rm -rf demo-box
mkdir demo-box
cp build/src/app/main/softbox demo-box/softbox
"$server" --install demo-box

state=$(mktemp -d)
server_pid=""
# shellcheck disable=SC2317 # run by the trap
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$state"
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# shellcheck disable=SC2086 # the flags are words on purpose
"$server" --port 0 --share-services "$state" ${SOFTBOX_DEMO_FLAGS:-} >"$state/url" &
server_pid=$!
# The server prints its catalog address once it listens.
for _ in $(seq 100); do
  [ "$(wc -l <"$state/url")" -ge 1 ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
url=$(head -n 1 "$state/url")
if [ -z "$url" ]; then
  echo "run-demo: the demo server did not start" >&2
  exit 1
fi
echo "run-demo: catalog at $url" >&2

export SOFTBOX_CATALOG_URL="$url"
# The share-service stand-ins' hosts and certificate authority, when they run.
while IFS= read -r setting; do
  case "$setting" in
    SOFTBOX_360_HOST=* | SOFTBOX_TONGBUPAN_HOST=* | SOFTBOX_TONGBUPAN_SHORT_HOST=* | \
      SOFTBOX_BAIDU_HOST=* | SOFTBOX_CA_FILE=*)
      export "${setting?}"
      echo "run-demo: $setting" >&2
      ;;
  esac
done < <(tail -n +2 "$state/url")
unset SOFTBOX_CATALOG_FILE
status=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  xvfb-run -a -s "-screen 0 1280x800x24" demo-box/softbox "$@" || status=$?
else
  demo-box/softbox "$@" || status=$?
fi
exit "$status"
