#!/usr/bin/env bash
# Installs what is missing, builds Tonvale and runs the whole test suite.
# Usage: scripts/test.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
"$root/scripts/install-deps.sh"
# The suite and the benchmarks are switched on whatever an earlier configuration of the folder chose;
# options given here come later and win.
"$root/scripts/build.sh" "$build" -DTONVALE_BUILD_TESTS=ON -DTONVALE_BUILD_BENCH=ON "$@"
cd "$build"
# Tests never need a display; the programs listing their cases run without the tests' environment.
export QT_QPA_PLATFORM=offscreen
# Each test program sets the time zone it checks local times in; the machine's own zone does not matter.
export LC_ALL=C.UTF-8
# A run that finds no test is a failure, not a pass.
ctest --output-on-failure --no-tests=error --parallel "$(nproc)" --timeout 600
