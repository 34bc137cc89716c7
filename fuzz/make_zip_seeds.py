#!/usr/bin/env python3
"""Writes the corpus archives of the ZIP target for the compression methods beyond Deflate into
corpus/fuzz_zip/: one small archive per method, so the fuzzer starts inside each decoder.

BZip2, LZMA and XZ come from Python's own modules; Zstandard from the `zstd` command (Debian package zstd).
The encrypted seeds (password "pw", the one the target sets) come from the `zip` and `7z` commands.
Run it again only to change the seeds: the archives are kept in the repository.
"""
import bz2
import lzma
import os
import struct
import subprocess
import shutil
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "fuzz_zip")

# A small picture-like payload: a JPEG start, some text that repeats, some bytes that do not.
PAYLOAD = (b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + b"beach and harbour, frame 17; " * 40 +
           bytes((i * 73 + 11) % 256 for i in range(600)) + b"\xff\xd9")


def lzma_zip(data, end_marker):
    # ZIP's LZMA: SDK version, properties length, the 5 property bytes, the raw LZMA1 stream. Python's
    # raw LZMA1 encoder always writes the end marker; a reader that stops at the declared size accepts it
    # there, so the same stream serves for the entry without flag bit 1.
    filters = [{"id": lzma.FILTER_LZMA1, "dict_size": 1 << 16}]
    props = lzma._encode_filter_properties(filters[0])
    body = lzma.compress(data, format=lzma.FORMAT_RAW, filters=filters)
    return b"\x09\x14" + struct.pack("<H", len(props)) + props + body


def zstd(data):
    return subprocess.run(["zstd", "-q", "-c", "-19"], input=data, stdout=subprocess.PIPE, check=True).stdout


def archive(entries):
    """entries: (name, method, flags, packed, data). A plain archive: local headers, central directory, end."""
    local = b""
    central = b""
    for name, method, flags, packed, data in entries:
        crc = zlib.crc32(data)
        offset = len(local)
        fixed = struct.pack("<HHHHHIIIHH", 63, flags, method, 0x6000, 0x5A21, crc, len(packed), len(data),
                            len(name), 0)
        local += b"PK\x03\x04" + fixed + name + packed
        central += (b"PK\x01\x02" + struct.pack("<H", 0x033F) + fixed + struct.pack("<HHHII", 0, 0, 0, 0, offset) +
                    name)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(entries), len(entries), len(central), len(local), 0)
    return local + central + end


def encrypted_seeds():
    """name -> command line: the traditional cipher (with and without a data descriptor) and WinZip AES."""
    return {
        "crypt-traditional.zip": ["zip", "-q", "-P", "pw", "{out}", "a.jpg"],
        "crypt-traditional-stored.zip": ["zip", "-q", "-0", "-P", "pw", "{out}", "a.jpg"],
        "crypt-traditional-7z.zip": ["7z", "a", "-tzip", "-bd", "-ppw", "-mem=ZipCrypto", "{out}", "a.jpg"],
        "crypt-aes128-stored.zip": ["7z", "a", "-tzip", "-bd", "-ppw", "-mem=AES128", "-mx=0", "{out}", "a.jpg"],
        "crypt-aes256.zip": ["7z", "a", "-tzip", "-bd", "-ppw", "-mem=AES256", "{out}", "a.jpg"],
        "crypt-aes192-bzip2.zip": ["7z", "a", "-tzip", "-bd", "-ppw", "-mem=AES192", "-mm=BZip2", "{out}", "a.jpg"],
    }


def write_encrypted():
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "a.jpg"), "wb") as f:
            f.write(PAYLOAD)
        for name, command in encrypted_seeds().items():
            if shutil.which(command[0]) is None:
                print(f"{command[0]} is not installed: {name} left as it is", file=sys.stderr)
                continue
            out = os.path.join(work, name)
            subprocess.run([out if part == "{out}" else part for part in command], cwd=work, check=True,
                           stdout=subprocess.DEVNULL)
            shutil.copyfile(out, os.path.join(OUT, name))


def main():
    seeds = {
        "bzip2.zip": [(b"Trip/a.jpg", 12, 0, bz2.compress(PAYLOAD, 9), PAYLOAD)],
        "lzma-marker.zip": [(b"Trip/a.jpg", 14, 2, lzma_zip(PAYLOAD, True), PAYLOAD)],
        "lzma-sized.zip": [(b"Trip/a.jpg", 14, 0, lzma_zip(PAYLOAD, False), PAYLOAD)],
        "xz.zip": [(b"Trip/a.jpg", 95, 0, lzma.compress(PAYLOAD, format=lzma.FORMAT_XZ, preset=1), PAYLOAD)],
        "zstd.zip": [(b"Trip/a.jpg", 93, 0, zstd(PAYLOAD), PAYLOAD)],
        "methods.zip": [
            (b"b.jpg", 12, 0, bz2.compress(PAYLOAD[:300]), PAYLOAD[:300]),
            (b"l.jpg", 14, 2, lzma_zip(PAYLOAD[:300], True), PAYLOAD[:300]),
            (b"x.jpg", 95, 0, lzma.compress(PAYLOAD[:300], format=lzma.FORMAT_XZ, preset=0), PAYLOAD[:300]),
            (b"z.jpg", 93, 0, zstd(PAYLOAD[:300]), PAYLOAD[:300]),
        ],
    }
    for name, entries in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(archive(entries))
    write_encrypted()
    return 0


if __name__ == "__main__":
    sys.exit(main())
