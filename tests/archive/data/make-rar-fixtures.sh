#!/usr/bin/env bash
# Makes the RAR archives the RAR tests read, with the rar command, into OUTDIR.
#   make-rar-fixtures.sh OUTDIR
# Every archive is RAR5 made on this (Unix) system, so entries carry Unix modes. The rar of Debian 12
# (7.x) can no longer write RAR4; the tests craft their RAR4 archives themselves.
# The payloads are small arbitrary bytes: the tests compare them, they never decode them.
set -euo pipefail
# rar reads the names of the files it adds in the current locale: keep the UTF-8 names whole.
export LC_ALL=C.UTF-8

out=${1:?usage: make-rar-fixtures.sh OUTDIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# -idq: quiet; -y: never ask; -m0: stored, so damaged.rar can be damaged at a known place.
RAR=(rar a -idq -y -ma5)

payload() { # payload FILE SEED SIZE: deterministic bytes
  mkdir -p "$(dirname "$1")"
  head -c "$3" < <(yes "zelvano $2 payload" | tr -d '\n') > "$1"
}

# A folder entry Album, a picture in it, pictures with modes whose low bits look like
# Windows attribute bits (0666 has 0x10 "directory" and 0x02 "hidden" set).
src=$work/album
payload "$src/Album/a.jpg" a 3000
payload "$src/p666.jpg" p666 1200
payload "$src/p777.jpg" p777 1300
payload "$src/p644.jpg" p644 1400
chmod 0666 "$src/p666.jpg"
chmod 0777 "$src/p777.jpg"
chmod 0644 "$src/p644.jpg"
(cd "$src" && "${RAR[@]}" -m0 "$out/album.rar" Album p666.jpg p777.jpg p644.jpg)

# Names outside ASCII, to check wide names reach the program whole.
src=$work/wide
payload "$src/Ålbum/żółw 日本.jpg" wide 500
(cd "$src" && "${RAR[@]}" "$out/wide.rar" "Ålbum")

# A symbolic link (stored as the link, -ol), an absolute one (-ola) and a hard link (-oh).
src=$work/links
payload "$src/a.jpg" la 700
ln -s a.jpg "$src/rel.jpg"
ln -s /etc/hostname "$src/abs.jpg"
ln "$src/a.jpg" "$src/hard.jpg"
(cd "$src" && "${RAR[@]}" -ol -oh "$out/links.rar" a.jpg rel.jpg hard.jpg)
(cd "$src" && "${RAR[@]}" -ola "$out/abslink.rar" abs.jpg)

# Encrypted data with readable headers, and encrypted headers.
src=$work/enc
payload "$src/secret.jpg" secret 900
payload "$src/plain.jpg" plain 800
(cd "$src" && "${RAR[@]}" -psecret "$out/encdata.rar" secret.jpg)
(cd "$src" && "${RAR[@]}" -hpsecret "$out/enchead.rar" secret.jpg)
# An encrypted entry followed by a plain one.
(cd "$src" && "${RAR[@]}" -psecret "$out/mixed.rar" secret.jpg && "${RAR[@]}" "$out/mixed.rar" plain.jpg)

# A multi-volume set (new numbering: vol.part1.rar, vol.part2.rar, ...) of one stored entry,
# and a lone first volume whose other parts are missing.
src=$work/vol
payload "$src/big.jpg" vol 60000
(cd "$src" && "${RAR[@]}" -m0 -v20k "$out/vol.rar" big.jpg)
mkdir -p "$out/lonevol"
cp "$out/vol.part1.rar" "$out/lonevol/vol.part1.rar"

# An empty but valid archive. rar removes an archive whose last file is deleted, so it is written
# here: the RAR5 signature, a main header and an end-of-archive header, each behind its CRC-32.
printf 'Rar!\x1a\x07\x01\x00\xc5\x1a\x33\x32\x03\x01\x00\x00\x19\xb2\x3a\x35\x03\x05\x00\x00' > "$out/empty.rar"

# A truncated copy, a copy with damaged data (CRC failure), a file that is not a RAR, an empty file.
size=$(stat -c %s "$out/album.rar")
head -c $((size / 2)) "$out/album.rar" > "$out/truncated.rar"
cp "$out/album.rar" "$out/damaged.rar"
# The stored payload of Album/a.jpg sits in the middle of the file: overwrite some of it.
offset=$(grep -obUa "zelvano a payload" "$out/damaged.rar" | head -n1 | cut -d: -f1)
printf 'XXXXXXXX' | dd of="$out/damaged.rar" bs=1 seek=$((offset + 100)) conv=notrunc status=none
printf 'This is a text file with a .rar name.\n' > "$out/notrar.rar"
: > "$out/zero.rar"
