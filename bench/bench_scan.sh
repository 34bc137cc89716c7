#!/usr/bin/env bash
# Scan speed: `zelvano-cli scan --json` over a generated tree of a few thousand small ZIP and RAR archives
# among tens of thousands of other files and deep folders, beside (in the same run) a loop of `unzip -Z1` and
# `unrar lb` over the same archives and a single-process Python walk that reads each ZIP's central directory.
#   bench_scan.sh BUILD_DIR
# Environment: SCAN_ZIPS (3000), SCAN_RARS (600), SCAN_OTHER (30000) to change the tree.
set -euo pipefail

build=${1:-build}
cli=$build/src/cli/zelvano-cli
[ -x "$cli" ] || { echo "bench_scan: $cli not built" >&2; exit 1; }
for tool in rar unrar unzip python3; do
  command -v "$tool" >/dev/null || { echo "bench_scan: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$cli" "$work" "$build/bench/bench_scan" <<'PY'
import io, json, os, random, resource, shutil, subprocess, sys, time, zipfile

cli, work, steps = sys.argv[1], sys.argv[2], sys.argv[3]
n_zips = int(os.environ.get("SCAN_ZIPS", "3000"))
n_rars = int(os.environ.get("SCAN_RARS", "600"))
n_other = int(os.environ.get("SCAN_OTHER", "30000"))
rng = random.Random(4)
tree = os.path.join(work, "tree")
# The program reads its settings file from the data folder: keep it away from the real one.
env = dict(os.environ, HOME=os.path.join(work, "home"), XDG_DATA_HOME=os.path.join(work, "home", "share"),
           XDG_CONFIG_HOME=os.path.join(work, "home", "config"))

# ---- the tree ------------------------------------------------------------------------------------------
t0 = time.perf_counter()

def folders(part, count):
    """count folders, nested up to seven levels below part."""
    out = []
    for i in range(count):
        depth = rng.randint(1, 7)
        out.append(os.path.join(tree, part, *[f"d{rng.randint(0, 6)}_{i % 50}" for _ in range(depth)]))
    for f in out:
        os.makedirs(f, exist_ok=True)
    return out

zip_folders = folders("zips", 900)
rar_folders = folders("rars", 300)

def zip_template(entries):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        album = f"Album {entries}/"
        z.writestr(album, b"")
        for i in range(entries):
            name = f"{album}IMG_{i:04d}.jpg" if i % 10 else f"{album}notes_{i}.txt"
            z.writestr(name, os.urandom(48) * 2)
    return buf.getvalue()

zip_templates = [zip_template(rng.choice([10, 20, 40, 80, 120, 200])) for _ in range(24)]
zip_paths = []
for i in range(n_zips):
    p = os.path.join(rng.choice(zip_folders), f"archive_{i}.zip")
    with open(p, "wb") as f:
        f.write(zip_templates[i % len(zip_templates)])
    zip_paths.append(p)

rar_templates = []
for entries in (20, 50, 100, 200):
    src = os.path.join(work, f"rarsrc{entries}")
    os.makedirs(os.path.join(src, "Trip"))
    for i in range(entries):
        with open(os.path.join(src, "Trip", f"P{i:04d}.jpg"), "wb") as f:
            f.write(os.urandom(64))
    out = os.path.join(work, f"t{entries}.rar")
    subprocess.run(["rar", "a", "-idq", "-m1", "-r", out, "Trip"], cwd=src, check=True)
    rar_templates.append(out)
rar_paths = []
for i in range(n_rars):
    p = os.path.join(rng.choice(rar_folders), f"archive_{i}.rar")
    shutil.copyfile(rar_templates[i % len(rar_templates)], p)
    rar_paths.append(p)

all_folders = zip_folders + rar_folders
for i in range(n_other):
    with open(os.path.join(rng.choice(all_folders), f"file_{i}.{rng.choice(['txt', 'jpg', 'dat', 'doc'])}"), "wb") as f:
        f.write(b"x" * rng.randint(0, 64))
gen = time.perf_counter() - t0
print(f"tree: {n_zips} ZIP and {n_rars} RAR archives, {n_other} other files, {len(all_folders)} folders "
      f"(made in {gen:.1f} s)")

# ---- the measurements ----------------------------------------------------------------------------------
# A child's peak RSS counts the memory of the process that started it (the kernel carries it over the
# exec), and this script holds the whole tree's bookkeeping: a small interpreter starts zelvano-cli instead
# and writes the peak of that child alone to a file.
SPAWN = ("import resource, subprocess, sys\n"
         "code = subprocess.call(sys.argv[2:])\n"
         "open(sys.argv[1], 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
         "sys.exit(code)\n")
rss_file = os.path.join(work, "rss.txt")

def run_cli(folder):
    """Runs zelvano-cli scan --json; returns (seconds, archives examined)."""
    start = time.perf_counter()
    proc = subprocess.Popen([cli, "scan", "--json", folder], stdout=subprocess.PIPE, env=env)
    out = proc.stdout.read()
    proc.wait()
    seconds = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"zelvano-cli failed with {proc.returncode}")
    doc = json.loads(out)
    return seconds, doc["totalFound"] + doc["skipped"]

def peak_rss(folder):
    """zelvano-cli scan --json's peak RSS in KiB, measured by a small interpreter (not timed)."""
    subprocess.run([sys.executable, "-c", SPAWN, rss_file, cli, "scan", "--json", folder],
                   stdout=subprocess.DEVNULL, env=env, check=True)
    with open(rss_file) as f:
        return int(f.read())

def best(fn, runs=3):
    results = [fn() for _ in range(runs)]
    return min(results, key=lambda r: r[0])

def command_loop(paths):
    start = time.perf_counter()
    for p in paths:
        cmd = ["unzip", "-Z1", p] if p.endswith(".zip") else ["unrar", "lb", p]
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start, len(paths)

def python_walk(folder):
    start = time.perf_counter()
    count = 0
    for dirpath, _, files in os.walk(folder):
        for name in files:
            if name.lower().endswith(".zip"):
                with zipfile.ZipFile(os.path.join(dirpath, name)) as z:
                    z.namelist()
                count += 1
    return time.perf_counter() - start, count

# The whole tree against the command loop. The loop runs on an even sample (every kth archive): it costs
# two processes per archive, and its rate does not depend on how many archives it sees.
scan_s, scan_n = best(lambda: run_cli(tree))
scan_rss = peak_rss(tree)
everything = zip_paths + rar_paths
k = max(1, len(everything) // 600)
loop_s, loop_n = command_loop(everything[::k])
scan_rate, loop_rate = scan_n / scan_s, loop_n / loop_s
print(f"whole tree  zelvano-cli scan: {scan_n} archives in {scan_s:.2f} s = {scan_rate:8.0f} archives/s "
      f"(max RSS {scan_rss / 1024:.1f} MiB)")
print(f"            unzip -Z1 / unrar lb loop: {loop_n} archives in {loop_s:.2f} s = {loop_rate:8.0f} archives/s")
print(f"            ratio {scan_rate / loop_rate:.1f}x (goal: at least 15x)")

# The ZIP part of the tree against the Python walk.
zip_s, zip_n = best(lambda: run_cli(os.path.join(tree, "zips")))
py_s, py_n = best(lambda: python_walk(os.path.join(tree, "zips")))
zip_rate, py_rate = zip_n / zip_s, py_n / py_s
print(f"ZIP part    zelvano-cli scan: {zip_n} archives in {zip_s:.2f} s = {zip_rate:8.0f} archives/s")
print(f"            Python zipfile walk: {py_n} archives in {py_s:.2f} s = {py_rate:8.0f} archives/s")
print(f"            ratio {zip_rate / py_rate:.2f}x (goal: above 1x)")

# Memory stays flat: one archive of 60,000 entries needs no more than the small ones.
big = os.path.join(work, "big")
os.makedirs(big)
with zipfile.ZipFile(os.path.join(big, "huge.zip"), "w", zipfile.ZIP_STORED) as z:
    for i in range(60000):
        z.writestr(f"Folder {i % 7}/IMG_{i:05d}.jpg", b"")
big_rss = peak_rss(big)
print(f"memory      max RSS: whole tree {scan_rss / 1024:.1f} MiB, one ZIP of 60,000 entries {big_rss / 1024:.1f} MiB")

# Where the time goes, step by step (when the step timer is built).
if os.access(steps, os.X_OK):
    print("steps (bench_scan):")
    sys.stdout.flush()
    subprocess.run([steps, tree], env=env, check=False)
PY
