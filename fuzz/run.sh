#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time, starting from its seed corpus in fuzz/corpus/<target>.
# Exits non-zero when any target crashes, leaks, times out or runs out of memory. The input that did it
# is kept in <build>/fuzz-crashes/ (replay it with: <build>/fuzz/<target> FILE).
set -euo pipefail
build=$(cd "${1:-build-fuzz}" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
crashes="$build/fuzz-crashes"
mkdir -p "$crashes"
status=0
found=0
for target in "$build"/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  work=$(mktemp -d)
  [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$work/"
  log="$crashes/$name.log"
  rm -f "$crashes/$name-"*
  echo "== $name for ${seconds}s"
  # The corpus copy grows in the temporary folder; the seeds in the repository stay as they are.
  # libarchive asks malloc for whatever a forged 7z size says and handles the refusal: an absurd request
  # returns null here as it does outside the sanitizer (one that succeeds still meets the RSS limit).
  if (cd "$work" && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 "$target" -max_total_time="$seconds" -max_len=65536 \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$crashes/$name-" \
        "$work" >"$log" 2>&1); then
    grep -E "^(Done |stat::)" "$log" || true
  else
    status=1
    # The whole report: the sanitizer's stack is longer than any fixed tail.
    cat "$log"
    echo "== $name FAILED; the input is in $crashes/"
  fi
  rm -rf "$work"
done
if [ $found -eq 0 ]; then
  echo "no fuzz target in $build/fuzz" >&2
  exit 1
fi
exit $status
