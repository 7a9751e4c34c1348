#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   explore for a time (default 20);
#                                          the corpus grows in build/fuzz/corpus
#   scripts/fuzz.sh --runs N               N inputs per target from a fixed seed
#                                          and the stored seeds only: the same
#                                          inputs on every machine (CI)
# A crashing input is written to build/fuzz/<target>-crash-*; add it to
# tests/fuzz/seeds/<target>/ once fixed, so every later run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
launch=()

if [[ "${1:-}" == "--runs" ]]; then
    [[ "${2:-}" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS | --runs N]" >&2; exit 2; }
    # No corpus reload on a timer, and (where the machine allows it) no
    # address randomisation: the targets' coverage then depends on nothing
    # but the inputs.
    bound=(-runs="$2" -seed=1 -reload=0)
    what="$2 inputs (seed 1)"
    fixed=1
    setarch -R true 2>/dev/null && launch=(setarch -R)
else
    seconds=${1:-20}
    [[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS | --runs N]" >&2; exit 2; }
    bound=(-max_total_time="$seconds")
    what="${seconds}s"
    fixed=0
fi

scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
status=0
for target in build/fuzz/tests/fuzz/fuzz_*; do
    [[ -x "$target" ]] || continue
    name=$(basename "$target")
    corpus="build/fuzz/corpus/$name"
    if [[ $fixed == 1 ]]; then
        # A corpus of its own, emptied first, so that what an exploring run
        # found neither changes what a fixed run tries nor is lost by it.
        corpus="build/fuzz/fixed-corpus/$name"
        rm -rf "$corpus"
    fi
    mkdir -p "$corpus"
    seeds=()
    [[ -d "tests/fuzz/seeds/$name" ]] && seeds=("tests/fuzz/seeds/$name")
    echo "== $name for $what"
    if ! "${launch[@]}" "$target" "${bound[@]}" -print_final_stats=1 -artifact_prefix="build/fuzz/$name-" \
        "$corpus" "${seeds[@]}" 2>"build/fuzz/$name.log"; then
        status=1
        tail -n 40 "build/fuzz/$name.log"
    fi
    grep -E 'stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb' "build/fuzz/$name.log" | sort -u || true
done
exit $status
