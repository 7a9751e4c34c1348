#!/usr/bin/env bash
# Runs the window program against the simulated trainer on a virtual X
# display, lets it walk through one upgrade by itself (fota --screenshots) and
# keeps the pictures in docs/screenshots/.
#   tools/screenshots.sh [BUILD_DIR]      (default build/dev, configured with
#                                          -DFOTA_BUILD_GUI=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
out=docs/screenshots

scripts/deps.sh
cmake --build "$build" --target fota
program="$build/app/fota/fota"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The trainer's device number, as a user keeps it (see README).
mkdir -p "$work/config/Norvo"
printf '[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=1234\n' \
    >"$work/config/Norvo/Mova.conf"

mkdir -p "$out"
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
    timeout 600 xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" \
    "$program" --simulate --sim-speed 20 --log-dir "$work" --screenshots "$out"
echo "Pictures in $out; the event log of the run:"
cat "$work/FirmwareUpdate.log"
