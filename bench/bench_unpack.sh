#!/usr/bin/env bash
# Unpack throughput: zelvano-cli unpack at validation levels 1 and 3 beside a find + unzip/unrar loop,
# 7z x per archive and cp of the same archives, on one generated tree of photo archives, in one run.
#   bench_unpack.sh BUILD_DIR
# Size (environment): BENCH_UNPACK_MB megabytes of JPEGs (300 by default; BENCH_LARGE=1 makes it 1600),
# BENCH_UNPACK_PER_ARCHIVE pictures per archive (20).
# BENCH_COMPARE_CLI=PATH: also time another zelvano-cli (an earlier build) at level 1 on the same tree,
# alternating with this one BENCH_COMPARE_ROUNDS times (3), and print both side by side.
# The tree mixes ZIP stored, ZIP deflated, RAR5 stored, RAR5 compressed and RAR4 stored archives, each
# holding real JPEGs in a top folder named like the archive. Every contender extracts into a fresh copy
# of the tree (hard links to the same archives), next to each archive, with the page cache warm.
set -euo pipefail

build=${1:-build}
cli=$build/src/cli/zelvano-cli
mksamples=$build/tools/zelvano-mksamples
helper=$build/bench/bench_unpack
for prog in "$cli" "$mksamples" "$helper"; do
  [ -x "$prog" ] || { echo "bench_unpack: $prog is not built (cmake --build $build)" >&2; exit 1; }
done
for tool in zip rar unzip unrar 7z; do
  command -v "$tool" >/dev/null || { echo "bench_unpack: $tool is missing (make deps)" >&2; exit 1; }
done
export LC_ALL=C.UTF-8

mb=${BENCH_UNPACK_MB:-300}
[ "${BENCH_LARGE:-0}" = 1 ] && mb=${BENCH_UNPACK_MB:-1600}
per_archive=${BENCH_UNPACK_PER_ARCHIVE:-20}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zelvano-bench-unpack.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
# The program's settings live in the benchmark's folder, not in the user's home.
export XDG_DATA_HOME=$tmp/data

now() { date +%s.%N; }
# CPU seconds (user + system) of every child this shell has waited for: the machine is shared, so beside
# the wall time each contender's CPU time shows what it costs whatever the others run meanwhile.
# Sets cpu_now; never call it in a subshell, which would count only its own children.
cpu() {
  times > "$tmp/times"
  cpu_now=$(awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%.3f", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$tmp/times")
}
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mbps() { awk -v n="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.0f", n / 1048576 / s; else print "n/a" }'; }

# ---- the pictures: a pool of distinct JPEGs, reused under distinct names
echo "Generating pictures..."
pool=$tmp/pool
"$mksamples" "$pool" 60 --width 1600 --height 1200 --seed 7 --prefix pool
pool_files=("$pool"/*.jpg)
pool_bytes=$(cat "${pool_files[@]}" | wc -c)
avg=$((pool_bytes / ${#pool_files[@]}))
pictures=$(((mb * 1048576 + avg - 1) / avg))
archives=$(((pictures + per_archive - 1) / per_archive))

# ---- the archives
kinds=(zip-stored zip-deflated rar5-stored rar5-compressed rar4-stored)
echo "Generating $archives archives of $per_archive pictures (${kinds[*]})..."
arch=$tmp/archives
stage=$tmp/stage
picture_bytes=0
n=0
for a in $(seq 1 "$archives"); do
  kind=${kinds[$((a % ${#kinds[@]}))]}
  name=album_$(printf '%04d' "$a")
  folder=$arch/set$((a % 8))
  mkdir -p "$stage/$name" "$folder"
  for p in $(seq 1 "$per_archive"); do
    src=${pool_files[$((n % ${#pool_files[@]}))]}
    ln "$src" "$stage/$name/IMG_$(printf '%05d' "$n").jpg"
    picture_bytes=$((picture_bytes + $(stat -c %s "$src")))
    n=$((n + 1))
  done
  case $kind in
    zip-stored) (cd "$stage" && zip -q -X -0 -r "$folder/$name.zip" "$name") ;;
    zip-deflated) (cd "$stage" && zip -q -X -6 -r "$folder/$name.zip" "$name") ;;
    rar5-stored) (cd "$stage" && rar a -idq -y -ma5 -m0 "$folder/$name.rar" "$name") ;;
    rar5-compressed) (cd "$stage" && rar a -idq -y -ma5 -m3 "$folder/$name.rar" "$name") ;;
    rar4-stored) "$helper" rar4 "$folder/$name.rar" "$stage" "$stage/$name"/*.jpg ;;
  esac
  rm -rf "${stage:?}/$name"
done
pictures=$n
archive_bytes=$(find "$arch" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')

# ---- the contenders, each on a fresh copy of the tree
work=$tmp/work
fresh() {
  rm -rf "$work" "$tmp/copy"
  sync
  cp -al "$arch" "$work"
  find "$arch" -type f -exec cat {} + > /dev/null # warm the page cache
}
count_pictures() { find "$1" -type f -name '*.jpg' | wc -l; }
check() { # check LABEL: every picture must be there
  local got
  got=$(count_pictures "$work")
  [ "$got" -eq "$pictures" ] || echo "warning: $1 wrote $got of $pictures pictures"
}

declare -A secs rss cpus
start() { cpu; c0=$cpu_now; t0=$(now); }
stop() { # stop KEY
  t1=$(now)
  secs[$1]=$(elapsed "$t0" "$t1")
  cpu
  cpus[$1]=$(elapsed "$c0" "$cpu_now")
}
run_cli() { # run_cli LEVEL
  fresh
  start
  /usr/bin/time -f %M -o "$tmp/rss" "$cli" unpack --mode here --no-rename --skip-existing --delete none \
    --validate "$1" --json "$work" > "$tmp/cli.json" || echo "warning: zelvano-cli unpack exit code $?"
  stop "level$1"
  rss[level$1]=$(($(cat "$tmp/rss") / 1024))
  grep -q '"errors": 0,' "$tmp/cli.json" || echo "warning: zelvano-cli reported errors at level $1"
  check "zelvano-cli level $1"
}

run_cli 1
run_cli 3

if [ -n "${BENCH_COMPARE_CLI:-}" ]; then
  # Alternate the two builds so that a change in the machine's load hits both alike.
  for round in $(seq 1 "${BENCH_COMPARE_ROUNDS:-3}"); do
    for who in this other; do
      prog=$cli
      [ "$who" = other ] && prog=$BENCH_COMPARE_CLI
      fresh
      start
      "$prog" unpack --mode here --no-rename --skip-existing --delete none --validate 1 --json "$work" > /dev/null ||
        echo "warning: $prog exit code $?"
      stop "cmp_${who}_$round"
      check "$who level 1"
    done
  done
fi

fresh
start
while IFS= read -r -d '' f; do
  case $f in
    *.zip) unzip -o -q "$f" -d "$(dirname "$f")" || echo "warning: unzip failed on $f" ;;
    *.rar) unrar x -o+ -idq -p- "$f" "$(dirname "$f")/" || echo "warning: unrar failed on $f" ;;
  esac
done < <(find "$work" -type f \( -name '*.zip' -o -name '*.rar' \) -print0 | sort -z)
stop loop
check "the unzip/unrar loop"

fresh
start
while IFS= read -r -d '' f; do
  7z x -y -aoa -bso0 -bsp0 "$f" -o"$(dirname "$f")" || echo "warning: 7z x failed on $f"
done < <(find "$work" -type f \( -name '*.zip' -o -name '*.rar' \) -print0 | sort -z)
stop 7z
check "7z x"

fresh
start
cp -r "$arch" "$tmp/copy"
stop cp
rm -rf "$work" "$tmp/copy"

# ---- results
echo
printf 'Tree: %d archives, %d pictures, %.0f MB of JPEGs in %.0f MB of archives (%s)\n' "$archives" "$pictures" \
  "$(awk -v b="$picture_bytes" 'BEGIN { print b / 1048576 }')" "$(awk -v b="$archive_bytes" 'BEGIN { print b / 1048576 }')" \
  "${kinds[*]}"
echo "RAR4 compressed archives are not in the tree: no encoder for them is at hand (rar 7 writes RAR5 only)."
printf '  %-34s %9s %9s %9s\n' "" seconds "MB/s" "CPU s"
line() { printf '  %-34s %9s %9s %9s\n' "$2" "${secs[$1]}" "$(mbps "$3" "${secs[$1]}")" "${cpus[$1]}"; }
line level1 "zelvano-cli unpack, level 1" "$picture_bytes"
line level3 "zelvano-cli unpack, level 3" "$picture_bytes"
line loop "find + unzip -o / unrar x -o+" "$picture_bytes"
line 7z "7z x per archive" "$picture_bytes"
line cp "cp of the archives" "$archive_bytes"
echo
echo "Time ratios against the goals:"
printf '  level 1 / 7z      %6s   (goal: at most 1.00)\n' "$(ratio "${secs[level1]}" "${secs[7z]}")"
printf '  level 1 / loop    %6s   (7z was about 0.65 of the loop)\n' "$(ratio "${secs[level1]}" "${secs[loop]}")"
printf '  level 3 / loop    %6s   (goal: at most 1.30)\n' "$(ratio "${secs[level3]}" "${secs[loop]}")"
printf '  level 1 / cp      %6s\n' "$(ratio "${secs[level1]}" "${secs[cp]}")"
echo "CPU time ratios (level 3 spreads its picture tests over the cores: its wall time can approach half"
echo "its CPU time only when the cores are free; load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)):"
printf '  level 3 / loop    %6s   (CPU)\n' "$(ratio "${cpus[level3]}" "${cpus[loop]}")"
printf '  level 1 / 7z      %6s   (CPU)\n' "$(ratio "${cpus[level1]}" "${cpus[7z]}")"
echo "Peak memory of zelvano-cli: ${rss[level1]} MB at level 1, ${rss[level3]} MB at level 3"
if [ -n "${BENCH_COMPARE_CLI:-}" ]; then
  echo
  echo "Level 1, this build beside $BENCH_COMPARE_CLI (seconds / CPU seconds per round):"
  for round in $(seq 1 "${BENCH_COMPARE_ROUNDS:-3}"); do
    printf '  round %d   this %6s / %6s   other %6s / %6s   ratio %s (CPU %s)\n' "$round" \
      "${secs[cmp_this_$round]}" "${cpus[cmp_this_$round]}" "${secs[cmp_other_$round]}" "${cpus[cmp_other_$round]}" \
      "$(ratio "${secs[cmp_this_$round]}" "${secs[cmp_other_$round]}")" \
      "$(ratio "${cpus[cmp_this_$round]}" "${cpus[cmp_other_$round]}")"
  done
fi
