#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine and runs the
# installed terminal program against the simulated trainer: the .deb's
# smoke test (for CI on a fresh Debian 12).
#
#   scripts/package-smoke.sh            build, install, run
#   FOTA_PACKAGE_GUI=OFF scripts/...    a package without the window program
#
# The package stays installed; remove it with: apt-get remove fota
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/package
gui=${FOTA_PACKAGE_GUI:-ON}

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi

scripts/deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFOTA_BUILD_GUI="$gui" \
    -DFOTA_BUILD_TESTS=OFF -DFOTA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
rm -f "$build"/fota_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/fota_*.deb)
echo "package-smoke: built $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\):/  \1:/p'

"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb" >/dev/null
echo "package-smoke: installed"

fail() {
    echo "package-smoke: FAILED: $*" >&2
    exit 1
}

expected=(/usr/bin/fota-cli /usr/lib/udev/rules.d/70-ant-usb.rules)
if [[ $gui == ON ]]; then
    expected+=(/usr/bin/fota /usr/share/applications/fota.desktop
               /usr/share/icons/hicolor/scalable/apps/fota.svg)
fi
for f in "${expected[@]}"; do
    dpkg -L fota | grep -qx "$f" || fail "the package does not install $f"
done

log_dir=$(mktemp -d)
trap 'rm -rf "$log_dir"' EXIT
status=0
fota-cli --simulate --accept-agreement --device-number 1234 --sim-speed 50 \
    --log-dir "$log_dir" </dev/null || status=$?
[[ $status -eq 0 ]] || fail "fota-cli --simulate ended with exit status $status"
grep -q "Programmation terminate with -> OK" "$log_dir/FirmwareUpdate.log" ||
    fail "the event log does not record the finished upgrade"
if [[ $gui == ON ]]; then
    fota --help >/dev/null || fail "fota --help"
fi
echo "package-smoke: OK (fota-cli --simulate finished, exit status 0)"
