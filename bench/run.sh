#!/usr/bin/env bash
# Runs every benchmark script bench/bench_*.sh with the build folder as its argument. Each one writes its
# output into bench/results/<date>-<name>.txt as well (see lib.sh).
#   run.sh [BUILD_DIR]
# BENCH_ONLY="unpack tiny" runs only those (the names without bench_ and .sh); BENCH_ONLY="window window_unpack"
# the desktop window's (they need zelvano-windowbench, built with the desktop program when ZELVANO_BENCH is on).
# A failing benchmark does not stop the others; the exit code is 1 when one failed.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
only=" ${BENCH_ONLY//,/ } "
found=0
failed=()
for b in "$here"/bench_*.sh; do
  [ -f "$b" ] || continue
  name=$(basename "$b" .sh)
  name=${name#bench_}
  [ -z "${BENCH_ONLY:-}" ] || [[ $only == *" $name "* ]] || continue
  found=1
  echo "== $(basename "$b")"
  start=$SECONDS
  bash "$b" "$build" || failed+=("$name")
  echo "== $(basename "$b"): $((SECONDS - start)) s"
  echo
done
[ $found -eq 1 ] || echo "No benchmarks${BENCH_ONLY:+ named $BENCH_ONLY}."
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed: ${failed[*]}" >&2
  exit 1
fi
