#!/usr/bin/env bash
# Runs the same loopback measurements directly and through zelkorad and other TCP forwarders
# (bench/peers.sh), records every figure in results.tsv and prints the table `zkload report`
# makes of it: each figure with its ratio to direct and to the best other forwarder. TLS tunnel
# rows compare a pair of zelkorad mappings with a stunnel pair, HTTP proxy rows a zelkorad proxy
# mapping with tinyproxy, UDP rows a zelkorad UDP mapping with socat and nginx stream.
# Every byte goes to 127.0.0.1; every measurement is bounded in count and time; only processes
# started here are stopped, by PID. See bench/README.md.
#
# Durations and counts are environment variables (defaults in brackets):
#   BENCH_REPS [3]            repetitions of every measurement (median and min-max are shown)
#   BENCH_PEERS               [direct zelkorad socat rinetd haproxy nginx stunnel tinyproxy]
#   BENCH_TESTS               [startup idle rr cps bulk1 bulk8 tls1 tls8 proxy udp_rr udp_flood]
#   BENCH_BULK_SECONDS [3]    BENCH_RR_COUNT [20000]      BENCH_CPS_COUNT [15000]
#   BENCH_CPS_SECONDS [3]     BENCH_CPS_PARALLEL [4]      BENCH_IDLE_SESSIONS [1000]
#   BENCH_IDLE_SECONDS [3]    BENCH_READY_MS [5000]       BENCH_TIME_LIMIT [720] (whole run, s)
#   BENCH_PROXY_COUNT [20000] BENCH_PROXY_SECONDS [3]     BENCH_PROXY_PARALLEL [4]
#   BENCH_UDP_RR_COUNT [20000]  BENCH_UDP_FLOOD_SECONDS [3]  BENCH_UDP_FLOOD_SOCKETS [4]
#   BENCH_UDP_FLOOD_RATE [0]  datagrams/s offered by the flood, 0 = as fast as one thread sends
#   BENCH_PORT_BASE [24000]   BENCH_BUILD [<repo>/build-bench]
#   BENCH_SKIP_INSTALL=1, BENCH_SKIP_BUILD=1 to reuse what is there.
set -u -o pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build-bench}
REPS=${BENCH_REPS:-3}
PEERS=${BENCH_PEERS:-"direct zelkorad socat rinetd haproxy nginx stunnel tinyproxy"}
TESTS=${BENCH_TESTS:-"startup idle rr cps bulk1 bulk8 tls1 tls8 proxy udp_rr udp_flood"}
BULK_SECONDS=${BENCH_BULK_SECONDS:-3}
RR_COUNT=${BENCH_RR_COUNT:-20000}
CPS_COUNT=${BENCH_CPS_COUNT:-15000}
CPS_SECONDS=${BENCH_CPS_SECONDS:-3}
CPS_PARALLEL=${BENCH_CPS_PARALLEL:-4}
IDLE_SESSIONS=${BENCH_IDLE_SESSIONS:-1000}
IDLE_SECONDS=${BENCH_IDLE_SECONDS:-3}
PROXY_COUNT=${BENCH_PROXY_COUNT:-20000}
PROXY_SECONDS=${BENCH_PROXY_SECONDS:-3}
PROXY_PARALLEL=${BENCH_PROXY_PARALLEL:-4}
UDP_RR_COUNT=${BENCH_UDP_RR_COUNT:-20000}
UDP_FLOOD_SECONDS=${BENCH_UDP_FLOOD_SECONDS:-3}
UDP_FLOOD_SOCKETS=${BENCH_UDP_FLOOD_SOCKETS:-4}
UDP_FLOOD_RATE=${BENCH_UDP_FLOOD_RATE:-0}
READY_MS=${BENCH_READY_MS:-5000}
TIME_LIMIT=${BENCH_TIME_LIMIT:-720}
PORT=${BENCH_PORT_BASE:-24000}
ZKLOAD=$BUILD/bench/zkload

WORK=$(mktemp -d /tmp/zk-bench.XXXXXX)
LOG=$WORK/bench.log
RESULTS=$WORK/results.tsv  # every figure and failure as it happens (format: zkload/results.h)
declare -a STARTED=()      # PIDs of every process this script started and has not stopped
declare -A FAILED=()       # peer -> why it is left out of the later repetitions
SERVER_PID=""
ORIGIN_PID=""

say() { printf '%s\n' "$*" | tee -a "$LOG" >&2; }

# shellcheck source-path=SCRIPTDIR source=peers.sh
source "$ROOT/bench/peers.sh"

# ---------------------------------------------------------------- processes (by PID only)

stop_pid() {
    local pid=$1 i
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    local kept=() p
    for p in "${STARTED[@]}"; do [[ $p == "$pid" ]] || kept+=("$p"); done
    STARTED=("${kept[@]}")
}

cleanup() {
    local p
    for p in "${STARTED[@]}"; do stop_pid "$p"; done
}
trap cleanup EXIT
trap 'say "interrupted"; exit 130' INT TERM

# Next free loopback port from PORT on (nothing bound to it in any state, TCP or UDP).
alloc_port() {
    local hex
    for ((; PORT < 32000; PORT++)); do
        hex=$(printf ':%04X' "$PORT")
        if ! awk -v h="$hex" 'NR > 1 && substr($2, length($2) - 4) == h { f = 1 } END { exit !f }' \
            /proc/net/tcp /proc/net/tcp6 /proc/net/udp /proc/net/udp6 2>/dev/null; then
            PORT_FOUND=$PORT
            PORT=$((PORT + 1))
            return 0
        fi
    done
    say "no free port below 32000"
    exit 1
}

# ---------------------------------------------------------------- install and build

build() {
    local gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    say "building into $BUILD (Release)"
    # Warnings are not errors here: a compiler's false alarm must not cost the measurement.
    cmake -S "$ROOT" -B "$BUILD" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DZK_BUILD_TESTS=OFF \
        -DZK_WERROR=OFF >>"$LOG" 2>&1 || { say "cmake configure failed (see $LOG)"; exit 1; }
    cmake --build "$BUILD" -j2 --target zkload >>"$LOG" 2>&1 ||
        { say "zkload does not build (see $LOG)"; exit 1; }
    cmake --build "$BUILD" -j2 --target zelkorad >>"$LOG" 2>&1 ||
        FAILED[zelkorad]="zelkorad does not build (see $LOG)"
}

# prepare_as KIND PEER [DEST_PORT]: prepares the peer's KIND function (peer, tlspair, httpproxy,
# udppeer) in a new directory for DEST_PORT: sets PEER_DIR, PEER_PORT and PEER_CMD (and
# PEER_PROTO, which start_peer probes with); false when the peer is not available.
prepare_as() {
    alloc_port
    PEER_PORT=$PORT_FOUND
    PEER_PROTO=tcp
    [[ $1 == udppeer ]] && PEER_PROTO=udp
    PEER_DIR=$(mktemp -d "$WORK/$2.$1.XXXX")
    PEER_CMD=()
    "$1_$2" "$PEER_DIR" "$PEER_PORT" "${3:-}"
}

# start_peer_for PEER REQUEST METRIC...: start_peer whose failure fails only these metrics, so
# the peer's other rows still run.
start_peer_for() {
    local peer=$1 request=$2
    shift 2
    start_peer "$peer" "$request" && return 0
    fail_metrics "$peer" "${FAILED[$peer]}" "$@"
    unset "FAILED[$peer]"
    return 1
}

# Starts a prepared peer in the background and waits until a probe gets through it.
start_peer() {
    local peer=$1 request=$2
    "${PEER_CMD[@]}" >"$PEER_DIR/output.log" 2>&1 &
    PEER_PID=$!
    STARTED+=("$PEER_PID")
    if ! measure wait --target "127.0.0.1:$PEER_PORT" --request "$request" --timeout-ms "$READY_MS" \
        --udp "$([[ ${PEER_PROTO:-tcp} == udp ]] && echo 1 || echo 0)"; then
        FAILED[$peer]="no reply through it within $READY_MS ms (log: $PEER_DIR/output.log)"
        stop_pid "$PEER_PID"
        return 1
    fi
}

# ---------------------------------------------------------------- measurements

# measure MODE ARGS...: runs zkload with an outer time limit; figures land in $WORK/out.
measure() {
    timeout -k 5 600 "$ZKLOAD" "$@" >"$WORK/out" 2>"$WORK/err"
    local rc=$?
    { echo "# zkload $*  (rc $rc)"; cat "$WORK/out" "$WORK/err"; } >>"$LOG"
    return $rc
}
figure() { sed -n "s/^$1=//p" "$WORK/out" | head -n 1; }
last_error() { tail -n 1 "$WORK/err"; }

# One results.tsv record: TYPE FIELD... joined by tabs.
result() { (IFS=$'\t' && printf '%s\n' "$*") >>"$RESULTS"; }
record() {  # record PEER METRIC VALUE
    [[ -n $3 ]] && result figure "$1" "$2" "$3"
}
fail_metrics() {  # fail_metrics PEER REASON METRIC...: the report keeps the first reason
    local peer=$1 reason=$2 m
    shift 2
    for m in "$@"; do result failed "$peer" "$m" "$reason"; done
}

# test_NAME PEER TARGET PID: one measurement against TARGET (PID is the forwarder, empty for
# direct), recorded under PEER.
test_idle() {
    local pid_args=()
    [[ -n $3 ]] && pid_args=(--pid "$3")
    if ! measure idle --target "$2" --sessions "$IDLE_SESSIONS" --idle-seconds "$IDLE_SECONDS" \
        --seconds 60 "${pid_args[@]}"; then
        fail_metrics "$1" "$(last_error)" idle_kb idle_pss idle_fds idle_threads idle_procs idle_cpu
        return 1
    fi
    record "$1" idle_kb "$(figure rss_per_session_kb)"
    record "$1" idle_pss "$(figure pss_per_session_kb)"
    record "$1" idle_fds "$(figure descriptors_per_session)"
    record "$1" idle_threads "$(figure threads_after)"
    record "$1" idle_procs "$(figure processes_after)"
    record "$1" idle_cpu "$(figure idle_cpu_pct)"
}

test_rr() {
    if ! measure rr --target "$2" --count "$RR_COUNT" --seconds 20; then
        fail_metrics "$1" "$(last_error)" rr_p50 rr_p99
        return 1
    fi
    record "$1" rr_p50 "$(figure p50_us)"
    record "$1" rr_p99 "$(figure p99_us)"
}

test_cps() {
    if ! measure cps --target "$2" --count "$CPS_COUNT" --seconds "$CPS_SECONDS" \
        --parallel "$CPS_PARALLEL"; then
        fail_metrics "$1" "$(last_error)" cps cps_p50 cps_p99
        return 1
    fi
    local errors
    errors=$(figure errors)
    [[ ${errors:-0} != 0 ]] && say "  $1: $errors failed connections in cps ($(last_error))"
    record "$1" cps "$(figure cps)"
    record "$1" cps_p50 "$(figure p50_us)"
    record "$1" cps_p99 "$(figure p99_us)"
}

test_bulk() {  # test_bulk PEER TARGET PID CONNS [METRIC]: METRIC is bulkCONNS unless given
    local metric=${5:-bulk$4}
    if ! measure bulk --target "$2" --conns "$4" --seconds "$BULK_SECONDS"; then
        fail_metrics "$1" "$(last_error)" "$metric"
        return 1
    fi
    record "$1" "$metric" "$(figure mbps)"
}
test_bulk1() { test_bulk "$@" 1; }
test_bulk8() { test_bulk "$@" 8; }
test_tls1() { test_bulk "$@" 1 tls1; }  # bulk through a TLS pair
test_tls8() { test_bulk "$@" 8 tls8; }

test_proxy() {  # one request per connection, through the proxy to the origin (direct: to it)
    local via=()
    [[ $1 != direct ]] && via=(--via-proxy-to "127.0.0.1:$ORIGIN_PORT")
    if ! measure http --target "$2" "${via[@]}" --count "$PROXY_COUNT" --seconds "$PROXY_SECONDS" \
        --parallel "$PROXY_PARALLEL"; then
        fail_metrics "$1" "$(last_error)" proxy_rps proxy_p50 proxy_p99
        return 1
    fi
    local errors
    errors=$(figure errors)
    [[ ${errors:-0} != 0 ]] && say "  $1: $errors failed requests in proxy ($(last_error))"
    record "$1" proxy_rps "$(figure rps)"
    record "$1" proxy_p50 "$(figure p50_us)"
    record "$1" proxy_p99 "$(figure p99_us)"
}

test_udp_rr() {
    if ! measure udp_rr --target "$2" --count "$UDP_RR_COUNT" --seconds 20; then
        fail_metrics "$1" "$(last_error)" udp_rr_p50 udp_rr_p99
        return 1
    fi
    local lost
    lost=$(figure lost)
    [[ ${lost:-0} != 0 ]] && say "  $1: $lost requests without a reply in udp_rr"
    record "$1" udp_rr_p50 "$(figure p50_us)"
    record "$1" udp_rr_p99 "$(figure p99_us)"
}

test_udp_flood() {  # the sink is asked for its count directly, never through the forwarder
    if ! measure udp_flood --target "$2" --sink "127.0.0.1:$UDP_SINK_PORT" \
        --seconds "$UDP_FLOOD_SECONDS" --sockets "$UDP_FLOOD_SOCKETS" --rate "$UDP_FLOOD_RATE"; then
        fail_metrics "$1" "$(last_error)" udp_flood udp_flood_loss udp_flood_sent
        return 1
    fi
    record "$1" udp_flood "$(figure delivered_per_s)"
    record "$1" udp_flood_loss "$(figure loss_pct)"
    record "$1" udp_flood_sent "$(figure sent_per_s)"
}

# Time from starting the forwarder to the first echo through it.
test_startup() {
    local peer=$1
    prepare_as peer "$peer" "$ECHO_PORT" || return 1
    if ! measure first_request --target "127.0.0.1:$PEER_PORT" --timeout-ms "$READY_MS" \
        --log "$PEER_DIR/output.log" -- "${PEER_CMD[@]}"; then
        fail_metrics "$peer" "$(last_error) (log: $PEER_DIR/output.log)" startup
        return 1
    fi
    record "$peer" startup "$(figure first_reply_ms)"
}

has_test() { [[ " $TESTS " == *" $1 "* ]]; }

# One repetition of every test for one peer. A forwarder runs twice: once in front of the echo
# server (idle first, on a fresh process, then rr and cps) and once in front of the bulk server.
run_peer() {
    local peer=$1 t
    if [[ $peer == direct ]]; then
        for t in idle rr cps; do has_test $t && "test_$t" direct "127.0.0.1:$ECHO_PORT" ""; done
        for t in bulk1 bulk8 tls1 tls8; do has_test $t && "test_$t" direct "127.0.0.1:$BULK_PORT" ""; done
        has_test proxy && test_proxy direct "127.0.0.1:$ORIGIN_PORT" ""
        has_test udp_rr && test_udp_rr direct "127.0.0.1:$UDP_ECHO_PORT" ""
        has_test udp_flood && test_udp_flood direct "127.0.0.1:$UDP_SINK_PORT" ""
        return 0
    fi
    local kind known=""
    for kind in peer tlspair httpproxy udppeer; do
        declare -F "${kind}_$peer" >/dev/null && known=1
    done
    if [[ -z $known ]]; then
        FAILED[$peer]="unknown peer (no peer_, tlspair_, httpproxy_ or udppeer_$peer function)"
        return 1
    fi
    run_other_kinds "$peer"
    declare -F "peer_$peer" >/dev/null || return 0
    has_test startup && test_startup "$peer"
    if has_test idle || has_test rr || has_test cps; then
        prepare_as peer "$peer" "$ECHO_PORT" || { FAILED[$peer]="not available (not installed?)"; return 1; }
        start_peer "$peer" 'ping\n' || return 1
        for t in idle rr cps; do
            has_test $t && "test_$t" "$peer" "127.0.0.1:$PEER_PORT" "$PEER_PID"
        done
        stop_pid "$PEER_PID"
    fi
    if has_test bulk1 || has_test bulk8; then
        prepare_as peer "$peer" "$BULK_PORT" || { FAILED[$peer]="not available (not installed?)"; return 1; }
        start_peer "$peer" PPPPPPPPP || return 1
        for t in bulk1 bulk8; do
            has_test $t && "test_$t" "$peer" "127.0.0.1:$PEER_PORT" "$PEER_PID"
        done
        stop_pid "$PEER_PID"
    fi
}

# run_as KIND PEER DEST_PORT REQUEST TESTS METRIC...: starts the peer's KIND function in front of
# DEST_PORT, waits until REQUEST is answered through it and runs those of TESTS that were asked
# for. A failure fails only the METRICs, so the peer's other rows still run.
run_as() {
    local kind=$1 peer=$2 dest=$3 request=$4 tests=$5 t
    shift 5
    if ! prepare_as "$kind" "$peer" "$dest"; then
        fail_metrics "$peer" "not available (not installed?)" "$@"
    elif start_peer_for "$peer" "$request" "$@"; then
        for t in $tests; do
            has_test "$t" && "test_$t" "$peer" "127.0.0.1:$PEER_PORT" "$PEER_PID"
        done
        stop_pid "$PEER_PID"
    fi
}

# The rows a peer serves through its other functions, when it has them: TLS pairs (tlspair_, in
# front of the bulk server), HTTP proxies (httpproxy_, in front of the HTTP origin) and UDP
# forwarders (udppeer_: in front of the UDP echo for udp_rr, in front of the UDP sink for
# udp_flood, ready when the sink answers its query through it).
run_other_kinds() {
    local peer=$1
    if (has_test tls1 || has_test tls8) && declare -F "tlspair_$peer" >/dev/null; then
        run_as tlspair "$peer" "$BULK_PORT" PPPPPPPPP "tls1 tls8" tls1 tls8
    fi
    if has_test proxy && declare -F "httpproxy_$peer" >/dev/null; then
        run_as httpproxy "$peer" "" "GET http://127.0.0.1:$ORIGIN_PORT/ HTTP/1.0\\r\\n\\r\\n" \
            proxy proxy_rps proxy_p50 proxy_p99
    fi
    declare -F "udppeer_$peer" >/dev/null || return 0
    if has_test udp_rr; then
        run_as udppeer "$peer" "$UDP_ECHO_PORT" 'ping\n' udp_rr udp_rr_p50 udp_rr_p99
    fi
    if has_test udp_flood; then
        run_as udppeer "$peer" "$UDP_SINK_PORT" '?count' udp_flood \
            udp_flood udp_flood_loss udp_flood_sent
    fi
    return 0
}

# ---------------------------------------------------------------- report

# The run's parameters and each peer's kinds, which the report's titles and rows need.
record_run() {
    local name peer kind
    local -a kinds
    for name in REPS PEERS TESTS CPS_PARALLEL IDLE_SESSIONS IDLE_SECONDS PROXY_PARALLEL \
        UDP_FLOOD_SOCKETS; do
        result setting "${name,,}" "${!name}"
    done
    for peer in $PEERS; do
        kinds=()
        for kind in peer tlspair httpproxy udppeer; do
            declare -F "${kind}_$peer" >/dev/null && kinds+=("$kind")
        done
        result kinds "$peer" "${kinds[*]}"
    done
}

# ---------------------------------------------------------------- main

main() {
    say "work directory: $WORK"
    record_run
    [[ ${BENCH_SKIP_INSTALL:-0} == 1 ]] || install_missing
    [[ ${BENCH_SKIP_BUILD:-0} == 1 ]] || build
    [[ -x $ZKLOAD ]] || { say "no $ZKLOAD"; exit 1; }
    [[ ${BENCH_SKIP_BUILD:-0} == 1 && ! -x $BUILD/zelkorad ]] && FAILED[zelkorad]="no $BUILD/zelkorad"
    ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

    alloc_port
    ECHO_PORT=$PORT_FOUND
    alloc_port
    BULK_PORT=$PORT_FOUND
    alloc_port
    UDP_ECHO_PORT=$PORT_FOUND
    alloc_port
    UDP_SINK_PORT=$PORT_FOUND
    "$ZKLOAD" serve --echo-port "$ECHO_PORT" --bulk-port "$BULK_PORT" --threads 2 \
        --udp-echo-port "$UDP_ECHO_PORT" --udp-sink-port "$UDP_SINK_PORT" \
        --max-seconds $((TIME_LIMIT + 300)) >"$WORK/servers.log" 2>&1 &
    SERVER_PID=$!
    STARTED+=("$SERVER_PID")
    if ! measure wait --target "127.0.0.1:$ECHO_PORT" --timeout-ms 5000 ||
        ! measure wait --target "127.0.0.1:$UDP_ECHO_PORT" --udp 1 --timeout-ms 5000 ||
        ! measure wait --target "127.0.0.1:$UDP_SINK_PORT" --udp 1 --request '?count' \
            --timeout-ms 5000; then
        say "the zkload servers did not start: $(cat "$WORK/servers.log")"
        exit 1
    fi
    if has_test proxy; then
        alloc_port
        ORIGIN_PORT=$PORT_FOUND
        "$ZKLOAD" origin --port "$ORIGIN_PORT" --threads 2 --max-seconds $((TIME_LIMIT + 300)) \
            >"$WORK/origin.log" 2>&1 &
        ORIGIN_PID=$!
        STARTED+=("$ORIGIN_PID")
        measure wait --target "127.0.0.1:$ORIGIN_PORT" --request 'GET / HTTP/1.0\r\n\r\n' \
            --timeout-ms 5000 || { say "the HTTP origin did not start: $(cat "$WORK/origin.log")"; exit 1; }
    fi

    local rep peer start=$SECONDS
    local -a order
    read -r -a order <<<"$PEERS"
    for ((rep = 1; rep <= REPS; rep++)); do
        # The order turns by one each repetition: a slot can favour or hurt whoever runs in it
        # (right after direct's bulk and flood tests, say), so no peer keeps the same one.
        for peer in "${order[@]}"; do
            if ((SECONDS - start > TIME_LIMIT)); then
                say "time limit of $TIME_LIMIT s reached: the remaining runs are skipped"
                break 2
            fi
            if [[ -n ${FAILED[$peer]:-} ]]; then
                continue
            fi
            say "repetition $rep/$REPS: $peer"
            run_peer "$peer"
            [[ -n ${FAILED[$peer]:-} ]] && say "  $peer FAILED: ${FAILED[$peer]}"
        done
        order=("${order[@]:1}" "${order[0]}")
    done
    say "measured in $((SECONDS - start)) s"
    stop_pid "$SERVER_PID"
    [[ -n ${ORIGIN_PID:-} ]] && stop_pid "$ORIGIN_PID"

    for peer in "${!FAILED[@]}"; do result failed "$peer" "*" "${FAILED[$peer]}"; done
    "$ZKLOAD" report --results "$RESULTS" | tee "$WORK/table.txt"
    printf '\nRaw figures: %s/results.tsv; log: %s\n' "$WORK" "$LOG"
}

main "$@"
