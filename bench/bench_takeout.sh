#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Photo exports: one Google Takeout part (takeout-<timestamp>-001.zip: albums of JPEGs, each with its JSON
# sidecar, some named with the export's quirks) unpacked by zelvano-cli with export detection (sidecars
# written, dates set) and with --no-export-detection, in interleaved rounds. Goal: within 1.05 times.
#   bench_takeout.sh BUILD_DIR
# Corpus (environment): BENCH_TAKEOUT_MB (256) MB of pictures; BENCH_LARGE=1 a real-size part of 2048 MB.
# A second part of as many pictures of about 100 KB shows the export's own cost per picture.
# BENCH_ROUNDS (3), BENCH_RESULTS_DIR: see lib.sh.
set -euo pipefail

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"

cli=$build/src/cli/zelvano-cli
[ -x "$cli" ] || { echo "bench_takeout: $cli is not built (cmake --build $build)" >&2; exit 1; }
command -v python3 >/dev/null || { echo "bench_takeout: python3 is missing" >&2; exit 1; }
export LC_ALL=C.UTF-8

if [ "${BENCH_LARGE:-0}" = 1 ]; then mb=${BENCH_TAKEOUT_MB:-2048}; else mb=${BENCH_TAKEOUT_MB:-256}; fi

bench_init "takeout$([ "${BENCH_LARGE:-0}" = 1 ] && echo -large)" "$build"
tmp=$BENCH_TMP
export XDG_DATA_HOME=$tmp/data XDG_CONFIG_HOME=$tmp/config

# ---- the parts: stored JPEG-like pictures (the check at level 1 reads no content) in 20 albums, each with a
# sidecar; one in eight with the newer cut ".supplemental-metadata" name. The main part holds pictures of 2 to
# 6 MB; a second one as many pictures of about 100 KB, where writing the pictures' bytes does not drown the
# export's own work per picture (its sidecar written, its time set).
make_part() { # make_part FOLDER MB MIN_KB MAX_KB
  mkdir -p "$1"
  python3 - "$1/takeout-20240601T101500Z-001.zip" "$2" "$3" "$4" <<'PY'
import json, os, random, sys, zipfile
path, mb, low, high = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) << 10, int(sys.argv[4]) << 10
rnd = random.Random(7)
blob = os.urandom(high)
total, n = 0, 0
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
    while total < mb << 20:
        size = rnd.randint(low, high)
        album = f"Takeout/Google Photos/Album {n % 20:02d}/"
        name = f"IMG_{20190000 + n}.jpg"
        z.writestr(album + name, b"\xff\xd8\xff\xe0" + blob[: size - 6] + b"\xff\xd9")
        sidecar = name + (".supplemental-meta.json" if n % 8 == 0 else ".json")
        z.writestr(album + sidecar, json.dumps({"title": name, "photoTakenTime": {"timestamp": str(1500000000 + n * 3600)}}))
        total += size
        n += 1
print(f"part: {n} pictures, {total >> 20} MB")
PY
}
make_part "$tmp/src/large" "$mb" 2048 6144
pictures=$(unzip -Z1 "$tmp/src/large"/*.zip | grep -c '\.jpg$')
make_part "$tmp/src/small" "$((pictures * 100 / 1024 + 1))" 80 120
export work=$tmp/work cli

# Each run writes the part's gigabytes into new files, and the state the last run left decides more than
# the program does on a virtual machine like ours (the same run took from 1.3 s to 11 s here, plain `dd` of
# 2 GB from 0.4 s to 7.6 s): removing the last run's files made the next run's file creations slower (ext4
# looks past inodes freed moments ago, which costs the contender that creates more files more), and memory
# freed a while before a run costs the run more to take back. The last run's files are emptied and kept
# (their space freed, no inode freed); the rest is noise that only many rounds and the small part see past.
runs=0
bench_before() {
  if [ -d "$work" ]; then
    rm -f "$work"/*.zip # the part's second name only
    find "$work" -type f -exec truncate -s 0 {} +
    runs=$((runs + 1))
    mv "$work" "$tmp/emptied-$runs"
  fi
  mkdir -p "$work"
  case $1 in *-small) ln "$tmp/src/small"/*.zip "$work"/ ;; *) ln "$tmp/src/large"/*.zip "$work"/ ;; esac
  cat "$work"/*.zip >/dev/null
  sync
}
with_detection() { "$cli" unpack --validate 1 --skip-existing --delete none "$work" >/dev/null; }
without_detection() { "$cli" unpack --validate 1 --skip-existing --delete none --no-export-detection "$work" >/dev/null; }
bench_after() { # every picture written, and dated only with detection
  local dated
  dated=$(find "$work" -name '*.jpg' -newermt 2020-01-01 | wc -l)
  case $1 in
    on*) [ -d "$work/Takeout 2024-06-01" ] && [ "$dated" -eq 0 ] || echo "warning: with detection: $dated pictures undated" ;;
    off*) [ ! -e "$work/Takeout 2024-06-01" ] || echo "warning: without detection: the export's folder exists" ;;
  esac
}

bench_contender on "zelvano-cli unpack (export detection)" with_detection
bench_contender off "zelvano-cli unpack --no-export-detection" without_detection
bench_contender on-small "the same, pictures of about 100 KB" with_detection
bench_contender off-small "the same, --no-export-detection" without_detection
bench_rounds
bench_table
bench_ratio "with / without export detection" on off "<= 1.05"
bench_ratio "the same, pictures of about 100 KB" on-small off-small
