"""The archives the scan corpora are made of (bench_scan.sh, bench_window.sh): a few ZIP and RAR templates
that the corpora copy many times, so that thousands of archives cost little to make."""
import io
import os
import subprocess
import zipfile


def zip_template(entries):
    """A deflated ZIP of one album folder: pictures, and one note in ten entries."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        album = f"Album {entries}/"
        z.writestr(album, b"")
        for i in range(entries):
            name = f"{album}IMG_{i:04d}.jpg" if i % 10 else f"{album}notes_{i}.txt"
            z.writestr(name, os.urandom(16) * 2)
    return buf.getvalue()


def templates(rng, work):
    """Sixteen ZIP templates of 5 to 80 entries (sizes drawn from rng) and two RAR ones made with rar in work."""
    zips = [zip_template(rng.choice([5, 10, 20, 40, 80])) for _ in range(16)]
    rars = []
    for entries in (10, 30):
        src = os.path.join(work, f"rarsrc{entries}")
        os.makedirs(os.path.join(src, "Trip"))
        for i in range(entries):
            with open(os.path.join(src, "Trip", f"P{i:04d}.jpg"), "wb") as f:
                f.write(os.urandom(32))
        out = os.path.join(work, f"t{entries}.rar")
        subprocess.run(["rar", "a", "-idq", "-m1", "-r", out, "Trip"], cwd=src, check=True)
        with open(out, "rb") as f:
            rars.append(f.read())
    return zips, rars
