#!/usr/bin/env bash
# What the traffic monitor costs: zelkora on a virtual screen (Xvfb with icewm) relays to
# zkload's servers on loopback, and this script measures, with the "Zelkora Monitor" window
# closed and open:
#   - the program's CPU with no session and with 1000 idle sessions (zkload idle --pid);
#   - the throughput of one bulk connection through the relay (zkload bulk).
# Every byte goes to 127.0.0.1; every load is bounded in count and time; only processes started
# here are stopped, by PID.
#
# Environment (defaults in brackets): MONITOR_PORT_BASE [25100], MONITOR_SESSIONS [1000],
# MONITOR_IDLE_SECONDS [10], MONITOR_BULK_SECONDS [5], MONITOR_REPS [5] (bulk runs per state),
# BENCH_BUILD [<repo>/build] (a build with the desktop program).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=tools/virtual_screen.sh
source "$root/tools/virtual_screen.sh"
build=${BENCH_BUILD:-$root/build}
base=${MONITOR_PORT_BASE:-25100}
sessions=${MONITOR_SESSIONS:-1000}
idle_seconds=${MONITOR_IDLE_SECONDS:-10}
bulk_seconds=${MONITOR_BULK_SECONDS:-5}
reps=${MONITOR_REPS:-5}
zkload=$build/bench/zkload

fail() { echo "monitor_cost: $*" >&2; exit 1; }
[ -x "$build/zelkora" ] || fail "$build/zelkora is missing: build with -DZK_BUILD_GUI=ON"
require_screen_tools || exit 1

home=$(mktemp -d /tmp/zk-monitor-bench.XXXXXX)
pids=()
cleanup() {
    stop_started_processes
    rm -rf "$home"
}
trap cleanup EXIT
ulimit -n "$(ulimit -Hn)"  # 1000 sessions hold 2000 descriptors in the program

echo_port=$base bulk_port=$((base + 1)) idle_relay=$((base + 10)) bulk_relay=$((base + 11))
"$zkload" serve --echo-port "$echo_port" --bulk-port "$bulk_port" >/dev/null 2>&1 &
pids+=($!)
"$zkload" config --out "$home" --mapping "idle,TCP,$idle_relay,127.0.0.1,$echo_port" \
    --mapping "bulk,TCP,$bulk_relay,127.0.0.1,$bulk_port" >/dev/null

start_virtual_screen 97 "$home"
"$build/zelkora" --home "$home" >"$home/zelkora.out" 2>&1 &
zelkora=$!
pids+=("$zelkora")
"$zkload" wait --target "127.0.0.1:$idle_relay" >/dev/null || fail "the relay did not answer"
main=$(visible_window Zelkora)
[ -n "$main" ] || fail "the main window did not show"

figure() { sed -n "s/^$1=//p" | head -1; }
idle_cpu() { # sessions -> percent of one core while they sit idle
    if [ "$1" -eq 0 ]; then
        local before after hz
        hz=$(getconf CLK_TCK)
        before=$(awk '{ print $14 + $15 }' "/proc/$zelkora/stat")
        sleep "$idle_seconds"
        after=$(awk '{ print $14 + $15 }' "/proc/$zelkora/stat")
        awk -v t=$((after - before)) -v hz="$hz" -v s="$idle_seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }'
    else
        "$zkload" idle --target "127.0.0.1:$idle_relay" --sessions "$1" --pid "$zelkora" \
            --idle-seconds "$idle_seconds" --seconds 120 | figure idle_cpu_pct
    fi
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
bulk_once() {
    "$zkload" bulk --target "127.0.0.1:$bulk_relay" --conns 1 --seconds "$bulk_seconds" | figure mbps
}
open_monitor() {
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    xdotool key --clearmodifiers F10
    sleep 0.3
    xdotool key Down Down Return  # "Zelkora Monitor", after the web interface's settings
    [ -n "$(visible_window "Zelkora Monitor")" ] || fail "the monitor did not open"
    sleep 2
}
close_monitor() {
    xdotool windowactivate --sync "$(visible_window "Zelkora Monitor")" 2>/dev/null || true
    xdotool key --clearmodifiers Escape
    sleep 1
}

closed_none=$(idle_cpu 0)
closed_idle=$(idle_cpu "$sessions")
open_monitor
open_none=$(idle_cpu 0)
open_idle=$(idle_cpu "$sessions")
close_monitor

# Closed and open runs alternate, so a drift of the machine's speed falls on both alike.
: >"$home/closed" >"$home/open"
for _ in $(seq "$reps"); do
    bulk_once >>"$home/closed"
    open_monitor
    bulk_once >>"$home/open"
    close_monitor
done
closed_bulk=$(median <"$home/closed")
open_bulk=$(median <"$home/open")

echo "| figure | monitor closed | monitor open |"
echo "|---|---|---|"
echo "| CPU, no session (% of one core, ${idle_seconds} s) | $closed_none | $open_none |"
echo "| CPU, $sessions idle sessions (% of one core, ${idle_seconds} s) | $closed_idle | $open_idle |"
echo "| one bulk connection through the relay (Mbit/s, median of $reps) | $closed_bulk | $open_bulk |"
awk -v c="$closed_bulk" -v o="$open_bulk" 'BEGIN { if (c > 0) printf "| throughput lost with the monitor open | %.1f %% |\n", 100 * (c - o) / c }'
kill -TERM "$zelkora"
wait "$zelkora" || fail "zelkora did not exit cleanly"
