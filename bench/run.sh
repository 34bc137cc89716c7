#!/usr/bin/env bash
# Runs every benchmark script bench/bench_*.sh with the build folder as its argument.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
found=0
for b in "$here"/bench_*.sh; do
  [ -f "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  bash "$b" "$build"
done
[ $found -eq 1 ] || echo "No benchmarks yet."
