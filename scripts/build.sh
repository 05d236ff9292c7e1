#!/usr/bin/env bash
# Configures and builds Tonvale. Usage: scripts/build.sh [BUILD_DIR] [extra cmake options...]
# TONVALE_TARGETS (space-separated) builds just those targets; by default everything is built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
targets=()
for t in ${TONVALE_TARGETS:-}; do
  targets+=(--target "$t")
done
cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"
