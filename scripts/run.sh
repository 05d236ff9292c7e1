#!/usr/bin/env bash
# Installs what is missing, builds Tonvale and starts it on the built-in simulated instrument.
# Extra arguments go to the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
"$root/scripts/install-deps.sh"
# Only the two programs are built; the folder's other settings (tests, benchmarks) stay as they are, so
# the test command that shares this folder finds its suite configured.
TONVALE_TARGETS="tonvale tonvale-cli" "$root/scripts/build.sh" "$build"
# The built-in simulated instrument, unless the arguments choose a scenario themselves.
simulate=(--simulate)
for a in "$@"; do
  case "$a" in --simulate*) simulate=() ;; esac
done
if [ -x "$build/bin/tonvale" ]; then
  exec "$build/bin/tonvale" "${simulate[@]}" "$@"
else
  exec "$build/bin/tonvale-cli" --simulate info "$@"
fi
