#!/usr/bin/env bash
# How soon the web interface answers after zelkorad starts: zkload's first_request mode starts
# zelkorad on a fresh program directory with enable_web "1" (no protection, so the first reply is
# the list page) and times the first reply byte from the moment of the start. For scale it also
# times the same binary starting and exiting with --version. Loopback only; every run is bounded; only the zelkorad zkload started is
# stopped, by zkload, by its PID.
#
#   BENCH_REPS [9]          runs (median and min-max are printed)
#   BENCH_BUILD [<repo>/build-bench]    BENCH_SKIP_BUILD=1 to reuse what is there
#   BENCH_PORT [24480]      the web port (must be free)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build-bench}
REPS=${BENCH_REPS:-9}
PORT=${BENCH_PORT:-24480}

if [[ ${BENCH_SKIP_BUILD:-0} != 1 ]]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZK_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD" -j2 --target zkload zelkorad zk_image >/dev/null
fi

WORK=$(mktemp -d /tmp/zk-web-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/home/log"
cp -r "$BUILD/image" "$WORK/home/image"
printf '%s\r\n' '<?xml version="1.0" encoding="ISO-8859-1"?>' \
    "<mappings auto_startup=\"0\" monitor_router=\"0\" use_ie_setting=\"0\" voice_notify=\"0\" top_window=\"0\" web_listen_port=\"$PORT\" protect=\"0\" user_name=\"\" password=\"\" enable_web=\"1\" >" \
    '</mappings>' >"$WORK/home/config.xml"

reply=() exec_only=()
for ((i = 0; i < REPS; i++)); do
    out=$("$BUILD/bench/zkload" first_request --target "127.0.0.1:$PORT" \
        --request 'GET / HTTP/1.0\r\n\r\n' --timeout-ms 10000 --stop-ms 3000 \
        --log "$WORK/zelkorad.log" -- "$BUILD/zelkorad" --home "$WORK/home/")
    reply+=("$(sed -n 's/^first_reply_ms=//p' <<<"$out")")
    # The same binary doing nothing but start and exit: the part no server code can shorten.
    t0=$EPOCHREALTIME
    "$BUILD/zelkorad" --version >/dev/null
    t1=$EPOCHREALTIME
    exec_only+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) * 1000 }')")
done

summary() { # name, values...
    local name=$1
    shift
    printf '%s\n' "$@" | sort -g | awk -v name="$name" '
        { v[NR] = $1 }
        END { printf "%-44s median %8.3f ms   (min %.3f, max %.3f, %d runs)\n",
                     name, v[int((NR + 1) / 2)], v[1], v[NR], NR }'
}
summary "start of zelkorad to first web reply byte" "${reply[@]}"
summary "start and exit of zelkorad --version" "${exec_only[@]}"
