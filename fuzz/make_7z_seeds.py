#!/usr/bin/env python3
"""Writes the corpus archives of the 7z target into corpus/fuzz_7z/: small archives made by the `7z`
command (Debian package p7zip-full) with each coder and layout it offers, so the fuzzer starts inside
each decoder and each header form.

Run it again only to change the seeds: the archives are kept in the repository.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "fuzz_7z")

# A small picture-like payload: a JPEG start, some text that repeats, some bytes that do not.
PAYLOAD = (b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + b"beach and harbour, frame 17; " * 40 +
           bytes((i * 73 + 11) % 256 for i in range(600)) + b"\xff\xd9")

# Seed name, then the options of `7z a`.
SEEDS = [
    ("lzma2_solid", ["-m0=lzma2", "-ms=on"]),
    ("lzma_not_solid", ["-m0=lzma", "-ms=off"]),
    ("bzip2", ["-m0=bzip2"]),
    ("deflate", ["-m0=deflate"]),
    ("ppmd", ["-m0=ppmd"]),
    ("copy", ["-m0=copy"]),
    ("bcj_lzma2", ["-mf=BCJ", "-m0=lzma2"]),
    ("delta", ["-m0=delta:4", "-m1=lzma2"]),
    ("encrypted_data", ["-psecret"]),
    ("encrypted_headers", ["-psecret", "-mhe=on"]),
    ("uncompressed_headers", ["-mhc=off"]),
]


def main():
    tool = shutil.which("7z")
    if not tool:
        sys.exit("the 7z command is needed (apt install p7zip-full)")
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "in")
        os.makedirs(os.path.join(tree, "Trip", "Day 2"))
        with open(os.path.join(tree, "Trip", "a.jpg"), "wb") as f:
            f.write(PAYLOAD)
        with open(os.path.join(tree, "Trip", "Day 2", "b.jpg"), "wb") as f:
            f.write(PAYLOAD[::-1])
        open(os.path.join(tree, "Trip", "empty.jpg"), "wb").close()
        with open(os.path.join(tree, "notes.txt"), "wb") as f:
            f.write(b"notes\n")
        os.symlink("Trip/a.jpg", os.path.join(tree, "link.jpg"))
        for name, options in SEEDS:
            target = os.path.join(OUT, name + ".7z")
            if os.path.exists(target):
                os.remove(target)
            # -snl stores the link as a link, not the file it leads to.
            subprocess.run([tool, "a", "-bd", "-y", "-snl"] + options + [target, "--", "Trip", "notes.txt",
                                                                         "link.jpg"],
                           cwd=tree, check=True, stdout=subprocess.DEVNULL)
    print("seeds written to", OUT)


if __name__ == "__main__":
    main()
