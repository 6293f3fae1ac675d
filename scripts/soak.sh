#!/usr/bin/env bash
# A soak run: qex processes audio for MINUTES on the virtual devices (test-signal input, silent
# output), offscreen, while a second process keeps every core busy; then it prints the dropouts
# since Start, the resident memory at the start and at the end, and qex's share of one core.
#
#   scripts/soak.sh MINUTES [SETTING]
#
# SETTING is the buffer setting: design (8 x 4096 bytes in and out, ring 16; the default),
# medium (4 x 2048), small (3 x 1024) or smallest (2 x 1024, what the sliders allow at least).
# PRIORITY=0..6 picks the audio threads' priority as the settings panel lists it (default 4,
# "Higher", the design value; 6 is "Time critical"). QEX_BUILD_DIR=DIR uses the qex and
# qex_latency_bench already built there instead of building a release copy in build/soak.
set -euo pipefail

minutes=${1:?usage: scripts/soak.sh MINUTES [design|medium|small|smallest]}
setting=${2:-design}
priority=${PRIORITY:-4}
case $setting in
design) buffers=8 size=4096 ;;
medium) buffers=4 size=2048 ;;
small) buffers=3 size=1024 ;;
smallest) buffers=2 size=1024 ;;
*)
    echo "unknown setting: $setting (design, medium, small or smallest)" >&2
    exit 2
    ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QEX_BUILD_DIR:-$root/build/soak}
if [[ -z ${QEX_BUILD_DIR:-} ]]; then
    "$root/scripts/deps.sh"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEX_BUILD_TESTS=OFF -DQEX_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" --target qex qex_latency_bench >/dev/null
fi

# The program's folder is the folder of its executable: a copy in a folder of its own, with
# settings that pick the virtual devices and start processing by themselves.
work=$(mktemp -d /tmp/qex-soak-XXXXXX)
cp "$build/bin/qex" "$work/"
ids=$("$build/bin/qex_latency_bench" --virtual-device-ids)
input=$(sed -n 's/^input=\([-0-9]*\) .*/\1/p' <<<"$ids")
output=$(sed -n 's/.* output=\([-0-9]*\)$/\1/p' <<<"$ids")
cat >"$work/qex.ini" <<EOF
[General]
Auto start=1
Enable Security=0
[Devices]
Input device=$input
Input device name=Test signal (virtual)
Output device=$output
Output device name=Silent output (virtual)
Input num buffers=$buffers
Input buffer size=$size
Output num buffers=$buffers
Output buffer size=$size
Priority=$priority
EOF

qex=
load=
finish() {
    [[ -n $load ]] && kill -- "-$load" 2>/dev/null || true
    [[ -n $qex ]] && kill "$qex" 2>/dev/null || true
}
trap finish EXIT

rss() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"; }
# User and system time of the process, in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

QT_QPA_PLATFORM=offscreen QEX_SYSTEM_DIR="$work/system" "$work/qex" 2>"$work/stderr" &
qex=$!

# One busy loop per core, all in one process group of their own.
setsid bash -c 'for ((i = 0; i < $(nproc); i++)); do (while :; do :; done) & done; wait' &
load=$!

# Processing is under way once the window has shown and started; measure from then on.
sleep 5
kill -0 "$qex" 2>/dev/null || { cat "$work/stderr" >&2; echo "qex ended early" >&2; exit 1; }
rss_start=$(rss "$qex")
ticks_start=$(ticks "$qex")
time_start=$(date +%s.%N)
sleep $((minutes * 60))
rss_end=$(rss "$qex")
ticks_end=$(ticks "$qex")
time_end=$(date +%s.%N)
kill -- "-$load" 2>/dev/null || true
load=

# A termination request closes the program as a logout does: processing stops, and the status
# line's last figures go to standard error.
kill -TERM "$qex"
wait "$qex" || true
qex=
summary=$(grep '^qex: processing stopped' "$work/stderr" | tail -1)
cpu=$(awk -v t="$((ticks_end - ticks_start))" -v hz="$(getconf CLK_TCK)" -v a="$time_start" -v b="$time_end" \
    'BEGIN { printf "%.1f", 100 * t / hz / (b - a) }')

echo "setting=$setting in=${buffers}x$size ring=$((2 * buffers)) out=${buffers}x$size priority=$priority minutes=$minutes"
echo "${summary:-no summary: qex did not report its stop}"
echo "rss_start_kb=$rss_start rss_end_kb=$rss_end cpu_percent_of_one_core=$cpu"
rm -rf "$work"
