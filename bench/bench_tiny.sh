#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Many tiny pictures in one ZIP: zelvano-cli unpack at validation levels 1 and 3 beside unzip, in
# interleaved rounds. What it shows is the cost per entry (system calls, threads), not throughput.
#   bench_tiny.sh BUILD_DIR
# Environment: BENCH_TINY_FILES pictures in the archive (5,000; BENCH_LARGE=1 makes it 200,000, the full
# scale, results then in <date>-tiny-large.txt), in folders of 1,000. BENCH_COMPARE_CLI=PATH: another
# zelvano-cli (an earlier build) in the same rounds, its figures printed beside this build's. BENCH_ROUNDS (3),
# BENCH_RESULTS_DIR: see lib.sh.
set -euo pipefail

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"

cli=$build/src/cli/zelvano-cli
mksamples=$build/tools/zelvano-mksamples
for prog in "$cli" "$mksamples"; do
  [ -x "$prog" ] || { echo "bench_tiny: $prog is not built (cmake --build $build)" >&2; exit 1; }
done
for tool in unzip python3; do
  command -v "$tool" >/dev/null || { echo "bench_tiny: $tool is missing (make deps)" >&2; exit 1; }
done
other=${BENCH_COMPARE_CLI:-}
[ -z "$other" ] || [ -x "$other" ] || { echo "bench_tiny: $other (BENCH_COMPARE_CLI) is not a program" >&2; exit 1; }
export LC_ALL=C.UTF-8

files=${BENCH_TINY_FILES:-5000}
[ "${BENCH_LARGE:-0}" = 1 ] && files=${BENCH_TINY_FILES:-200000}

bench_init "tiny$([ "${BENCH_LARGE:-0}" = 1 ] && echo -large)" "$build"
tmp=$BENCH_TMP
export XDG_DATA_HOME=$tmp/data XDG_CONFIG_HOME=$tmp/config

# ---- the archive: a pool of distinct small JPEGs under distinct names, deflated as an archiver would
echo "Generating $files tiny pictures in one ZIP..."
"$mksamples" "$tmp/pool" 50 --width 64 --height 48 --seed 11 --prefix tiny > /dev/null
mkdir -p "$tmp/archive"
zipfile=$tmp/archive/tiny.zip
picture_bytes=$(python3 - "$tmp/pool" "$zipfile" "$files" <<'PY'
import os, sys, zipfile
pool, target, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
pictures = [open(os.path.join(pool, n), "rb").read() for n in sorted(os.listdir(pool)) if n.endswith(".jpg")]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(count):
        info = zipfile.ZipInfo(f"tiny/{i // 1000:03d}/IMG_{i:06d}.jpg", (2024, 5, 17, 12, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, pictures[i % len(pictures)])
print(sum(len(pictures[i % len(pictures)]) for i in range(count)))
PY
)
printf 'Archive: %d pictures, %.1f MB of JPEGs (%.1f kB each) in one deflated ZIP of %.1f MB\n' "$files" \
  "$(bench_calc "print $picture_bytes / 1048576")" "$(bench_calc "print $picture_bytes / $files / 1024")" \
  "$(bench_calc "print $(stat -c %s "$zipfile") / 1048576")"

# ---- the contenders; each runs in a child bash, hence the exports
export work=$tmp/work zipfile

unpack_with() { # unpack_with CLI LEVEL
  "$1" unpack --mode here --no-rename --skip-existing --delete none --validate "$2" --json "$work" \
    > "$BENCH_TMP/unpack.json"
}
unzip_all() { unzip -o -q "$work/tiny.zip" -d "$work"; }

bench_contender level1 "zelvano-cli unpack, level 1" unpack_with "$cli" 1
bench_contender level3 "zelvano-cli unpack, level 3" unpack_with "$cli" 3
if [ -n "$other" ]; then
  bench_contender other1 "other build, level 1" unpack_with "$other" 1
  bench_contender other3 "other build, level 3" unpack_with "$other" 3
fi
bench_contender unzip "unzip -o" unzip_all

bench_before() {
  rm -rf "$work"
  sync # the previous run's writes are not charged to this one
  mkdir -p "$work"
  ln "$zipfile" "$work/tiny.zip"
  cat "$zipfile" > /dev/null
}
bench_after() {
  case $1 in
    level* | other*) grep -q '"errors": 0,' "$tmp/unpack.json" || echo "warning: $1: zelvano-cli reported errors" ;;
  esac
  local got
  got=$(find "$work" -type f -name '*.jpg' | wc -l)
  [ "$got" -eq "$files" ] || echo "warning: $1 wrote $got of $files pictures"
}

echo
bench_rounds
rm -rf "$work"

bench_table
per_second() { bench_calc "printf \"%.0f\", $files / $(bench_median_of BENCH_WALL "$1")"; }
figures() { # figures LEVEL1 LEVEL3
  bench_ratio "level 1 / unzip" "$1" unzip "≤ 1.0"
  bench_ratio "level 3 / level 1" "$2" "$1" "≤ 1.3"
  printf '  %-52s %6s at level 1, %s at level 3, %s for unzip\n' "pictures per second" \
    "$(per_second "$1")" "$(per_second "$2")" "$(per_second unzip)"
}
bench_builds_report figures "$other"
