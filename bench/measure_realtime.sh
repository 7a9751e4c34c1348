#!/usr/bin/env bash
# What the program adds to the protocol's own pauses, and what it costs.
#
# The same two-pass upgrade (a KOV trainer at firmware version 80: the
# bootloader, then the firmware) runs twice:
#   1. in virtual time: fota-cli --simulate --virtual-time (the protocol's
#      pauses only, no time spent by the program counts);
#   2. in real time against fota-sim on a pseudo-terminal, through the serial
#      port code as with a real stick: fota-cli --port, under /usr/bin/time -v.
# Reported: the upgrade's duration in both (from the worker's first request to
# its last line), their ratio (goal <= 1.02), and fota-cli's CPU time and peak
# resident memory over the real-time run (goals < 2 % of one core, < 30 MB).
# The real-time run takes about 4 minutes.
#
#   bench/measure_realtime.sh              builds build/release first
#   bench/measure_realtime.sh BUILD_DIR    uses fota-cli and fota-sim of BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
if [[ $# -eq 0 ]]; then
    scripts/deps.sh
    cmake --preset release >/dev/null
    cmake --build --preset release --target fota-cli fota-sim
fi
cli=$build/app/fota-cli
simulator=$build/sim/fota-sim
[[ -x $cli && -x $simulator ]] || { echo "measure: no fota-cli and fota-sim in $build" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "measure: /usr/bin/time is missing (package time)" >&2; exit 1; }

work=$(mktemp -d)
sim_pid=
cleanup() {
    if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid"
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

trainer=(--model KOV --version 80 --unit-type 14)
common=(--accept-agreement --device-number 1234 --json)

# The time of the first --json log event whose text starts with $2.
event_time() {
    grep -F '"event":"log"' "$1" | grep -F "\"text\":\"$2" | head -n 1 |
        sed 's/.*"time_s":\([0-9.]*\).*/\1/'
}
duration() {
    local start end
    start=$(event_time "$1" "Request Firmware Version (send)")
    end=$(event_time "$1" "Programmation terminate with -> OK")
    [[ -n $start && -n $end ]] || { echo "measure: the upgrade in $1 did not finish" >&2; exit 1; }
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

echo "measure: virtual time ..."
"$cli" --simulate --virtual-time "${trainer[@]}" "${common[@]}" --log-dir "$work/virtual" \
    >"$work/virtual.json" </dev/null || {
    echo "measure: the virtual-time upgrade failed" >&2
    exit 1
}
virtual=$(duration "$work/virtual.json")

echo "measure: real time against fota-sim (about 4 minutes) ..."
"$simulator" "${trainer[@]}" --quiet --exit-after-upgrade >"$work/sim.out" 2>&1 &
sim_pid=$!
pty=
for _ in $(seq 50); do
    pty=$(sed -n 's/^fota-sim: stick on //p' "$work/sim.out")
    [[ -n $pty ]] && break
    sleep 0.1
done
[[ -n $pty ]] || { echo "measure: fota-sim did not open a pseudo-terminal" >&2; exit 1; }
status=0
/usr/bin/time -v -o "$work/time.txt" "$cli" --port "$pty" "${common[@]}" --log-dir "$work/real" \
    >"$work/real.json" </dev/null || status=$?
if [[ $status -ne 0 ]]; then
    echo "measure: fota-cli --port ended with exit status $status:" >&2
    grep -E '"event":"(status|message|error|end)"' "$work/real.json" >&2 || true
    exit 1
fi
real=$(duration "$work/real.json")

field() { sed -n "s/^[[:space:]]*$1: //p" "$work/time.txt"; }
user=$(field "User time (seconds)")
sys=$(field "System time (seconds)")
wall=$(field "Elapsed (wall clock) time (h:mm:ss or m:ss)")
rss=$(field "Maximum resident set size (kbytes)")
wall_s=$(awk -v t="$wall" 'BEGIN { n = split(t, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i]; print s }')

awk -v v="$virtual" -v r="$real" -v u="$user" -v s="$sys" -v w="$wall_s" -v m="$rss" 'BEGIN {
    printf "two-pass upgrade, KOV trainer at version 80\n"
    printf "  virtual time:           %8.1f s\n", v
    printf "  real time (fota-sim):   %8.1f s\n", r
    printf "  real / virtual:         %8.4f   (goal <= 1.02)\n", r / v
    printf "fota-cli over the real-time run (%.1f s wall):\n", w
    printf "  CPU time:               %8.2f s (user %.2f, system %.2f)\n", u + s, u, s
    printf "  CPU share of one core:  %8.2f %%  (goal < 2 %%)\n", 100 * (u + s) / w
    printf "  peak resident memory:   %8.1f MB  (goal < 30 MB)\n", m / 1024
}'
