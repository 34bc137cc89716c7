#!/usr/bin/env bash
# check-deb.sh BUILD_DIR: builds the Debian package of a finished build into a temporary folder and checks
# what it holds (the programs and their data under /usr, nothing built only for tests) and what it depends on
# (packages that exist, among them the libraries the programs link). Exit 77 when a Debian tool is missing.
set -euo pipefail

build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-query; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed: skipped"
    exit 77
  fi
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
deb="$out/zelvano_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  ls "$out"
  echo "FAIL: no package named $(basename "$deb")"
  exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zelvano ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Section)" ] || fail "no Section"

# Every dependency is a package this machine has installed (the build linked against them), so the names
# are real ones; the libraries the programs link and the image readers loaded at run time are among them.
depends=$(field Depends)
echo "Depends: $depends"
mapfile -t names < <(echo "$depends" | tr ',|' '\n\n' | sed 's/(.*)//; s/:any//; s/ //g' | sed '/^$/d' | sort -u)
for name in "${names[@]}"; do
  dpkg-query -W "$name" >/dev/null 2>&1 || fail "depends on '$name', which is no installed package"
done
for name in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6dbus6 libqt6svg6 \
            libunrar5 zlib1g libbz2-1.0 liblzma5 libzstd1 libuchardet0 qt6-image-formats-plugins; do
  printf '%s\n' "${names[@]}" | grep -qx "$name" || fail "does not depend on $name"
done

# The file list: "./usr/bin/zelvano" and so on, links without their targets.
files=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for path in ./usr/bin/zelvano ./usr/bin/zelvano-cli \
            ./usr/share/applications/zelvano.desktop ./usr/share/metainfo/zelvano.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/zelvano.svg \
            ./usr/share/man/man1/zelvano.1.gz ./usr/share/man/man1/zelvano-cli.1.gz; do
  grep -qx -- "$path" <<<"$files" || fail "missing $path"
done
for size in 16 22 24 32 48 64 128 256; do
  path=./usr/share/icons/hicolor/${size}x${size}/apps/zelvano.png
  grep -qx -- "$path" <<<"$files" || fail "missing $path"
done
outside=$(grep -v -x -e './' -e './usr/' -e './usr/.*' <<<"$files" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
programs=$(grep '^\./usr/bin/.' <<<"$files" | grep -v -x -e ./usr/bin/zelvano -e ./usr/bin/zelvano-cli || true)
[ -z "$programs" ] || fail "programs besides zelvano and zelvano-cli: $programs"
internal=$(grep -i -e 'test' -e 'bench' -e 'fuzz' -e 'probe' -e 'screenshots' -e 'svgtopng' -e 'mksamples' \
    -e '\.a$' -e '/include/' <<<"$files" || true)
[ -z "$internal" ] || fail "files built for tests, benchmarks or the build: $internal"

# The programs are stripped: debugging symbols stay in the build folder.
dpkg-deb -x "$deb" "$out/root"
for program in zelvano zelvano-cli; do
  if command -v readelf >/dev/null && readelf -S "$out/root/usr/bin/$program" | grep -q '\.debug_info'; then
    fail "$program carries debugging symbols"
  fi
done

if [ $failures -ne 0 ]; then
  dpkg-deb -c "$deb"
  exit 1
fi
echo "$(basename "$deb"): $(wc -l <<<"$files") entries, depends on ${#names[@]} packages"
