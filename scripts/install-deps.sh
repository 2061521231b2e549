#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Pelmora need,
# but only those that are missing, so a second call costs a dpkg query and nothing more.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    clang clang-format libclang-rt-dev
    python3 rsync time xvfb xauth imagemagick trayer xdotool x11-utils openbox
    samba smbclient libsmbclient-dev
    btrfs-progs
    fonts-noto-cjk qt6-translations-l10n
    dpkg-dev desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
