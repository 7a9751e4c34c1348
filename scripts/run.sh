#!/usr/bin/env bash
# Installs what is missing, builds the programs and runs the image tool:
# it lists the embedded firmware images and dumps the first bootloader.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target fota-cli
build/release/app/fota-cli image list
build/release/app/fota-cli image dump BOOTLOADER64 | head -n 12
