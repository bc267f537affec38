#!/bin/sh
# Builds bench_script in a release build (if needed) and runs it RUNS times
# (default 3), printing each run's ns per loop iteration of the script and
# of Lua 5.4 and their ratio.
#
#   bench/compare_script.sh [build dir]
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
RUNS=${RUNS:-3}

[ -f "$BUILD/CMakeCache.txt" ] || cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j 2 --target bench_script >/dev/null

run=1
while [ "$run" -le "$RUNS" ]; do
  echo "run $run of $RUNS"
  "$BUILD/bench/bench_script" --benchmark_min_time=1 2>/dev/null | sed -n '/^program/,$p'
  run=$((run + 1))
done
