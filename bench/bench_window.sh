#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# The desktop window beside zelvano-cli, in interleaved rounds (the order rotated each round):
#   - a scan of a corpus of thousands of archives (the layout of bench_scan.sh: deep folders, one archive in
#     six a RAR, as many other files as archives) by `zelvano-cli scan` and from the window, driven offscreen
#     by zelvano-windowbench; the window's time runs from the call that starts the scan to the end of its
#     handling (the list built), and a 5 ms timer in the window's event loop records its longest stall;
#   - the window's list rebuilt from 20,000 found-archive records, and the memory of the window holding them.
#   bench_window.sh BUILD_DIR   (a build with ZELVANO_BENCH on, which builds zelvano-windowbench)
# Goals: the window's scan at most 1.1 times the command line's; no stall of the window's event loop over
# 100 ms during the scan; the rebuild of 20,000 rows under 1 s, the window with them under 100 MB.
# Environment: BENCH_WINDOW_ARCHIVES archives in the corpus (20,000), BENCH_WINDOW_ROWS records rebuilt
# (20,000), BENCH_WINDOW_CORPUS the folder the corpus is kept in between runs (BUILD_DIR/bench/window-corpus;
# made again when it was made for another size), BENCH_ROUNDS (3), BENCH_RESULTS_DIR: see lib.sh.
set -euo pipefail

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"

cli=$build/src/cli/zelvano-cli
winbench=$build/bench/zelvano-windowbench
for prog in "$cli" "$winbench"; do
  [ -x "$prog" ] || { echo "bench_window: $prog is not built (cmake --build $build)" >&2; exit 1; }
done
for tool in rar python3; do
  command -v "$tool" >/dev/null || { echo "bench_window: $tool is missing (make deps)" >&2; exit 1; }
done
export LC_ALL=C.UTF-8

archives=${BENCH_WINDOW_ARCHIVES:-20000}
rows=${BENCH_WINDOW_ROWS:-20000}
corpus=${BENCH_WINDOW_CORPUS:-$build/bench/window-corpus}

bench_init window "$build"
tmp=$BENCH_TMP
# Both programs read the settings of a home of their own (zelvano-windowbench makes its own as well).
export HOME=$tmp/home XDG_DATA_HOME=$tmp/home/.local/share XDG_CONFIG_HOME=$tmp/home/.config
mkdir -p "$HOME"

# ---- the corpus, made once per size and kept
stamp="archives=$archives layout=1"
if [ "$(cat "$corpus/.stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "Corpus: $corpus, kept from an earlier run ($archives archives)"
else
  echo "Making the corpus of $archives archives in $corpus..."
  rm -rf "$corpus"
  mkdir -p "$corpus"
  start=$SECONDS
  BENCH_DIR=$here python3 - "$corpus/tree" "$archives" "$tmp" <<'PY'
import io, os, random, subprocess, sys, zipfile

tree, count, work = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rng = random.Random(4)

sys.path.insert(0, os.environ["BENCH_DIR"])
from scancorpus import templates  # noqa: E402

zip_templates, rar_templates = templates(rng, work)

folders = [os.path.join(tree, *[f"d{rng.randint(0, 5)}_{i % 40}" for _ in range(rng.randint(1, 5))])
           for i in range(max(1, count // 10))]
for f in folders:
    os.makedirs(f, exist_ok=True)
for i in range(count):
    folder = rng.choice(folders)
    if i % 6 == 5:
        path, data = os.path.join(folder, f"archive_{i}.rar"), rar_templates[i % len(rar_templates)]
    else:
        path, data = os.path.join(folder, f"archive_{i}.zip"), zip_templates[i % len(zip_templates)]
    with open(path, "wb") as f:
        f.write(data)
for i in range(count):
    with open(os.path.join(rng.choice(folders), f"file_{i}.{rng.choice(['txt', 'jpg', 'dat'])}"), "wb") as f:
        f.write(b"x" * rng.randint(0, 64))
PY
  echo "$stamp" > "$corpus/.stamp"
  echo "Corpus made in $((SECONDS - start)) s"
fi
export tree=$corpus/tree
printf 'Corpus: %s archives (one in six RAR) and as many other files in %s folders, %s MB\n' "$archives" \
  "$(find "$tree" -type d | wc -l)" "$(du -sm "$tree" | cut -f1)"

# ---- the contenders; each runs in a child bash, hence the exports
export cli winbench rows
cli_scan() { "$cli" scan "$tree" > "$BENCH_TMP/cli.out"; }
# run_winbench NAME ARG...: the figures into NAME.out; Qt's notes on stderr (the offscreen platform cannot raise a
# window) are shown only when the run fails.
run_winbench() {
  "$winbench" "${@:2}" > "$BENCH_TMP/$1.out" 2> "$BENCH_TMP/$1.err" || { cat "$BENCH_TMP/$1.err"; return 1; }
}
export -f run_winbench
window_scan() { run_winbench window scan "$tree"; }
window_rebuild() { run_winbench rebuild rebuild "$rows"; }

bench_contender cli "zelvano-cli scan" cli_scan
bench_contender window "window scan (whole process)" window_scan
bench_contender rebuild "window rebuild of $rows rows (whole process)" window_rebuild

# The figures the window's program prints, per round: "name: value" lines.
figure() { awk -F': ' -v name="$2" '$1 == name { print $2 }' "$tmp/$1.out"; }
declare -A runs=([cli]=0 [window]=0 [rebuild]=0) found=() gap=() over=() rebuild_s=() rebuild_mb=()
bench_after() {
  local r=$((++runs[$1]))
  # The warm-up is the first contender's, and is not counted.
  [ "${BENCH_WARMUP:-1}" = 0 ] || [ "$1" != "${BENCH_KEYS[0]}" ] || r=$((r - 1))
  [ "$r" -ge 1 ] || return 0
  case $1 in
    cli) found[cli,$r]=$(awk -F': *' '$1 == "Valid Archives" { gsub(/,/, "", $2); print $2 }' "$tmp/cli.out") ;;
    window)
      BENCH_WALL[winscan,$r]=$(figure window "scan wall s")
      BENCH_CPU[winscan,$r]=$(figure window "scan CPU s")
      found[window,$r]=$(figure window rows)
      gap[$r]=$(figure window "longest gap ms")
      over[$r]=$(figure window "gaps over 100 ms")
      printf '  %-44s %8s s %8s CPU s   %s rows, longest stall %s ms (%s over 100 ms)\n' "  the scan itself" \
        "${BENCH_WALL[winscan,$r]}" "${BENCH_CPU[winscan,$r]}" "${found[window,$r]}" "${gap[$r]}" "${over[$r]}"
      [ "${over[$r]}" = 0 ] || echo "      the stalls over 100 ms (the scan took ${BENCH_WALL[winscan,$r]} s): $(figure window stalls)"
      ;;
    rebuild)
      rebuild_s[$r]=$(figure rebuild "rebuild s")
      rebuild_mb[$r]=$(figure rebuild "peak RSS MB")
      printf '  %-44s %8s s, peak %s MB (window alone %s MB, with the records %s MB)\n' "  RebuildList itself" \
        "${rebuild_s[$r]}" "${rebuild_mb[$r]}" "$(figure rebuild "RSS window MB")" \
        "$(figure rebuild "RSS with records MB")"
      [ "$(figure rebuild rows)" = "$rows" ] || echo "warning: the rebuild made $(figure rebuild rows) of $rows rows"
      ;;
  esac
}

echo
bench_rounds
bench_table

max_of() { printf '%s\n' "$@" | awk '/^[0-9.]+$/ { if (!n++ || $1 > m) m = $1 } END { print n ? m : "n/a" }'; }
sum_of() { printf '%s\n' "$@" | awk '/^[0-9]+$/ { s += $1; n++ } END { print n ? s : "n/a" }'; }
echo
for ((r = 1; r <= BENCH_ROUNDS_DONE; r++)); do
  [ "${found[cli,$r]:-}" = "${found[window,$r]:-}" ] ||
    echo "warning: round $r: zelvano-cli found ${found[cli,$r]:-?} photo archives," \
      "the window lists ${found[window,$r]:-?}"
done
echo "Medians of per-round ratios:"
bench_ratio "window scan (the scan itself) / zelvano-cli scan" winscan cli "≤ 1.1"
bench_ratio "window scan (whole process) / zelvano-cli scan" window cli
printf '  %-52s %6s ms, %s stalls over 100 ms in %s scans   goal no stall over 100 ms\n' \
  "window's event loop: longest stall" "$(max_of "${gap[@]}")" "$(sum_of "${over[@]}")" "$BENCH_ROUNDS_DONE"
printf '  %-52s %6s s (median), peak %s MB (highest)   goals < 1 s, < 100 MB\n' \
  "RebuildList of $rows rows" "$(bench_median "${rebuild_s[@]}")" "$(max_of "${rebuild_mb[@]}")"
