#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh            the Debug build
#   scripts/test.sh asan       the same tests under AddressSanitizer + UBSan
#   scripts/test.sh tsan       the same tests under ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}

scripts/deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j"$(nproc)"
