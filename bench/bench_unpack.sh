#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Unpack throughput: zelvano-cli unpack at validation levels 1 and 3 beside a find + unzip/unrar loop, the
# same loop followed by `jpeginfo -c` on every JPEG (a script that also checks its pictures), 7z x per
# archive and cp of the archives, in interleaved rounds on one generated tree of photo archives.
#   bench_unpack.sh BUILD_DIR
# Corpus (environment):
#   default         BENCH_UNPACK_MB (320) MB of JPEGs in BENCH_UNPACK_ARCHIVES (24) archives, a quick run;
#   BENCH_LARGE=1   the full scale: 1600 MB in 120 archives (the two variables still override); the results
#                   file is then named <date>-unpack-large.txt.
# BENCH_COMPARE_CLI=PATH: another zelvano-cli (an earlier build) runs at levels 1 and 3 in the same rounds;
# its figures are printed beside this build's, with the ratios of the two builds.
# BENCH_ROUNDS (3), BENCH_RESULTS_DIR: see lib.sh. The tiny-files tree is bench_tiny.sh.
# The tree mixes ZIP stored, ZIP deflated, RAR5 stored, RAR5 compressed and RAR4 stored archives, each
# holding real JPEGs in a top folder named like the archive. Every contender extracts into a fresh copy of
# the tree (hard links to the same archives), next to each archive, with the page cache warm.
set -euo pipefail

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"

cli=$build/src/cli/zelvano-cli
mksamples=$build/tools/zelvano-mksamples
helper=$build/bench/bench_unpack
for prog in "$cli" "$mksamples" "$helper"; do
  [ -x "$prog" ] || { echo "bench_unpack: $prog is not built (cmake --build $build)" >&2; exit 1; }
done
for tool in zip rar unzip unrar 7z; do
  command -v "$tool" >/dev/null || { echo "bench_unpack: $tool is missing (make deps)" >&2; exit 1; }
done
other=${BENCH_COMPARE_CLI:-}
[ -z "$other" ] || [ -x "$other" ] || { echo "bench_unpack: $other (BENCH_COMPARE_CLI) is not a program" >&2; exit 1; }
export LC_ALL=C.UTF-8

if [ "${BENCH_LARGE:-0}" = 1 ]; then
  mb=${BENCH_UNPACK_MB:-1600} archives=${BENCH_UNPACK_ARCHIVES:-120}
else
  mb=${BENCH_UNPACK_MB:-320} archives=${BENCH_UNPACK_ARCHIVES:-24}
fi

bench_init "unpack$([ "${BENCH_LARGE:-0}" = 1 ] && echo -large)" "$build"
tmp=$BENCH_TMP
# The program's settings live in the benchmark's folder, not in the user's home.
export XDG_DATA_HOME=$tmp/data XDG_CONFIG_HOME=$tmp/config

# ---- the tree: JPEGs reused under distinct names in ZIP and RAR archives of five kinds
bench_unpack_corpus "$tmp" "$mb" "$archives" "$mksamples" "$helper"
echo "RAR4 compressed archives are not in the tree: no encoder for them is at hand (rar 7 writes RAR5 only)."

# ---- the contenders; each runs in a child bash, hence the exports
export work=$tmp/work copy=$tmp/copy extracted=$tmp/extracted arch

unpack_with() { # unpack_with CLI LEVEL
  "$1" unpack --mode here --no-rename --skip-existing --delete none --validate "$2" --json "$work" \
    > "$BENCH_TMP/unpack.json"
}
loop() { # the archives one by one, as a shell script would
  while IFS= read -r -d '' f; do
    case $f in
      *.zip) unzip -o -q "$f" -d "$(dirname "$f")" || echo "warning: unzip failed on $f" ;;
      *.rar) unrar x -o+ -idq -p- "$f" "$(dirname "$f")/" || echo "warning: unrar failed on $f" ;;
    esac
  done < <(find "$1" -type f \( -name '*.zip' -o -name '*.rar' \) -print0 | sort -z)
}
loop_7z() {
  while IFS= read -r -d '' f; do
    7z x -y -aoa -bso0 -bsp0 "$f" -o"$(dirname "$f")" || echo "warning: 7z x failed on $f"
  done < <(find "$work" -type f \( -name '*.zip' -o -name '*.rar' \) -print0 | sort -z)
}
check_jpegs() { # every JPEG of the extracted tree, fully decoded; the loop's time is added in the ratios
  find "$extracted" -type f -name '*.jpg' -exec jpeginfo -c {} + > /dev/null
}
copy_archives() { cp -r "$arch" "$copy"; }
export -f loop

bench_contender level1 "zelvano-cli unpack, level 1" unpack_with "$cli" 1
bench_contender level3 "zelvano-cli unpack, level 3" unpack_with "$cli" 3
if [ -n "$other" ]; then
  bench_contender other1 "other build, level 1" unpack_with "$other" 1
  bench_contender other3 "other build, level 3" unpack_with "$other" 3
fi
bench_contender loop "find + unzip -o / unrar x -o+" loop "$work"
bench_contender 7z "7z x per archive" loop_7z
if command -v jpeginfo >/dev/null; then
  # jpeginfo reads the pictures a loop extracted before the rounds: the extraction is the loop's own run.
  cp -al "$arch" "$extracted"
  loop "$extracted"
  find "$extracted" -type f \( -name '*.zip' -o -name '*.rar' \) -delete
  bench_contender jpeginfo "jpeginfo -c on every JPEG (after the loop)" check_jpegs
  has_jpeginfo=1
else
  echo "jpeginfo is missing (Debian package jpeginfo; make deps): the row level 3 / (loop + jpeginfo -c) is skipped."
  has_jpeginfo=0
fi
bench_contender cp "cp of the archives" copy_archives
for key in level1 level3 other1 other3 loop 7z jpeginfo; do BENCH_BYTES[$key]=$picture_bytes; done
BENCH_BYTES[cp]=$archive_bytes

bench_before() {
  rm -rf "$work" "$copy"
  sync # the previous run's writes are not charged to this one
  case $1 in
    jpeginfo) find "$extracted" -type f -exec cat {} + > /dev/null ;; # warm the page cache
    *)
      cp -al "$arch" "$work"
      find "$arch" -type f -exec cat {} + > /dev/null
      ;;
  esac
}
bench_after() {
  case $1 in
    level* | other*)
      grep -q '"errors": 0,' "$tmp/unpack.json" || echo "warning: $1: zelvano-cli reported errors"
      ;;
  esac
  case $1 in
    level* | other* | loop | 7z)
      local got
      got=$(find "$work" -type f -name '*.jpg' | wc -l)
      [ "$got" -eq "$pictures" ] || echo "warning: $1 wrote $got of $pictures pictures"
      ;;
  esac
}

echo
bench_rounds
rm -rf "$work" "$copy" "$extracted"

# ---- results
bench_table
figures() { # figures LEVEL1 LEVEL3
  bench_ratio "level 1 / 7z x per archive" "$1" 7z "≤ 0.75"
  bench_ratio "level 1 / unzip-unrar loop" "$1" loop "≤ 0.45"
  bench_ratio "level 3 / unzip-unrar loop (which validates nothing)" "$2" loop "≤ 1.25 wall"
  if [ "$has_jpeginfo" = 1 ]; then
    bench_ratio "level 3 / (the loop followed by jpeginfo -c)" "$2" loop+jpeginfo "≤ 0.5"
  fi
  printf '  %-52s %6s of %d\n' "cores busy during level 3 (CPU s / wall s)" \
    "$(bench_div "$(bench_median_of BENCH_CPU "$2")" "$(bench_median_of BENCH_WALL "$2")")" "$(nproc)"
  printf '  %-52s %6s MB   goal ≤ 64 MB\n' "peak memory, level 3" "$(bench_peak_mb "$2")"
}
bench_builds_report figures "$other"
