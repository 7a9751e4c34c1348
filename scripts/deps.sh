#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# Runs apt-get only when something is missing; uses sudo when not root.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config binutils
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    libusb-1.0-0-dev
    # The window (fota) and its tests; xvfb and xauth for tools/screenshots.sh;
    # fonts for the offscreen platform and Xvfb, Liberation Sans standing in
    # for the window's Tahoma (close in width) where Tahoma is missing.
    qt6-base-dev qt6-qpa-plugins xvfb xauth fonts-dejavu-core fonts-liberation2
    # The .deb (cpack finds its dependencies with dpkg-shlibdeps), and
    # /usr/bin/time for bench/measure_realtime.sh.
    dpkg-dev time
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
