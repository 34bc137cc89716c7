#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Photo exports: one Google Takeout part (takeout-<timestamp>-001.zip: albums of JPEGs, each with its JSON
# sidecar, some named with the export's quirks) unpacked by zelvano-cli with export detection (sidecars
# written, dates set) and with --no-export-detection, in interleaved rounds. Goal: within 1.05 times.
#   bench_takeout.sh BUILD_DIR
# Corpus (environment): BENCH_TAKEOUT_MB (256) MB of pictures; BENCH_LARGE=1 a real-size part of 2048 MB.
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

# ---- the part: stored JPEG-like pictures of 2 to 6 MB (the check at level 1 reads no content) in 20
# albums, each with a sidecar; one in eight with the newer cut ".supplemental-metadata" name.
mkdir -p "$tmp/src"
python3 - "$tmp/src/takeout-20240601T101500Z-001.zip" "$mb" <<'PY'
import json, os, random, sys, zipfile
path, mb = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
blob = os.urandom(6 << 20)
total, n = 0, 0
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
    while total < mb << 20:
        size = rnd.randint(2 << 20, 6 << 20)
        album = f"Takeout/Google Photos/Album {n % 20:02d}/"
        name = f"IMG_{20190000 + n}.jpg"
        z.writestr(album + name, b"\xff\xd8\xff\xe0" + blob[: size - 6] + b"\xff\xd9")
        sidecar = name + (".supplemental-meta.json" if n % 8 == 0 else ".json")
        z.writestr(album + sidecar, json.dumps({"title": name, "photoTakenTime": {"timestamp": str(1500000000 + n * 3600)}}))
        total += size
        n += 1
print(f"part: {n} pictures, {total >> 20} MB")
PY
export src=$tmp/src work=$tmp/work cli

bench_before() { rm -rf "$work"; mkdir -p "$work"; ln "$src"/*.zip "$work"/; cat "$work"/*.zip >/dev/null; }
with_detection() { "$cli" unpack --validate 1 --skip-existing --delete none "$work" >/dev/null; }
without_detection() { "$cli" unpack --validate 1 --skip-existing --delete none --no-export-detection "$work" >/dev/null; }
bench_after() { # every picture written, and dated only with detection
  local dated
  dated=$(find "$work" -name '*.jpg' -newermt 2020-01-01 | wc -l)
  case $1 in
    on) [ -d "$work/Takeout 2024-06-01" ] && [ "$dated" -eq 0 ] || echo "warning: with detection: $dated pictures undated" ;;
    off) [ ! -e "$work/Takeout 2024-06-01" ] || echo "warning: without detection: the export's folder exists" ;;
  esac
}

bench_contender on "zelvano-cli unpack (export detection)" with_detection
bench_contender off "zelvano-cli unpack --no-export-detection" without_detection
bench_rounds
bench_table
bench_ratio "with / without export detection" on off "<= 1.05"
