# shellcheck shell=bash
# The shared machinery of the bench/bench_*.sh scripts: source it, never run it.
#
#   bench_init NAME [BUILD] prints the machine, the build and the load average, copies everything the
#                           script prints (stdout and stderr) into bench/results/<YYYY-MM-DD-HHMM>-NAME.txt,
#                           makes the temporary folder $BENCH_TMP and removes it at exit, printing the load
#                           again.
#   bench_contender KEY LABEL COMMAND [ARG...]
#                           one contender. COMMAND may be a shell function of the script: it then runs in a
#                           child bash (with `set -u`), so export the variables and functions it uses.
#   bench_rounds            runs every contender once per round, BENCH_ROUNDS rounds (3, never fewer),
#                           the order rotated by one each round so that a change in the machine's load
#                           hits every contender alike. A warm-up run of the first contender comes before
#                           (BENCH_WARMUP=0: none), so that no timed run is the first after the set-up.
#                           Each run is timed by GNU time: wall seconds, CPU seconds (user + system of the
#                           child and everything it waited for), peak resident memory.
#   bench_table             per contender: median wall, CPU and system seconds, cores busy (CPU / wall), the
#                           highest peak memory of its runs, MB/s when BENCH_BYTES[KEY] is set.
#   bench_builds_report FUNCTION [OTHER]
#                           a script's figures for this build and, with OTHER, for another build beside it.
#   bench_ratio LABEL NUM DEN [GOAL]
#                           the median of the per-round ratios NUM / DEN, wall and CPU, and each round's
#                           wall ratio. NUM and DEN are a KEY or a sum KEY+KEY (two runs of the same round).
#
# Hooks the script may define, run before and after each timed run and never timed themselves:
#   bench_before KEY        e.g. a fresh copy of the tree, the page cache warmed
#   bench_after KEY         e.g. check that every picture was written
#
# Environment: BENCH_ROUNDS (3), BENCH_WARMUP (1), BENCH_RESULTS_DIR (bench/results; empty: no results file).

BENCH_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BENCH_GNU_TIME=${BENCH_GNU_TIME:-/usr/bin/time}

declare -a BENCH_KEYS=()
declare -A BENCH_LABEL=() BENCH_CMD=() BENCH_BYTES=()
declare -A BENCH_WALL=() BENCH_CPU=() BENCH_SYS=() BENCH_RSS=() BENCH_STATUS=()
BENCH_ROUNDS_DONE=0

bench_load() { cut -d' ' -f1-3 /proc/loadavg; }

# Numbers are handled by awk: bash has integers only.
bench_calc() { awk "BEGIN { $1 }"; }

# bench_median VALUE...: the median, or "n/a" when no value is a number.
bench_median() {
  printf '%s\n' "$@" | awk '/^[0-9.]+$/ { v[n++] = $1 }
    END {
      if (n == 0) { print "n/a"; exit }
      for (i = 1; i < n; i++) for (j = i; j > 0 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
      if (n % 2) printf "%.2f\n", v[(n - 1) / 2]; else printf "%.2f\n", (v[n / 2 - 1] + v[n / 2]) / 2
    }'
}

# bench_div A B: A / B to two places, "n/a" when either is missing or B is zero.
bench_div() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    if (a ~ /^[0-9.]+$/ && b ~ /^[0-9.]+$/ && b > 0) printf "%.2f\n", a / b; else print "n/a"
  }'
}

bench_machine() {
  local model mem
  model=$(awk -F': *' '/^model name/ { print $2; exit }' /proc/cpuinfo)
  mem=$(awk '/^MemTotal/ { printf "%.1f GB", $2 / 1048576 }' /proc/meminfo)
  echo "machine: $(nproc) cores (nproc), ${model:-unknown model}, $mem of memory, $(uname -sr)"
}

bench_init() { # bench_init NAME [BUILD]
  BENCH_NAME=$1
  if [ ! -x "$BENCH_GNU_TIME" ] || ! "$BENCH_GNU_TIME" -f '%M' -o /dev/null true 2>/dev/null; then
    echo "bench_$BENCH_NAME: GNU time ($BENCH_GNU_TIME, Debian package time) is missing (make deps)" >&2
    exit 1
  fi
  local stamp dir commit
  stamp=$(date +%Y-%m-%d-%H%M)
  dir=${BENCH_RESULTS_DIR-$BENCH_LIB_DIR/results}
  BENCH_RESULTS_FILE=
  if [ -n "$dir" ]; then
    mkdir -p "$dir"
    BENCH_RESULTS_FILE=$dir/$stamp-$BENCH_NAME.txt
    local k=2
    while [ -e "$BENCH_RESULTS_FILE" ]; do BENCH_RESULTS_FILE=$dir/$stamp-$BENCH_NAME-$((k++)).txt; done
    exec 3>&1 4>&2
    exec > >(tee -a "$BENCH_RESULTS_FILE") 2>&1
    BENCH_TEE_PID=$!
  fi
  BENCH_TMP=$(mktemp -d "${TMPDIR:-/tmp}/zelvano-bench-$BENCH_NAME.XXXXXX")
  export BENCH_TMP # the contenders that are functions of the script run in a child bash
  trap bench_exit EXIT
  trap 'exit 130' INT TERM
  commit=$(git -C "$BENCH_LIB_DIR" rev-parse --short HEAD 2>/dev/null || echo unknown)
  if [ -n "$(git -C "$BENCH_LIB_DIR" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    commit="$commit (with uncommitted changes)"
  fi
  echo "bench $BENCH_NAME, $(date '+%Y-%m-%d %H:%M %Z'), commit $commit${2:+, build $(cd "$2" && pwd)}"
  bench_machine
  echo "load average at start: $(bench_load)"
}

bench_exit() {
  local status=$?
  trap - EXIT
  [ -n "${BENCH_TMP:-}" ] && rm -rf "$BENCH_TMP"
  echo "load average at the end: $(bench_load)"
  if [ -n "${BENCH_TEE_PID:-}" ]; then
    echo "results: $BENCH_RESULTS_FILE"
    exec 1>&3 2>&4
    wait "$BENCH_TEE_PID" 2>/dev/null || true
  fi
  exit "$status"
}

bench_contender() { # bench_contender KEY LABEL COMMAND [ARG...]
  local key=$1 label=$2
  shift 2
  BENCH_KEYS+=("$key")
  BENCH_LABEL[$key]=$label
  BENCH_CMD[$key]=$(printf '%q ' "$@")
}

# bench_measure ID COMMAND [ARG...]: one timed run; sets BENCH_WALL, BENCH_CPU, BENCH_SYS (its system
# part), BENCH_RSS (kB) and BENCH_STATUS for ID.
bench_measure() {
  local id=$1 out=$BENCH_TMP/.time t0 t1 status=0 u s m
  shift
  local -a cmd=("$@")
  if declare -F "$1" >/dev/null; then
    export -f "${1?}"
    cmd=(bash -c 'set -u; "$@"' bench "$@")
  fi
  t0=$(date +%s%N)
  "$BENCH_GNU_TIME" -f '%e %U %S %M' -o "$out" "${cmd[@]}" || status=$?
  t1=$(date +%s%N)
  # GNU time puts a line about the exit status before the figures when the command fails.
  read -r _ u s m < <(tail -n 1 "$out")
  BENCH_WALL[$id]=$(bench_calc "printf \"%.2f\", ($t1 - $t0) / 1e9")
  BENCH_CPU[$id]=$(bench_calc "printf \"%.2f\", $u + $s")
  # shellcheck disable=SC2034 # read through a name reference
  BENCH_SYS[$id]=$s
  BENCH_RSS[$id]=$m
  # shellcheck disable=SC2034 # read through a name reference
  BENCH_STATUS[$id]=$status
  [ "$status" -eq 0 ] || echo "warning: $id: exit code $status"
}

bench_rounds() {
  local rounds=${BENCH_ROUNDS:-3} n=${#BENCH_KEYS[@]} r i key
  [ "$rounds" -ge 3 ] 2>/dev/null || rounds=3
  BENCH_ROUNDS_DONE=$rounds
  if [ "${BENCH_WARMUP:-1}" != 0 ] && [ "$n" -gt 0 ]; then
    # The set-up (generating the tree) leaves the file system and the caches in a state no later run
    # meets again: the first timed run would be the odd one out.
    key=${BENCH_KEYS[0]}
    if declare -F bench_before >/dev/null; then bench_before "$key"; fi
    eval "bench_measure \"\$key,warmup\" ${BENCH_CMD[$key]}"
    echo "warm-up: ${BENCH_LABEL[$key]} ${BENCH_WALL[$key,warmup]} s (not counted)"
    if declare -F bench_after >/dev/null; then bench_after "$key"; fi
  fi
  for ((r = 1; r <= rounds; r++)); do
    echo "round $r of $rounds (load average $(bench_load))"
    for ((i = 0; i < n; i++)); do
      key=${BENCH_KEYS[$(((i + r - 1) % n))]}
      if declare -F bench_before >/dev/null; then bench_before "$key"; fi
      # shellcheck disable=SC2086 # BENCH_CMD holds the words quoted by printf %q
      eval "bench_measure \"\$key,\$r\" ${BENCH_CMD[$key]}"
      printf '  %-44s %8s s %8s CPU s %7s MB\n' "${BENCH_LABEL[$key]}" "${BENCH_WALL[$key,$r]}" \
        "${BENCH_CPU[$key,$r]}" "$(bench_mb "${BENCH_RSS[$key,$r]}")"
      if declare -F bench_after >/dev/null; then bench_after "$key"; fi
    done
  done
}

# bench_values ARRAY KEY: the values of KEY's rounds in ARRAY, one per line.
bench_values() {
  local -n values=$1
  local r
  for ((r = 1; r <= BENCH_ROUNDS_DONE; r++)); do echo "${values[$2,$r]:-}"; done
}

bench_mb() { awk -v k="$1" 'BEGIN { printf "%.0f\n", k / 1024 }'; } # bench_mb KILOBYTES

bench_peak_mb() { # bench_peak_mb KEY: the highest peak memory of KEY's runs, in MB
  bench_mb "$(bench_values BENCH_RSS "$1" | awk '$1 > m { m = $1 } END { print m + 0 }')"
}

bench_median_of() { # bench_median_of ARRAY KEY
  local -a v
  mapfile -t v < <(bench_values "$1" "$2")
  bench_median "${v[@]}"
}

bench_table() {
  local key wall cpu sys mbs failed format='  %-44s %8s %8s %8s %6s %8s %6s%s\n'
  echo
  # shellcheck disable=SC2059 # one format for the heading and the rows
  printf "$format" "median of $BENCH_ROUNDS_DONE rounds" "wall s" "CPU s" "sys s" cores "peak MB" "MB/s" ""
  for key in "${BENCH_KEYS[@]}"; do
    wall=$(bench_median_of BENCH_WALL "$key")
    cpu=$(bench_median_of BENCH_CPU "$key")
    sys=$(bench_median_of BENCH_SYS "$key")
    mbs=
    if [ -n "${BENCH_BYTES[$key]:-}" ]; then
      mbs=$(bench_div "$(bench_calc "print ${BENCH_BYTES[$key]} / 1048576")" "$wall")
    fi
    failed=$(bench_values BENCH_STATUS "$key" | grep -cv '^0$' || true)
    if [ "$failed" -gt 0 ]; then failed="  ($failed runs failed)"; else failed=; fi
    # shellcheck disable=SC2059
    printf "$format" "${BENCH_LABEL[$key]}" "$wall" "$cpu" "$sys" "$(bench_div "$cpu" "$wall")" \
      "$(bench_peak_mb "$key")" "${mbs%.*}" "$failed"
  done
}

# bench_sum ARRAY TERMS ROUND: the value of TERMS (KEY or KEY+KEY...) in ROUND.
bench_sum() {
  local -n sums=$1
  local part total=0 IFS=+
  for part in $2; do
    [ -n "${sums[$part,$3]:-}" ] || { echo n/a; return; }
    total=$(bench_calc "print $total + ${sums[$part,$3]}")
  done
  echo "$total"
}

# bench_builds_report FUNCTION [OTHER]: FUNCTION LEVEL1 LEVEL3 prints a script's figures for the keys of one
# program at levels 1 and 3: this build's (level1 level3), then, when OTHER names another build's program,
# its own (other1 other3) and the ratios of this build to it at both levels.
bench_builds_report() {
  local figures=$1 other=${2:-}
  echo
  echo "Medians of per-round ratios, this build:"
  "$figures" level1 level3
  if [ -n "$other" ]; then
    echo
    echo "The same, $other:"
    "$figures" other1 other3
    echo
    echo "This build / $other:"
    bench_ratio "level 1" level1 other1
    bench_ratio "level 3" level3 other3
  fi
}

bench_ratio() { # bench_ratio LABEL NUM DEN [GOAL]
  local label=$1 num=$2 den=$3 goal=${4:-} r
  local -a walls=() cpus=()
  for ((r = 1; r <= BENCH_ROUNDS_DONE; r++)); do
    walls+=("$(bench_div "$(bench_sum BENCH_WALL "$num" "$r")" "$(bench_sum BENCH_WALL "$den" "$r")")")
    cpus+=("$(bench_div "$(bench_sum BENCH_CPU "$num" "$r")" "$(bench_sum BENCH_CPU "$den" "$r")")")
  done
  printf '  %-52s %6s wall %6s CPU   rounds %-16s %s\n' "$label" "$(bench_median "${walls[@]}")" \
    "$(bench_median "${cpus[@]}")" "${walls[*]}" "${goal:+goal $goal}"
}

# The extract corpus of bench_unpack.sh and bench_window_unpack.sh, in DIR/archives: MB megabytes of JPEGs (a
# pool of 60 distinct pictures made by MKSAMPLES, reused under distinct names) in ARCHIVES archives of five kinds
# (ZIP stored and deflated, RAR5 stored and compressed, RAR4 stored written by HELPER), in eight folders.
# Sets arch, pictures, picture_bytes and archive_bytes, and prints the tree's line.
bench_unpack_corpus() { # bench_unpack_corpus DIR MB ARCHIVES MKSAMPLES HELPER
  local dir=$1 mb=$2 archives=$3 mksamples=$4 helper=$5
  echo "Generating pictures..."
  local pool=$dir/pool
  "$mksamples" "$pool" 60 --width 1600 --height 1200 --seed 7 --prefix pool > /dev/null
  local pool_files=("$pool"/*.jpg) pool_sizes
  mapfile -t pool_sizes < <(stat -c %s "${pool_files[@]}")
  local pool_bytes avg per_archive
  pool_bytes=$(printf '%s\n' "${pool_sizes[@]}" | awk '{ s += $1 } END { print s }')
  avg=$((pool_bytes / ${#pool_files[@]}))
  pictures=$(((mb * 1048576 + avg - 1) / avg))
  per_archive=$(((pictures + archives - 1) / archives))

  local kinds=(zip-stored zip-deflated rar5-stored rar5-compressed rar4-stored)
  echo "Generating $archives archives of $per_archive pictures (${kinds[*]})..."
  arch=$dir/archives
  local stage=$dir/stage a p i n=0 kind name folder
  picture_bytes=0
  for ((a = 1; a <= archives; a++)); do
    kind=${kinds[$((a % ${#kinds[@]}))]}
    name=album_$(printf '%04d' "$a")
    folder=$arch/set$((a % 8))
    mkdir -p "$stage/$name" "$folder"
    for ((p = 0; p < per_archive; p++)); do
      i=$((n % ${#pool_files[@]}))
      ln "${pool_files[$i]}" "$stage/$name/IMG_$(printf '%05d' "$n").jpg"
      picture_bytes=$((picture_bytes + pool_sizes[i]))
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
  rm -rf "$pool" "$stage"
  archive_bytes=$(find "$arch" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  printf 'Tree: %d archives, %d pictures, %.0f MB of JPEGs in %.0f MB of archives (%s)\n' "$archives" "$pictures" \
    "$(bench_calc "print $picture_bytes / 1048576")" "$(bench_calc "print $archive_bytes / 1048576")" "${kinds[*]}"
}
