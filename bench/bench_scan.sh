#!/usr/bin/env bash
# Scan speed of `zelvano-cli scan --json`, in interleaved rounds (the order rotated each round), medians of
# the per-round ratios, CPU seconds beside wall seconds:
#   - linearity: one scan of 10 x N archives against 10 scans of N archives each (the same files: the big
#     tree is the ten small ones side by side); a linear scan gives 1.0;
#   - against the usual tools: a scan of M archives against a loop of `unzip -Z1` / `unrar lb` over the same
#     archives, with a warm cache;
#   - peak memory of the whole-tree scan and of one ZIP of 60,000 entries.
#   bench_scan.sh BUILD_DIR [BASELINE_BUILD_DIR]
# With a baseline build, its zelvano-cli takes part in the same rounds (before/after at the same load).
# Environment: SCAN_PART (4000 archives per part, 10 parts), SCAN_LOOP (3000 archives for the loop),
# SCAN_ROUNDS (3, at least 3), SCAN_RESULTS (the results file; default bench/results/<date>-<time>-scan.txt).
# The default run takes about three minutes on two idle cores (twice that with a baseline).
set -euo pipefail

build=${1:-build}
baseline=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
cli=$build/src/cli/zelvano-cli
[ -x "$cli" ] || { echo "bench_scan: $cli not built" >&2; exit 1; }
old_cli=""
if [ -n "$baseline" ]; then
  old_cli=$baseline/src/cli/zelvano-cli
  [ -x "$old_cli" ] || { echo "bench_scan: $old_cli not built" >&2; exit 1; }
fi
for tool in rar unrar unzip python3; do
  command -v "$tool" >/dev/null || { echo "bench_scan: $tool is missing" >&2; exit 1; }
done

mkdir -p "$here/results"
results=${SCAN_RESULTS:-$here/results/$(date -u +%Y-%m-%d-%H%M)-scan.txt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

BENCH_DIR=$here python3 - "$cli" "$work" "$build/bench/bench_scan" "$old_cli" <<'PY' 2>&1 | tee "$results"
import io, json, os, random, shutil, statistics, subprocess, sys, time, zipfile

cli, work, steps, old_cli = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
part_size = int(os.environ.get("SCAN_PART", "4000"))
loop_size = int(os.environ.get("SCAN_LOOP", "3000"))
rounds = max(3, int(os.environ.get("SCAN_ROUNDS", "3")))
parts = 10
rng = random.Random(4)
tree = os.path.join(work, "tree")
env = dict(os.environ, HOME=os.path.join(work, "home"), XDG_DATA_HOME=os.path.join(work, "home", "share"),
           XDG_CONFIG_HOME=os.path.join(work, "home", "config"))

def load():
    return "load average %.2f %.2f %.2f" % os.getloadavg()

print(f"bench_scan  {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}  {os.cpu_count()} cores  {load()}")
print(f"zelvano-cli: {cli}" + (f"\nbaseline:    {old_cli}" if old_cli else ""))

# ---- the tree: ten parts of part_size archives (one RAR in six), other files and deep folders --------------
t0 = time.perf_counter()

sys.path.insert(0, os.environ["BENCH_DIR"])
from scancorpus import templates  # noqa: E402

zip_templates, rar_templates = templates(rng, work)

part_paths = []
for p in range(parts):
    root = os.path.join(tree, f"part{p}")
    folders = [os.path.join(root, *[f"d{rng.randint(0, 5)}_{i % 40}" for _ in range(rng.randint(1, 5))])
               for i in range(max(1, part_size // 10))]
    for f in folders:
        os.makedirs(f, exist_ok=True)
    paths = []
    for i in range(part_size):
        folder = rng.choice(folders)
        if i % 6 == 5:
            path = os.path.join(folder, f"archive_{i}.rar")
            data = rar_templates[i % len(rar_templates)]
        else:
            path = os.path.join(folder, f"archive_{i}.zip")
            data = zip_templates[i % len(zip_templates)]
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    for i in range(part_size):
        with open(os.path.join(rng.choice(folders), f"file_{i}.{rng.choice(['txt', 'jpg', 'dat'])}"), "wb") as f:
            f.write(b"x" * rng.randint(0, 64))
    part_paths.append(paths)
print(f"tree: {parts} parts of {part_size} archives (one in six RAR) and {part_size} other files each "
      f"(made in {time.perf_counter() - t0:.1f} s)")

# ---- measuring ---------------------------------------------------------------------------------------------
def run(cmd, **kwargs):
    """Runs one command; returns (wall s, CPU s, peak RSS KiB, stdout) of that process alone."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, **kwargs)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, out, proc.returncode

def scan(program, folder):
    wall, cpu, rss, out, code = run([program, "scan", "--json", folder])
    if code != 0:
        sys.exit(f"{program} scan failed with {code}")
    doc = json.loads(out)
    scan.last = doc
    return wall, cpu, rss, len(doc["archives"]) + len(doc["invalidArchives"]) + len(doc["skippedArchives"])

def scan_parts(program):
    wall = cpu = 0.0
    n = 0
    for p in range(parts):
        w, c, _, k = scan(program, os.path.join(tree, f"part{p}"))
        wall, cpu, n = wall + w, cpu + c, n + k
    return wall, cpu, n

def tool_loop(paths):
    before = os.times()
    start = time.perf_counter()
    for p in paths:
        cmd = ["unzip", "-Z1", p] if p.endswith(".zip") else ["unrar", "lb", p]
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    after = os.times()
    return (time.perf_counter() - start,
            (after.children_user - before.children_user) + (after.children_system - before.children_system))

# The loop's archives: the first loop_size archives of part 0 in a folder of their own (hard links), so the
# scan sees exactly the archives the loop lists.
loop_dir = os.path.join(work, "loop")
os.makedirs(loop_dir)
loop_paths = []
for i, p in enumerate((part_paths[0] * (1 + loop_size // max(1, part_size)))[:loop_size]):
    q = os.path.join(loop_dir, f"{i}_{os.path.basename(p)}")
    os.link(p, q)
    loop_paths.append(q)

programs = [("new", cli)] + ([("old", old_cli)] if old_cli else [])
def result(doc):
    """What a scan found, without its times."""
    return {k: v for k, v in doc.items() if k not in ("started", "finished", "elapsed")}

found = {}
for name, program in programs:  # warm the cache; both builds must find exactly the same
    scan(program, tree)
    found[name] = result(scan.last)
    scan(program, loop_dir)
if len(found) == 2:
    same = found["new"] == found["old"]
    print(f"whole tree: the two builds' scan documents are {'identical' if same else 'DIFFERENT'}")
tool_loop(loop_paths[:200])

rows = {name: {"whole": [], "parts": [], "ratio": [], "scan": [], "loop": [], "loop_ratio": [], "loop_cpu": []}
        for name, _ in programs}
for r in range(rounds):
    # Rotate the order of the contenders each round, so drift in the load does not favour one.
    jobs = []
    for name, program in programs:
        jobs.append(("whole", name, program))
        jobs.append(("parts", name, program))
        jobs.append(("scan", name, program))
    jobs.append(("loop", None, None))
    shift = r % len(jobs)
    jobs = jobs[shift:] + jobs[:shift]
    got = {}
    for kind, name, program in jobs:
        if kind == "whole":
            got[(kind, name)] = scan(program, tree)
        elif kind == "parts":
            got[(kind, name)] = scan_parts(program)
        elif kind == "scan":
            got[(kind, name)] = scan(program, loop_dir)
        else:
            got[(kind, name)] = tool_loop(loop_paths)
    loop_wall, loop_cpu = got[("loop", None)]
    print(f"round {r + 1}: {load()}; loop {loop_wall:.2f} s wall, {loop_cpu:.2f} s CPU")
    for name, _ in programs:
        ww, wc, _, wn = got[("whole", name)]
        pw, pc, pn = got[("parts", name)]
        sw, sc, _, sn = got[("scan", name)]
        row = rows[name]
        row["whole"].append((ww, wc))
        row["parts"].append((pw, pc))
        row["ratio"].append((ww / pw, wc / pc))
        row["scan"].append((sw, sc))
        row["loop_ratio"].append((sw / loop_wall, sc / loop_cpu))
        print(f"  {name}: whole {wn} archives {ww:.2f} s ({wc:.2f} CPU) | 10 parts {pn} archives {pw:.2f} s "
              f"({pc:.2f} CPU) | ratio {ww / pw:.2f} | scan of {sn} {sw:.3f} s ({sc:.3f} CPU) = 1/{loop_wall / sw:.1f} "
              f"of the loop")

def med(values, i):
    return statistics.median(v[i] for v in values)

print(f"medians of {rounds} rounds ({load()}):")
for name, _ in programs:
    row = rows[name]
    print(f"  {name}: scan of {parts} x {part_size} / {parts} scans of {part_size}: {med(row['ratio'], 0):.2f} wall, "
          f"{med(row['ratio'], 1):.2f} CPU (goal <= 1.1); whole {med(row['whole'], 0):.2f} s wall, "
          f"{med(row['whole'], 1):.2f} s CPU")
    print(f"  {name}: scan / unzip -Z1 + unrar lb loop, {loop_size} archives, warm: "
          f"1/{1 / med(row['loop_ratio'], 0):.1f} wall, 1/{1 / med(row['loop_ratio'], 1):.1f} CPU (goal 1/25); "
          f"scan {med(row['scan'], 0):.3f} s wall, {med(row['scan'], 1):.3f} s CPU")

# ---- memory: peak RSS of the whole tree and of one ZIP of 60,000 entries -----------------------------------
big = os.path.join(work, "big")
os.makedirs(big)
with zipfile.ZipFile(os.path.join(big, "huge.zip"), "w", zipfile.ZIP_STORED) as z:
    for i in range(60000):
        z.writestr(f"Folder {i % 7}/IMG_{i:05d}.jpg", b"")
for name, program in programs:
    whole_rss = scan(program, tree)[2]
    big_rss = scan(program, big)[2]
    print(f"  {name}: peak RSS, whole tree {whole_rss / 1024:.1f} MiB, one ZIP of 60,000 entries {big_rss / 1024:.1f} MiB")

# Where the time goes, step by step (when the step timer is built).
if os.access(steps, os.X_OK):
    print("steps (bench_scan, part 0):")
    sys.stdout.flush()
    subprocess.run([steps, os.path.join(tree, "part0")], env=env, check=False)
print(f"end: {load()}")
PY
echo "results: $results"
