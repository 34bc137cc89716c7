#!/usr/bin/env bash
# Shows zelvano-cli at work: builds a small tree of photo archives under <build>/demo, then scans it and
# unpacks it (nothing is deleted), and shows what landed where. Every run starts from a fresh copy.
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/zelvano-cli"
mksamples="$build/tools/zelvano-mksamples"
for tool in "$cli" "$mksamples"; do
  [ -x "$tool" ] || { echo "demo: $tool is not built" >&2; exit 1; }
done
for cmd in zip rar; do
  command -v "$cmd" >/dev/null || { echo "demo: the $cmd command is missing (make deps installs it)" >&2; exit 1; }
done

demo=$(mkdir -p "$build/demo" && cd "$build/demo" && pwd)
rm -rf "$demo/pictures" "$demo/source" "$demo/photos" "$demo/data"
# The program's data folder (settings) lives in the demo, not in the user's home.
export XDG_DATA_HOME="$demo/data"

echo "== Making sample pictures"
pics="$demo/pictures"
"$mksamples" "$pics/greece_2019" 6 --width 1024 --height 768 --seed 11 --prefix DSC
"$mksamples" "$pics/rome trip" 5 --width 1024 --height 768 --seed 12 --prefix IMG
"$mksamples" "$pics/party" 4 --width 800 --height 600 --seed 13 --prefix P
"$mksamples" "$pics/garden" 3 --width 800 --height 600 --seed 14 --prefix garden
"$mksamples" "$pics/screens" 3 --width 640 --height 400 --seed 15 --prefix screen --png-every 1

echo "== Making the archives"
src="$demo/source"
mkdir -p "$src/Holidays/Greece 2019" "$src/Family" "$src/Screenshots" "$src/Documents"
# Deflated, with a top folder named like the archive.
(cd "$pics" && zip -q -r "$src/Holidays/Greece 2019/greece_2019.zip" greece_2019)
# RAR, with a top folder named like the archive.
(cd "$pics" && rar a -idq -r "$src/Holidays/rome trip.rar" "rome trip")
# Stored, pictures at the root, with macOS junk and a text file beside them.
mkdir -p "$pics/party/__MACOSX"
printf 'resource fork' > "$pics/party/__MACOSX/._P_0001.jpg"
printf 'Pictures from the party.\n' > "$pics/party/readme.txt"
(cd "$pics/party" && zip -q -0 -r "$src/Family/birthday_party.zip" .)
# RAR, pictures at the root.
(cd "$pics/garden" && rar a -idq "$src/Family/Garden [2020].rar" ./*.jpg)
# PNG screenshots, deflated.
(cd "$pics/screens" && zip -q "$src/Screenshots/screens.zip" ./*.png)
# Not photo archives: text only (skipped) and a damaged file (invalid).
printf 'minutes\n' > "$demo/minutes.txt"
(cd "$demo" && zip -q "$src/Documents/notes.zip" minutes.txt && rm minutes.txt)
printf 'this is not a zip archive' > "$src/Documents/broken.zip"

cp -r "$src" "$demo/photos"
photos="$demo/photos"

echo
echo "== zelvano-cli scan $photos"
"$cli" scan "$photos"

echo
echo "== zelvano-cli unpack --delete none --report $demo/unpack-report.txt $photos"
rc=0
"$cli" unpack --delete none --report "$demo/unpack-report.txt" "$photos" || rc=$?
echo "(exit code $rc)"

echo
echo "== The tree afterwards"
(cd "$photos" && find . -type f | sort)

echo
echo "== The same unpack again: every picture is already there"
"$cli" unpack --delete none "$photos" || true

echo
echo "The unpack report: $demo/unpack-report.txt"
echo "To try deletion: $cli unpack --delete trash --when all $photos"
