#!/usr/bin/env bash
# Builds and runs every test. Usage: tools/test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-asan
tools/build.sh "$@"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
