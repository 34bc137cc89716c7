#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time, starting from its seed corpus in fuzz/corpus/<target>.
set -euo pipefail
build=$(cd "${1:-build-fuzz}" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in "$build"/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$work/"
  echo "== $name for ${seconds}s"
  if ! (cd "$work" && ASAN_OPTIONS=detect_leaks=1 "$target" -max_total_time="$seconds" -max_len=65536 \
          -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$work" 2>&1 | tail -n 15); then
    status=1
  fi
  rm -rf "$work"
done
exit $status
