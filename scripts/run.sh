#!/usr/bin/env bash
# Installs what is missing, builds the programs and runs a whole firmware
# upgrade against the simulated ANT stick and trainer: in the window (fota)
# when a display is available, else in the terminal (fota-cli). It is a
# simulation: no radio is used and no trainer is touched.
#
#   scripts/run.sh          the demo (about a minute once built)
#   scripts/run.sh --cli    the terminal program even where there is a display
#   FOTA_DEMO_SPEED=N scripts/run.sh   N times faster than real time (default 6)
set -euo pipefail
cd "$(dirname "$0")/.."

speed=${FOTA_DEMO_SPEED:-6}
log_dir=build/release/demo-log
banner() {
    echo "================================================================"
    echo " SIMULATION: a simulated ANT stick and trainer, $speed x real time."
    echo " No radio is used and no real trainer is touched."
    echo " The event log goes to $log_dir/FirmwareUpdate.log"
    echo "================================================================"
}

scripts/deps.sh

if [[ ${1:-} != --cli && ( -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ) ]]; then
    if cmake --preset release -DFOTA_BUILD_GUI=ON >/dev/null &&
        cmake --build --preset release --target fota &&
        [[ -x build/release/app/fota/fota ]]; then
        banner
        echo " In the window: accept the agreement, press \"Upgrade Trainer\"; if asked"
        echo " for the trainer's serial number, press OK (0 finds any trainer)."
        exec build/release/app/fota/fota --simulate --sim-speed "$speed" --log-dir "$log_dir"
    fi
    echo "run.sh: the window program could not be built; the terminal program runs instead." >&2
fi

cmake --preset release -DFOTA_BUILD_GUI=OFF >/dev/null
cmake --build --preset release --target fota-cli
args=(--simulate --sim-speed "$speed" --log-dir "$log_dir")
if [[ ! -t 0 ]]; then
    # Nobody to type at the questions: accept the agreement and name the
    # simulated trainer's device number.
    args+=(--accept-agreement --device-number 1234)
fi
banner
exec build/release/app/fota-cli "${args[@]}"
