#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Unpacking from the desktop window beside zelvano-cli, in interleaved rounds (the order rotated each round),
# on the extract corpus of bench_unpack.sh (real JPEGs in ZIP stored, ZIP deflated, RAR5 stored, RAR5
# compressed and RAR4 stored archives). Both unpack every archive into a folder of its own, delete nothing and
# validate at the same level, each in a fresh copy of the tree (hard links to the same archives) with the page
# cache warm:
#   - zelvano-cli unpack --mode folder --delete none --validate N COPY (the whole process: its start and its
#     scan of the tree, a few milliseconds for these few archives, are in its time);
#   - zelvano-windowbench unpack COPY N: the window, driven offscreen, scans the copy (not timed), checks every
#     row and unpacks; its time runs from StartUnpack to the end of the run's handling (unpackEnded), and a
#     5 ms timer in the window's event loop records its longest stall.
#   bench_window_unpack.sh BUILD_DIR   (a build with ZELVANO_BENCH on, which builds zelvano-windowbench)
# Goals: the window's unpack at most 1.05 times the command line's (median of the per-round ratios); no stall
# of the window's event loop over 100 ms during the run.
# Environment: BENCH_WINDOW_LEVELS the validation levels compared ("1 3"); the corpus as in bench_unpack.sh:
# BENCH_UNPACK_MB (320) MB of JPEGs in BENCH_UNPACK_ARCHIVES (24) archives, BENCH_LARGE=1 the full scale (1600 MB
# in 120 archives; results file <date>-window-unpack-large.txt); BENCH_ROUNDS (3), BENCH_RESULTS_DIR: see lib.sh.
set -euo pipefail

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"

cli=$build/src/cli/zelvano-cli
winbench=$build/bench/zelvano-windowbench
mksamples=$build/tools/zelvano-mksamples
helper=$build/bench/bench_unpack
for prog in "$cli" "$winbench" "$mksamples" "$helper"; do
  [ -x "$prog" ] || { echo "bench_window_unpack: $prog is not built (cmake --build $build)" >&2; exit 1; }
done
for tool in zip rar; do
  command -v "$tool" >/dev/null || { echo "bench_window_unpack: $tool is missing (make deps)" >&2; exit 1; }
done
export LC_ALL=C.UTF-8

if [ "${BENCH_LARGE:-0}" = 1 ]; then
  mb=${BENCH_UNPACK_MB:-1600} archives=${BENCH_UNPACK_ARCHIVES:-120}
else
  mb=${BENCH_UNPACK_MB:-320} archives=${BENCH_UNPACK_ARCHIVES:-24}
fi
read -r -a levels <<< "${BENCH_WINDOW_LEVELS:-1 3}"
for level in "${levels[@]}"; do
  case $level in 1 | 2 | 3) ;; *) echo "bench_window_unpack: no validation level $level (1, 2 or 3)" >&2; exit 1 ;; esac
done

bench_init "window-unpack$([ "${BENCH_LARGE:-0}" = 1 ] && echo -large)" "$build"
tmp=$BENCH_TMP
# zelvano-cli reads the settings of a home of its own (zelvano-windowbench makes its own as well): both start
# from the defaults.
export HOME=$tmp/home XDG_DATA_HOME=$tmp/home/.local/share XDG_CONFIG_HOME=$tmp/home/.config
mkdir -p "$HOME"

# ---- the tree: JPEGs reused under distinct names in ZIP and RAR archives of five kinds
bench_unpack_corpus "$tmp" "$mb" "$archives" "$mksamples" "$helper"

# ---- the contenders; each runs in a child bash, hence the exports
export cli winbench work=$tmp/work
cli_unpack() { # cli_unpack LEVEL
  "$cli" unpack --mode folder --delete none --validate "$1" --json "$work" > "$BENCH_TMP/cli.json"
}
window_unpack() { # window_unpack LEVEL; Qt's notes on stderr are shown only when the run fails
  "$winbench" unpack "$work" "$1" > "$BENCH_TMP/window.out" 2> "$BENCH_TMP/window.err" ||
    { cat "$BENCH_TMP/window.err"; return 1; }
}
for level in "${levels[@]}"; do
  bench_contender "cli$level" "zelvano-cli unpack, level $level" cli_unpack "$level"
  bench_contender "win$level" "window unpack, level $level (whole process)" window_unpack "$level"
  BENCH_BYTES["cli$level"]=$picture_bytes
done

bench_before() {
  rm -rf "$work"
  sync # the previous run's writes are not charged to this one
  cp -al "$arch" "$work"
  find "$arch" -type f -exec cat {} + > /dev/null
}

figure() { awk -F': ' -v name="$1" '$1 == name { print $2 }' "$tmp/window.out"; }
declare -A runs=() gap=() over=() ui=()
bench_after() {
  local key=$1 level=${1#???} got r
  got=$(find "$work" -type f -name '*.jpg' | wc -l)
  [ "$got" -eq "$pictures" ] || echo "warning: $key wrote $got of $pictures pictures"
  r=$((++runs[$key]))
  # The warm-up is the first contender's, and is not counted.
  [ "${BENCH_WARMUP:-1}" = 0 ] || [ "$key" != "${BENCH_KEYS[0]}" ] || r=$((r - 1))
  case $key in
    cli*) grep -q '"errors": 0,' "$tmp/cli.json" || echo "warning: $key: zelvano-cli reported errors" ;;
    win*)
      [ "$(figure errors)" = 0 ] || echo "warning: $key: the window reported $(figure errors) errors"
      [ "$(figure "pictures extracted")" = "$pictures" ] ||
        echo "warning: $key: the window extracted $(figure "pictures extracted") of $pictures pictures"
      [ "$(figure checked)" = "$archives" ] || echo "warning: $key: $(figure checked) of $archives archives checked"
      [ "$r" -ge 1 ] || return 0
      BENCH_WALL["unpack$level,$r"]=$(figure "unpack wall s")
      BENCH_CPU["unpack$level,$r"]=$(figure "unpack CPU s")
      gap[$level,$r]=$(figure "longest gap ms")
      over[$level,$r]=$(figure "gaps over 100 ms")
      ui[$level,$r]=$(figure "user-interface thread CPU s")
      printf '  %-44s %8s s %8s CPU s   %s CPU s on the user-interface thread\n' "  StartUnpack to unpackEnded" \
        "${BENCH_WALL["unpack$level,$r"]}" "${BENCH_CPU["unpack$level,$r"]}" "${ui[$level,$r]}"
      printf '  %-44s longest stall %s ms, %s over 100 ms\n' "  the window's event loop" "${gap[$level,$r]}" \
        "${over[$level,$r]}"
      [ "${over[$level,$r]}" = 0 ] || echo "      the stalls over 100 ms: $(figure stalls)"
      ;;
  esac
}

echo
bench_rounds
rm -rf "$work"
bench_table

max_of() { printf '%s\n' "$@" | awk '/^[0-9.]+$/ { if (!n++ || $1 > m) m = $1 } END { print n ? m : "n/a" }'; }
sum_of() { printf '%s\n' "$@" | awk '/^[0-9]+$/ { s += $1; n++ } END { print n ? s : "n/a" }'; }
echo
echo "Medians of per-round ratios:"
for level in "${levels[@]}"; do
  bench_ratio "level $level: window, StartUnpack to its end / zelvano-cli" "unpack$level" "cli$level" "≤ 1.05"
  bench_ratio "level $level: window, whole process / zelvano-cli" "win$level" "cli$level"
  mapfile -t values < <(for ((r = 1; r <= BENCH_ROUNDS_DONE; r++)); do echo "${ui[$level,$r]:-}"; done)
  printf '  %-52s %6s s (median)\n' "level $level: CPU of the user-interface thread in the run" \
    "$(bench_median "${values[@]}")"
done
gaps=() overs=()
for key in "${!gap[@]}"; do gaps+=("${gap[$key]}") overs+=("${over[$key]}"); done
printf '  %-52s %6s ms, %s stalls over 100 ms in %s runs   goal no stall over 100 ms\n' \
  "window's event loop: longest stall" "$(max_of "${gaps[@]}")" "$(sum_of "${overs[@]}")" "${#gaps[@]}"
