#!/usr/bin/env bash
# Installs what is missing, builds Tonvale and runs the whole test suite.
# Usage: scripts/test.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build" "$@"
cd "$build"
# Tests never need a display; the programs listing their cases run without the tests' environment.
export QT_QPA_PLATFORM=offscreen
# Local-time texts are checked in a fixed time zone.
export TZ=Asia/Seoul LC_ALL=C.UTF-8
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
