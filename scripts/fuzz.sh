#!/usr/bin/env bash
# Runs the libFuzzer targets of tests/fuzz, each on a copy of its seed corpus.
# Usage: scripts/fuzz.sh TARGET [SECONDS]     TARGET: one of the targets below, or "all" for each in turn
#
# Builds build-fuzz (clang, TONVALE_FUZZ=ON) when needed. Exits 0 when nothing was found; on a finding it
# prints the input as hex and exits 1. Without clang++ the targets are skipped with a note and exit 0.
# FUZZ_BUILD_DIR and FUZZ_WORK_DIR move the build and the working corpora (default build-fuzz/ and
# build-fuzz/fuzz-work/); a working corpus grows from run to run, the seeds in the repository do not.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(frame link_stream scenario ini help_firmware workbook)

target=${1:?"usage: scripts/fuzz.sh TARGET|all [SECONDS]  (targets: ${targets[*]})"}
seconds=${2:-60}
if [ "$target" = all ]; then
  selected=("${targets[@]}")
elif [[ " ${targets[*]} " == *" $target "* ]]; then
  selected=("$target")
else
  echo "unknown target '$target' (targets: ${targets[*]})" >&2
  exit 2
fi

if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: fuzz targets skipped"
  exit 0
fi

build=${FUZZ_BUILD_DIR:-"$root/build-fuzz"}
work=${FUZZ_WORK_DIR:-"$build/fuzz-work"}
export CCACHE_BASEDIR=$root
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTONVALE_FUZZ=ON -DTONVALE_BUILD_TESTS=OFF -DTONVALE_BUILD_BENCH=OFF \
    "-DTONVALE_ONLY=link;sim;report;data;session;app;ui/admin" >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" --target "${selected[@]/#/fuzz_}"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen TZ=Asia/Seoul LC_ALL=C.UTF-8

show_input() {
  echo "== $1 ($(stat -c %s "$1") bytes):"
  if command -v xxd >/dev/null; then xxd "$1" | head -n 256; else od -A x -t x1z -v "$1" | head -n 256; fi
}

failed=0
for t in "${selected[@]}"; do
  dir="$work/$t"
  mkdir -p "$dir/corpus"
  rm -f "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-*
  for seed in "$root/tests/fuzz/corpus/$t"/*; do
    [ -e "$dir/corpus/${seed##*/}" ] || cp "$seed" "$dir/corpus/"
  done
  options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048
           -artifact_prefix="$dir/")
  case $t in
    frame) options+=(-max_len=4200) ;;
    link_stream) options+=(-max_len=2048) ;;
    *) options+=(-max_len=4096) ;;
  esac
  [ -f "$root/tests/fuzz/$t.dict" ] && options+=(-dict="$root/tests/fuzz/$t.dict")
  echo "== fuzzing $t for ${seconds}s"
  if ! "$build/fuzz/$t" "${options[@]}" "$dir/corpus" >"$dir/last-run.log" 2>&1; then
    failed=1
    tail -n 60 "$dir/last-run.log"
    for input in "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-*; do
      [ -f "$input" ] && show_input "$input"
    done
    echo "== $t: FINDING (input kept in $dir)"
  else
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$dir/last-run.log" || true
  fi
done
exit $failed
