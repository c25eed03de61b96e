#!/usr/bin/env bash
# Installs the Debian 12 packages Quillbox needs to build, run and test. Safe to run again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-translations-l10n libgl-dev
    libsqlite3-dev sqlite3
    unicode-data bzip2
    libbenchmark-dev
    mdbtools
    fonts-noto-cjk
    xvfb xauth imagemagick xdotool openbox wmctrl
    desktop-file-utils appstream librsvg2-bin
    dpkg-dev lintian file man-db shared-mime-info xdg-utils libfile-mimeinfo-perl libglib2.0-bin
    clang-format
    clang libclang-rt-dev valgrind
    python3-vobject khard buku
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
