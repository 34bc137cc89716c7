#!/usr/bin/env bash
# Archive access throughput: listing (entries per second) over a tree of many ZIP and RAR archives, and
# extraction (MB per second written) of stored and deflated ZIP entries and of RAR entries, each beside
# unzip and unrar doing the same work on the same files in the same run; with 7z installed, also of BZip2 and
# LZMA ZIP entries (written by 7z) beside `7z x`, and of a solid 7z photo archive (the unpack of zelvano-cli)
# beside `7z x`.
#   bench_archive.sh BUILD_DIR
# Sizes (environment): BENCH_LIST_ARCHIVES (per format, 300), BENCH_LIST_ENTRIES (per archive, 40),
# BENCH_EXTRACT_ARCHIVES (per set, 4), BENCH_EXTRACT_MB (per archive, 16).
# The tools run once per archive, as a script would call them, so their times include starting them.
set -euo pipefail

build=${1:-build}
prog=$build/bench/bench_archive
if [ ! -x "$prog" ]; then
  echo "bench_archive: $prog is not built (cmake --build $build)" >&2
  exit 1
fi
for tool in zip rar unzip unrar; do
  command -v "$tool" >/dev/null || { echo "bench_archive: $tool is missing (make deps)" >&2; exit 1; }
done
export LC_ALL=C.UTF-8

list_archives=${BENCH_LIST_ARCHIVES:-300}
list_entries=${BENCH_LIST_ENTRIES:-40}
extract_archives=${BENCH_EXTRACT_ARCHIVES:-4}
extract_mb=${BENCH_EXTRACT_MB:-16}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

now() { date +%s.%N; }
# rate COUNT SECONDS [DIVISOR]: COUNT/DIVISOR per second
rate() { awk -v c="$1" -v s="$2" -v d="${3:-1}" 'BEGIN { printf "%.1f", (s > 0) ? c / d / s : 0 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "n/a" }'; }
field() { awk -v f="$1" -v n="$2" '$1 == f { print $n }'; }

# ---- the listing tree: a few distinct archives of small pictures, copied through nested folders
echo "Generating ${list_archives} ZIP and ${list_archives} RAR archives of ${list_entries} entries each..."
for v in 1 2 3 4; do
  src=$tmp/gen/list$v
  mkdir -p "$src"
  for i in $(seq 1 "$list_entries"); do
    head -c $((300 + (i * 37 + v * 11) % 700)) /dev/urandom > "$src/IMG_$(printf '%04d' "$i")_$v.jpg"
  done
  (cd "$src" && zip -q -X -r "$tmp/gen/list$v.zip" . && rar a -idq -y -m0 "$tmp/gen/list$v.rar" .)
done
for i in $(seq 1 "$list_archives"); do
  dir=$tmp/list/folder$((i % 17))/sub$((i % 5))
  mkdir -p "$dir"
  cp "$tmp/gen/list$((i % 4 + 1)).zip" "$dir/album$i.zip"
  cp "$tmp/gen/list$((i % 4 + 1)).rar" "$dir/album$i.rar"
done

# ---- the extraction sets: half incompressible bytes (like JPEG data), half text that deflates
echo "Generating extraction sets: ${extract_archives} archives of ${extract_mb} MB per set..."
src=$tmp/gen/big
mkdir -p "$src"
for i in $(seq 1 "$extract_mb"); do
  if [ $((i % 2)) -eq 0 ]; then
    head -c 1048576 /dev/urandom > "$src/photo$i.jpg"
  else
    head -c 775000 /dev/urandom | base64 -w 76 > "$src/scan$i.tif" # about 1 MB
  fi
done
(cd "$src" && zip -q -X -0 "$tmp/gen/stored.zip" ./* && zip -q -X -6 "$tmp/gen/deflated.zip" ./* \
  && rar a -idq -y "$tmp/gen/packed.rar" ./*)
# The other ZIP methods as 7-Zip writes them (it writes no XZ or Zstandard ZIP entries).
methods=""
if command -v 7z >/dev/null; then
  (cd "$src" && 7z a -bd -tzip -mm=BZip2 "$tmp/gen/bzip2.zip" ./* >/dev/null \
    && 7z a -bd -tzip -mm=LZMA "$tmp/gen/lzma.zip" ./* >/dev/null)
  methods="bzip2 lzma"
else
  echo "7z is missing: the BZip2 and LZMA rows are left out"
fi
for set in stored deflated packed $methods; do
  ext=zip
  [ $set = packed ] && ext=rar
  mkdir -p "$tmp/extract/$set"
  for i in $(seq 1 "$extract_archives"); do cp "$tmp/gen/$set.$ext" "$tmp/extract/$set/set$i.$ext"; done
done
cat "$tmp"/list/*/*/* "$tmp"/extract/*/* > /dev/null # warm the page cache for both sides

# ---- listing
ours=$("$prog" list "$tmp/list")
zip_entries=$(echo "$ours" | field zip 2)
zip_secs=$(echo "$ours" | field zip 3)
rar_entries=$(echo "$ours" | field rar 2)
rar_secs=$(echo "$ours" | field rar 3)

t0=$(now)
unzip_entries=$(find "$tmp/list" -name '*.zip' -print0 | sort -z | while IFS= read -r -d '' f; do unzip -Z1 "$f"; done | wc -l)
t1=$(now)
unzip_secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
t0=$(now)
unrar_entries=$(find "$tmp/list" -name '*.rar' -print0 | sort -z | while IFS= read -r -d '' f; do unrar lb -p- "$f"; done | wc -l)
t1=$(now)
unrar_secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
[ "$zip_entries" -eq "$unzip_entries" ] || echo "warning: ZIP entry counts differ ($zip_entries vs $unzip_entries)"
[ "$rar_entries" -eq "$unrar_entries" ] || echo "warning: RAR entry counts differ ($rar_entries vs $unrar_entries)"

ours_zip=$(rate "$zip_entries" "$zip_secs")
tool_zip=$(rate "$unzip_entries" "$unzip_secs")
ours_rar=$(rate "$rar_entries" "$rar_secs")
tool_rar=$(rate "$unrar_entries" "$unrar_secs")
echo
echo "Listing: entries per second (${list_archives} archives per format)"
printf '  %-13s zelvano %12s   %-12s %12s   ratio %s\n' ZIP "$ours_zip" "unzip -Z1" "$tool_zip" "$(ratio "$ours_zip" "$tool_zip")"
printf '  %-13s zelvano %12s   %-12s %12s   ratio %s\n' RAR "$ours_rar" "unrar lb" "$tool_rar" "$(ratio "$ours_rar" "$tool_rar")"

# ---- extraction
echo
echo "Extraction: MB per second written (${extract_archives} x ${extract_mb} MB per set)"
for set in stored deflated packed $methods; do
  case $set in
    packed) fmt=rar; label="RAR"; tool="unrar x -o+" ;;
    stored | deflated) fmt=zip; label="ZIP $set"; tool="unzip -o" ;;
    *) fmt=zip; label="ZIP $set"; tool="7z x" ;;
  esac
  ours_out=$tmp/out/ours-$set
  tool_out=$tmp/out/tool-$set
  rm -rf "$tmp/out"
  mkdir -p "$ours_out" "$tool_out"
  ours=$("$prog" extract $fmt "$tmp/extract/$set" "$ours_out")
  bytes=$(echo "$ours" | field $fmt 2)
  secs=$(echo "$ours" | field $fmt 3)

  t0=$(now)
  for f in "$tmp/extract/$set"/*.$fmt; do
    name=$(basename "$f" .$fmt)
    if [ "$tool" = "7z x" ]; then
      7z x -y -bd -o"$tool_out/$name" "$f" >/dev/null
    elif [ $fmt = zip ]; then
      unzip -o -q "$f" -d "$tool_out/$name"
    else
      mkdir -p "$tool_out/$name"
      unrar x -o+ -idq -p- "$f" "$tool_out/$name/"
    fi
  done
  t1=$(now)
  tool_secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  tool_bytes=$(find "$tool_out" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  diff -rq "$ours_out" "$tool_out" > /dev/null || echo "warning: $label output differs from $tool's"

  ours_rate=$(rate "$bytes" "$secs" 1048576)
  tool_rate=$(rate "$tool_bytes" "$tool_secs" 1048576)
  printf '  %-13s zelvano %12s   %-12s %12s   ratio %s\n' "$label" "$ours_rate" "$tool" "$tool_rate" "$(ratio "$ours_rate" "$tool_rate")"
done

# ---- a 7z photo archive: the whole unpack of zelvano-cli (validation at level 2, nothing deleted) beside
# `7z x` on the same archives; 7z archives are solid, so both read each archive in one pass
cli=$build/src/cli/zelvano-cli
if command -v 7z >/dev/null && [ -x "$cli" ]; then
  rm -rf "$tmp/out" "$tmp/extract"
  (cd "$src" && 7z a -bd -m0=lzma2 -ms=on "$tmp/gen/photos.7z" ./photo*.jpg >/dev/null)
  mkdir -p "$tmp/sevenz" "$tmp/out/tool-7z"
  for i in $(seq 1 "$extract_archives"); do cp "$tmp/gen/photos.7z" "$tmp/sevenz/set$i.7z"; done
  cat "$tmp"/sevenz/* > /dev/null
  t0=$(now)
  HOME=$tmp/home "$cli" unpack --mode folder --validate 2 --delete none "$tmp/sevenz" >/dev/null
  t1=$(now)
  ours_secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  ours_bytes=$(find "$tmp/sevenz" -type f ! -name '*.7z' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  t0=$(now)
  for f in "$tmp"/sevenz/*.7z; do 7z x -y -bd -o"$tmp/out/tool-7z/$(basename "$f" .7z)" "$f" >/dev/null; done
  t1=$(now)
  tool_secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  tool_bytes=$(find "$tmp/out/tool-7z" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  [ "$ours_bytes" -eq "$tool_bytes" ] || echo "warning: 7z output sizes differ ($ours_bytes vs $tool_bytes)"
  ours_rate=$(rate "$ours_bytes" "$ours_secs" 1048576)
  tool_rate=$(rate "$tool_bytes" "$tool_secs" 1048576)
  printf '  %-13s zelvano %12s   %-12s %12s   ratio %s\n' "7z (unpack)" "$ours_rate" "7z x" "$tool_rate" "$(ratio "$ours_rate" "$tool_rate")"
else
  echo "  7z or zelvano-cli is missing: the 7z row is left out"
fi
