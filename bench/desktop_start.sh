#!/usr/bin/env bash
# How fast the desktop program shows its window, and what an idle window costs: zelkora on a
# program directory with 50 mappings (10 of them started automatically, on loopback), on a
# virtual screen (Xvfb with icewm). Each run measures the time from the start of the process to
# the main window being visible on the screen; after the last run the window sits idle and its
# CPU time, threads and memory are read from /proc.
# Only processes started here are stopped, by PID; every port is on 127.0.0.1.
#
# Environment (defaults in brackets): DESKTOP_RUNS [10], DESKTOP_IDLE_SECONDS [10],
# DESKTOP_MAPPINGS [50], BENCH_BUILD [<repo>/build] (a build with the desktop program).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=tools/virtual_screen.sh
source "$root/tools/virtual_screen.sh"
build=${BENCH_BUILD:-$root/build}
runs=${DESKTOP_RUNS:-10}
idle_seconds=${DESKTOP_IDLE_SECONDS:-10}
mappings=${DESKTOP_MAPPINGS:-50}
zelkora=$build/zelkora

fail() { echo "desktop_start: $*" >&2; exit 1; }
[ -x "$zelkora" ] || fail "$zelkora is missing: build with -DZK_BUILD_GUI=ON"
require_screen_tools || exit 1

home=$(mktemp -d /tmp/zk-desktop-bench.XXXXXX)
pids=()
cleanup() {
    stop_started_processes
    rm -rf "$home"
}
trap cleanup EXIT

# 50 mappings on ports from 41000 up; the first 10 start with the program.
args=()
for i in $(seq 0 $((mappings - 1))); do
    args+=(--mapping "mapping $i,TCP,$((41000 + i)),127.0.0.1,$((42000 + i))")
done
"$build/bench/zkload" config --out "$home" "${args[@]}" >/dev/null
awk 'BEGIN { n = 0 } /^<mapping / { n++; if (n > 10) sub(/auto_start="Y"/, "auto_start=\"N\"") } { print }' \
    "$home/config.xml" >"$home/config.new" && mv "$home/config.new" "$home/config.xml"
chmod 600 "$home/config.xml"

start_virtual_screen 95 "$home"

times=()
pid=""
for run in $(seq "$runs"); do
    start=$(date +%s%N)
    "$zelkora" --home "$home" >"$home/zelkora.out" 2>&1 &
    pid=$!
    shown=""
    for _ in $(seq 2000); do  # at most about 20 s
        if xdotool search --onlyvisible --name '^Zelkora$' >/dev/null 2>&1; then
            shown=$(date +%s%N)
            break
        fi
    done
    [ -n "$shown" ] || fail "run $run: the window never showed"
    times+=($(((shown - start) / 1000000)))
    if [ "$run" -lt "$runs" ]; then
        kill -TERM "$pid"
        wait "$pid" || fail "run $run: zelkora did not exit cleanly"
    fi
done
pids+=("$pid")

sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
echo "| figure | value |"
echo "|---|---|"
echo "| start to shown window, $mappings mappings, median of $runs (min-max) | $median ms ($(echo "$sorted" | head -1)-$(echo "$sorted" | tail -1) ms) |"

# The idle window: no traffic, no pointer, the tray timers running.
sleep 2
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
sleep "$idle_seconds"
after=$(ticks)
hz=$(getconf CLK_TCK)
cpu=$(awk -v t=$((after - before)) -v hz="$hz" -v s="$idle_seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')
echo "| idle window CPU over ${idle_seconds} s | ${cpu} % ($((after - before)) ticks) |"
echo "| threads of the idle program | $(ls "/proc/$pid/task" | wc -l) |"
echo "| resident memory of the idle program | $(awk '/VmRSS/ { print $2, $3 }' "/proc/$pid/status") |"
kill -TERM "$pid"
wait "$pid" || fail "zelkora did not exit cleanly"
