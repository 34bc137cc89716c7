#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# The picture check (LoadsAsPicture) on large JPEGs: time and peak memory, in interleaved rounds, and the
# three ways of a complete entropy decode timed side by side on real photos.
#   bench_picturecheck.sh BUILD_DIR
# The cases: a 3 GB JPEG padded with comment segments (memory must stay flat), a 50-megapixel progressive
# JPEG with full-resolution colour (the largest the decoder's memory budget is meant to pass), and the
# same progressive JPEG without its end marker (the marker walk rejects it before decoding: its time is
# the walk's). Environment: BENCH_PICTURE_GB, the padded JPEG's size (3; less, with a message, when the
# temporary folder's disk is short); BENCH_COMPARE_BUILD=DIR, another build folder (an earlier commit, with
# bench/bench_picturecheck built) run in the same rounds; BENCH_DECODE_PHOTOS photos (20) of
# BENCH_DECODE_WIDTH x BENCH_DECODE_HEIGHT (4000 x 3000) for the decoder comparison, BENCH_DECODE_ROUNDS
# rounds (7). BENCH_ROUNDS, BENCH_RESULTS_DIR: see lib.sh.
set -euo pipefail

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"

helper=$build/bench/bench_picturecheck
mksamples=$build/tools/zelvano-mksamples
for prog in "$helper" "$mksamples"; do
  [ -x "$prog" ] || { echo "bench_picturecheck: $prog is not built (cmake --build $build)" >&2; exit 1; }
done
other=
if [ -n "${BENCH_COMPARE_BUILD:-}" ]; then
  other=$BENCH_COMPARE_BUILD/bench/bench_picturecheck
  [ -x "$other" ] || { echo "bench_picturecheck: $other (BENCH_COMPARE_BUILD) is not built" >&2; exit 1; }
fi
export LC_ALL=C.UTF-8

bench_init picturecheck "$build"
tmp=$BENCH_TMP

# ---- the pictures
echo "Generating pictures..."
"$mksamples" "$tmp/source" 1 --width 4000 --height 3000 --seed 5 --prefix source > /dev/null
source_jpeg=$(echo "$tmp"/source/*.jpg)

# The padded JPEG must fit beside everything else with a gigabyte to spare.
gb=${BENCH_PICTURE_GB:-3}
want=$(bench_calc "printf \"%.0f\", $gb * 1073741824")
free=$(df -P -B1 "$tmp" | awk 'NR == 2 { print $4 }')
room=$((free - 1073741824 - 200 * 1048576))
if [ "$want" -gt "$room" ]; then
  if [ "$room" -lt 268435456 ]; then
    echo "bench_picturecheck: only $((free / 1048576)) MB free in $tmp: no room for a padded JPEG" >&2
    exit 1
  fi
  echo "Only $((free / 1048576)) MB free in $tmp: the padded JPEG shrinks from $gb GB to $((room / 1048576)) MB"
  want=$room
fi
padded=$tmp/padded.jpg
"$helper" pad "$padded" "$source_jpeg" "$want"
progressive=$tmp/progressive-50mp.jpg
"$helper" progressive "$progressive" 8660 5774
cut=$tmp/progressive-50mp-cut.jpg
head -c -2 "$progressive" > "$cut"
printf 'padded JPEG: %.0f MB, a 4000 x 3000 photo after %d comment segments\n' \
  "$(bench_calc "print $(stat -c %s "$padded") / 1048576")" "$((want / 65537 + 1))"
printf 'progressive JPEG: 8660 x 5774 (50 megapixels), colour at full resolution, %.1f MB\n' \
  "$(bench_calc "print $(stat -c %s "$progressive") / 1048576")"

# ---- time and peak memory; every run prints its own verdict and in-process time
bench_contender padded "padded JPEG, this build" "$helper" check "$padded"
[ -z "$other" ] || bench_contender padded_old "padded JPEG, compared build" "$other" check "$padded"
bench_contender progressive "progressive 50 MP, this build" "$helper" check "$progressive"
[ -z "$other" ] || bench_contender progressive_old "progressive 50 MP, compared build" "$other" check "$progressive"
# Fails by design (exit code 3): no end marker.
bench_contender cut "progressive 50 MP cut, this build" "$helper" check "$cut"
[ -z "$other" ] || bench_contender cut_old "progressive 50 MP cut, compared build" "$other" check "$cut"
BENCH_BYTES[padded]=$(stat -c %s "$padded")
BENCH_BYTES[cut]=$(stat -c %s "$cut")
bench_rounds
bench_table
echo "(the cut JPEG fails on purpose; its time is process start, the marker walk and the rejection)"
if [ -n "$other" ]; then
  echo
  bench_ratio "padded JPEG: this build / compared" padded padded_old
  bench_ratio "progressive 50 MP: this build / compared" progressive progressive_old
  bench_ratio "cut progressive 50 MP: this build / compared" cut cut_old
fi

# ---- the three complete entropy decodes
photos=${BENCH_DECODE_PHOTOS:-20}
width=${BENCH_DECODE_WIDTH:-4000}
height=${BENCH_DECODE_HEIGHT:-3000}
echo
echo "Generating $photos photos of $width x $height for the decoder comparison..."
rm -f "$padded" # the disk space back before more pictures are written
"$mksamples" "$tmp/photos" "$photos" --width "$width" --height "$height" --seed 9 > /dev/null
echo "Baseline photos (as cameras write them):"
"$helper" decoders "${BENCH_DECODE_ROUNDS:-7}" "$tmp"/photos/*.jpg
for i in 1 2 3 4; do "$helper" progressive "$tmp/progressive-$i.jpg" "$width" "$height"; done
echo "Progressive pictures (full-resolution colour):"
"$helper" decoders "${BENCH_DECODE_ROUNDS:-7}" "$tmp"/progressive-?.jpg
