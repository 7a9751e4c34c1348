#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
status=0
for target in build/fuzz/tests/fuzz/fuzz_*; do
    [[ -x "$target" ]] || continue
    name=$(basename "$target")
    corpus="build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    [[ -d "tests/fuzz/seeds/$name" ]] && seeds=("tests/fuzz/seeds/$name")
    echo "== $name for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${seeds[@]}" \
        2>"build/fuzz/$name.log"; then
        status=1
        tail -n 40 "build/fuzz/$name.log"
    fi
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "build/fuzz/$name.log" || true
done
exit $status
