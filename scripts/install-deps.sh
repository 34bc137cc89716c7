#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the benchmarks and a look at the desktop program need.
# Only missing packages are installed; with nothing missing this takes about a second.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev clang-format clang-tidy
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libgl-dev libegl-dev libvulkan-dev
  zlib1g-dev libbz2-dev liblzma-dev libzstd-dev libuchardet-dev libssl-dev libarchive-dev libjpeg-dev libunrar-dev rar unrar unzip zip p7zip-full p7zip-rar locales
  # The desktop program: Qt SVG for its pictures (qt6-base-dev brings D-Bus and Network); xvfb-run (with
  # xauth), ImageMagick's import and a font to look at it without a desktop; desktop-file-validate.
  qt6-svg-dev xvfb xauth imagemagick fonts-dejavu-core desktop-file-utils
  # The package and its data: appstreamcli checks the metainfo, groff the man pages, dpkg-dev computes the
  # package's dependencies.
  appstream groff-base dpkg-dev
  # The benchmarks: GNU time for CPU seconds and peak memory, jpeginfo as the picture checker to beat,
  # python3 to write archives of many entries.
  time jpeginfo python3
)
# Packages from the non-free component: when apt does not know them, the component is enabled.
NONFREE=(libunrar-dev rar unrar p7zip-rar)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# The tests format texts a second time under this locale: other day and month names, no AM/PM marker.
# Generated when missing; a machine that cannot generate it only skips that second pass.
TEST_LOCALE=de_DE.UTF-8

has_test_locale() { locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; }
make_test_locale() {
  has_test_locale && return 0
  command -v locale-gen >/dev/null || return 1
  echo "Generating the $TEST_LOCALE locale for the tests"
  if [ -f /etc/locale.gen ] && grep -q "^# *$TEST_LOCALE UTF-8" /etc/locale.gen; then
    $SUDO sed -i "s/^# *\($TEST_LOCALE UTF-8\)/\1/" /etc/locale.gen || return 1
  elif ! grep -qs "^$TEST_LOCALE UTF-8" /etc/locale.gen; then
    echo "$TEST_LOCALE UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null || return 1
  fi
  $SUDO locale-gen >/dev/null && has_test_locale
}
test_locale() {
  make_test_locale || echo "Could not generate the $TEST_LOCALE locale: the second-locale test pass will be skipped" >&2
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  test_locale
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive

known() { apt-cache show "$1" >/dev/null 2>&1; }

# A fresh machine may have no package lists yet.
updated=0
if ! known cmake; then $SUDO apt-get update -q; updated=1; fi

need_nonfree=0
for p in "${NONFREE[@]}"; do
  if [[ " ${missing[*]} " == *" $p "* ]] && ! known "$p"; then need_nonfree=1; fi
done
if [ $need_nonfree -eq 1 ]; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  list=/etc/apt/sources.list.d/zelvano-non-free.sources
  if [ ! -f "$list" ]; then
    echo "Enabling Debian's non-free component for the UnRAR library and rar"
    # deb822 form with the same key as the main entry, so apt sees no conflicting Signed-By.
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    {
      echo "Types: deb"
      echo "URIs: http://deb.debian.org/debian"
      echo "Suites: ${codename} ${codename}-updates"
      echo "Components: non-free"
      [ -f "$keyring" ] && echo "Signed-By: $keyring"
    } | $SUDO tee "$list" >/dev/null
  fi
  $SUDO apt-get update -q
  updated=1
fi

if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  [ $updated -eq 1 ] && exit 1
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
test_locale
