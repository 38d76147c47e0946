#!/usr/bin/env bash
# Runs the same loopback measurements directly and through zelkorad and other TCP forwarders,
# and prints each figure with its ratio to direct and to the best other forwarder. TLS tunnel
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
NGINX_STREAM=/usr/lib/nginx/modules/ngx_stream_module.so

WORK=$(mktemp -d /tmp/zk-bench.XXXXXX)
LOG=$WORK/bench.log
declare -a STARTED=()       # PIDs of every process this script started and has not stopped
declare -A VALUES=()        # "peer/metric" -> space-separated values, one per repetition
declare -A FAILED=()        # "peer/metric" or "peer" -> first reason
SERVER_PID=""
ORIGIN_PID=""

say() { printf '%s\n' "$*" | tee -a "$LOG" >&2; }

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

install_missing() {
    local pkgs=()
    command -v socat >/dev/null || pkgs+=(socat)
    command -v rinetd >/dev/null || pkgs+=(rinetd)
    command -v haproxy >/dev/null || pkgs+=(haproxy)
    command -v nginx >/dev/null || pkgs+=(nginx)
    [[ -f $NGINX_STREAM ]] || pkgs+=(libnginx-mod-stream)
    command -v stunnel >/dev/null || pkgs+=(stunnel4)
    command -v tinyproxy >/dev/null || pkgs+=(tinyproxy)
    command -v openssl >/dev/null || pkgs+=(openssl)
    ((${#pkgs[@]} == 0)) && return 0
    say "installing: ${pkgs[*]}"
    # Packages must not start their system services: a policy-rc.d that denies every start is
    # put in place for the install only, unless the machine already has one.
    local policy=/usr/sbin/policy-rc.d made_policy=""
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod 755 "$policy" && made_policy=1
    fi
    {
        apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
            --no-install-recommends "${pkgs[@]}"
    } >>"$LOG" 2>&1 || say "apt-get failed (see $LOG); the missing peers will be reported as failed"
    [[ -n $made_policy ]] && rm -f "$policy"
    return 0
}

build() {
    local gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    say "building into $BUILD (Release)"
    cmake -S "$ROOT" -B "$BUILD" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DZK_BUILD_TESTS=OFF \
        >>"$LOG" 2>&1 || { say "cmake configure failed (see $LOG)"; exit 1; }
    cmake --build "$BUILD" -j2 --target zkload >>"$LOG" 2>&1 ||
        { say "zkload does not build (see $LOG)"; exit 1; }
    cmake --build "$BUILD" -j2 --target zelkorad >>"$LOG" 2>&1 ||
        FAILED[zelkorad]="zelkorad does not build (see $LOG)"
}

# ---------------------------------------------------------------- peers
# peer_NAME DIR LISTEN_PORT DEST_PORT: write a private config into DIR and set PEER_CMD to a
# foreground command that forwards 127.0.0.1:LISTEN_PORT to 127.0.0.1:DEST_PORT. To add a
# peer, add a function here and its name to BENCH_PEERS.

peer_zelkorad() {
    [[ -x $BUILD/zelkorad ]] || return 1
    mkdir -p "$1/log"
    {
        printf '<?xml version="1.0" encoding="ISO-8859-1"?>\r\n'
        printf '<mappings auto_startup="0" monitor_router="0" use_ie_setting="0" voice_notify="0" '
        printf 'top_window="0" web_listen_port="0" protect="1" user_name="" password="" enable_web="0" >\r\n'
        printf '<mapping name="bench" type="TCP" listen_port_type="0" listen_port="%s" ' "$2"
        printf 'listen_port_end="0" destination_ip="127.0.0.1" destination_port_type="0" '
        printf 'destination_port="%s" destination_port_end="0" max_sessions="" enable_log="0" ' "$3"
        printf 'log_file="" enable_ip_strategy="0" auto_start="Y" http_proxy="N" ssl_enable="N" '
        printf 'ssl_type="" private_key="" public_key="" server_cer="" private_key_client="" '
        printf 'public_key_client="" client_cer="" root_key="" root="" enable_smart="0" smart_strategy="0" >\r\n'
        printf '<allow_ip>\r\n</allow_ip>\r\n<block_ip>\r\n</block_ip>\r\n'
        printf '<smart_ip_range>\r\n</smart_ip_range>\r\n<smart_round_robin>\r\n</smart_round_robin>\r\n'
        printf '</mapping>\r\n</mappings>\r\n'
    } >"$1/config.xml"
    PEER_CMD=("$BUILD/zelkorad" --home "$1")
}

peer_socat() {
    command -v socat >/dev/null || return 1
    PEER_CMD=(socat "TCP4-LISTEN:$2,bind=127.0.0.1,reuseaddr,fork,backlog=4096" "TCP4:127.0.0.1:$3")
}

peer_rinetd() {
    command -v rinetd >/dev/null || return 1
    printf '127.0.0.1 %s 127.0.0.1 %s\npidlogfile %s/rinetd.pid\n' "$2" "$3" "$1" >"$1/rinetd.conf"
    PEER_CMD=(rinetd -f -c "$1/rinetd.conf")
}

peer_haproxy() {
    command -v haproxy >/dev/null || return 1
    cat >"$1/haproxy.cfg" <<EOF
global
    maxconn 8000
defaults
    mode tcp
    timeout connect 5s
    timeout client 1h
    timeout server 1h
frontend bench
    bind 127.0.0.1:$2
    default_backend servers
backend servers
    server s1 127.0.0.1:$3
EOF
    PEER_CMD=(haproxy -db -f "$1/haproxy.cfg")
}

# nginx's stream module from 127.0.0.1:$2 to 127.0.0.1:$3; $4 follows the listen address
# (" udp reuseport"), $5 holds further lines of the server block.
nginx_stream() {
    command -v nginx >/dev/null && [[ -f $NGINX_STREAM ]] || return 1
    cat >"$1/nginx.conf" <<EOF
load_module $NGINX_STREAM;
daemon off;
worker_processes auto;
worker_rlimit_nofile 20000;
pid $1/nginx.pid;
error_log $1/error.log warn;
events { worker_connections 10000; }
stream {
    server {
        listen 127.0.0.1:$2$4;
        proxy_pass 127.0.0.1:$3;
$5
    }
}
EOF
    PEER_CMD=(nginx -e "$1/error.log" -p "$1" -c "$1/nginx.conf")
}

peer_nginx() {
    nginx_stream "$1" "$2" "$3" "" ""
}

# ---------------------------------------------------------------- TLS pairs and HTTP proxies
# tlspair_NAME DIR LISTEN_PORT DEST_PORT: PEER_CMD runs both ends of a TLS tunnel in one
# process: 127.0.0.1:LISTEN_PORT encrypts towards a second port of its own, which decrypts and
# forwards to 127.0.0.1:DEST_PORT. httpproxy_NAME DIR LISTEN_PORT: PEER_CMD is an HTTP proxy on
# 127.0.0.1:LISTEN_PORT. Both TLS pairs use the same P-256 certificate; the peers log errors only
# (the zelkorad event log always has its session lines).

# A self-signed certificate and key for the TLS pairs, made once per run: TLS_CERT, TLS_KEY.
make_tls_files() {
    [[ -n ${TLS_CERT:-} ]] && return 0
    mkdir -p "$WORK/tls"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
        -subj /CN=localhost -keyout "$WORK/tls/key.pem" -out "$WORK/tls/cert.pem" >>"$LOG" 2>&1 ||
        return 1
    TLS_CERT=$WORK/tls/cert.pem
    TLS_KEY=$WORK/tls/key.pem
}

# zelkorad_mapping NAME LISTEN DEST_PORT HTTP_PROXY SSL_TYPE [TYPE]: one mapping element (TYPE
# TCP by default, or UDP) to 127.0.0.1:DEST_PORT; SSL_TYPE "server" or "client" turns TLS on with
# TLS_CERT and TLS_KEY.
zelkorad_mapping() {
    local ssl=N cert="" key="" cert_client="" key_client="" dest=127.0.0.1
    [[ $4 == Y ]] && dest="http proxy"
    [[ -n $5 ]] && ssl=Y
    [[ $5 == server ]] && cert=$TLS_CERT key=$TLS_KEY
    [[ $5 == client ]] && cert_client=$TLS_CERT key_client=$TLS_KEY
    printf '<mapping name="%s" type="%s" listen_port_type="0" listen_port="%s" ' "$1" "${6:-TCP}" "$2"
    printf 'listen_port_end="0" destination_ip="%s" destination_port_type="0" ' "$dest"
    printf 'destination_port="%s" destination_port_end="0" max_sessions="" enable_log="0" ' "$3"
    printf 'log_file="" enable_ip_strategy="0" auto_start="Y" http_proxy="%s" ' "$4"
    printf 'ssl_enable="%s" ssl_type="%s" private_key="%s" public_key="" server_cer="%s" ' \
        "$ssl" "$5" "$key" "$cert"
    printf 'private_key_client="%s" public_key_client="" client_cer="%s" root_key="" root="" ' \
        "$key_client" "$cert_client"
    printf 'enable_smart="0" smart_strategy="0" >\r\n'
    printf '<allow_ip>\r\n</allow_ip>\r\n<block_ip>\r\n</block_ip>\r\n'
    printf '<smart_ip_range>\r\n</smart_ip_range>\r\n<smart_round_robin>\r\n</smart_round_robin>\r\n'
    printf '</mapping>\r\n'
}

# zelkorad_config DIR: DIR/config.xml holding the mapping elements read from standard input.
zelkorad_config() {
    mkdir -p "$1/log"
    {
        printf '<?xml version="1.0" encoding="ISO-8859-1"?>\r\n'
        printf '<mappings auto_startup="0" monitor_router="0" use_ie_setting="0" voice_notify="0" '
        printf 'top_window="0" web_listen_port="0" protect="1" user_name="" password="" enable_web="0" >\r\n'
        cat
        printf '</mappings>\r\n'
    } >"$1/config.xml"
}

tlspair_zelkorad() {
    [[ -x $BUILD/zelkorad ]] && make_tls_files || return 1
    alloc_port
    local middle=$PORT_FOUND
    {
        zelkorad_mapping encrypt "$2" "$middle" N client
        zelkorad_mapping decrypt "$middle" "$3" N server
    } | zelkorad_config "$1"
    PEER_CMD=("$BUILD/zelkorad" --home "$1")
}

tlspair_stunnel() {
    command -v stunnel >/dev/null && make_tls_files || return 1
    alloc_port
    cat >"$1/stunnel.conf" <<EOF
foreground = yes
pid =
debug = 3
[encrypt]
client = yes
accept = 127.0.0.1:$2
connect = 127.0.0.1:$PORT_FOUND
[decrypt]
accept = 127.0.0.1:$PORT_FOUND
connect = 127.0.0.1:$3
cert = $TLS_CERT
key = $TLS_KEY
EOF
    PEER_CMD=(stunnel "$1/stunnel.conf")
}

httpproxy_zelkorad() {
    [[ -x $BUILD/zelkorad ]] || return 1
    zelkorad_mapping proxy "$2" 0 Y "" | zelkorad_config "$1"
    PEER_CMD=("$BUILD/zelkorad" --home "$1")
}

httpproxy_tinyproxy() {
    command -v tinyproxy >/dev/null || return 1
    cat >"$1/tinyproxy.conf" <<EOF
Port $2
Listen 127.0.0.1
Timeout 600
MaxClients 4096
LogFile "$1/tinyproxy.log"
LogLevel Error
PidFile "$1/tinyproxy.pid"
Allow 127.0.0.1
DisableViaHeader Yes
EOF
    PEER_CMD=(tinyproxy -d -c "$1/tinyproxy.conf")
}

# ---------------------------------------------------------------- UDP forwarders
# udppeer_NAME DIR LISTEN_PORT DEST_PORT: PEER_CMD forwards UDP 127.0.0.1:LISTEN_PORT to
# 127.0.0.1:DEST_PORT, one session per client address, replies back to the client from the
# listen port. rinetd and haproxy forward TCP only: their UDP rows read "n/a".

udppeer_zelkorad() {
    [[ -x $BUILD/zelkorad ]] || return 1
    zelkorad_mapping bench "$2" "$3" N "" UDP | zelkorad_config "$1"
    PEER_CMD=("$BUILD/zelkorad" --home "$1")
}

udppeer_socat() {  # a child process per client; -T ends it 10 s after the client goes quiet
    command -v socat >/dev/null || return 1
    PEER_CMD=(socat -T 10 "UDP4-LISTEN:$2,bind=127.0.0.1,reuseaddr,fork" "UDP4:127.0.0.1:$3")
}

udppeer_nginx() {
    # reuseport: each worker has its own socket, so a client's datagrams stay with one worker
    # and its session. proxy_responses is left unlimited, so a client keeps one session (as in
    # the other forwarders) instead of one per request; proxy_timeout ends it once it is quiet.
    nginx_stream "$1" "$2" "$3" " udp reuseport" "        proxy_timeout 10s;"
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

record() {  # record PEER METRIC VALUE
    [[ -n $3 ]] && VALUES[$1/$2]+="$3 "
}
fail_metrics() {  # fail_metrics PEER REASON METRIC...
    local peer=$1 reason=$2 m
    shift 2
    for m in "$@"; do [[ -n ${FAILED[$peer/$m]:-} ]] || FAILED[$peer/$m]=$reason; done
}

# test_NAME PEER TARGET PID: one measurement against TARGET (PID is the forwarder, empty for
# direct), recorded under PEER.
test_idle() {
    local pid_args=()
    [[ -n $3 ]] && pid_args=(--pid "$3")
    if ! measure idle --target "$2" --sessions "$IDLE_SESSIONS" --idle-seconds "$IDLE_SECONDS" \
        --seconds 60 "${pid_args[@]}"; then
        fail_metrics "$1" "$(last_error)" idle_kb idle_pss idle_threads idle_procs idle_cpu
        return 1
    fi
    record "$1" idle_kb "$(figure rss_per_session_kb)"
    record "$1" idle_pss "$(figure pss_per_session_kb)"
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

# metric|title|unit|better (high or low)
METRICS=(
    "bulk1|bulk throughput, 1 connection, client->server|MB/s|high"
    "bulk8|bulk throughput, 8 connections, client->server|MB/s|high"
    "rr_p50|request/response latency p50, 32 bytes|us|low"
    "rr_p99|request/response latency p99, 32 bytes|us|low"
    "cps|connections per second ($CPS_PARALLEL parallel clients)|conn/s|high"
    "cps_p50|connect-to-first-byte p50|us|low"
    "cps_p99|connect-to-first-byte p99|us|low"
    "idle_kb|memory per idle session ($IDLE_SESSIONS sessions, VmRSS growth)|KB|low"
    "idle_pss|memory per idle session ($IDLE_SESSIONS sessions, Pss growth)|KB|low"
    "idle_threads|threads while holding $IDLE_SESSIONS sessions|threads|low"
    "idle_procs|processes while holding $IDLE_SESSIONS sessions|processes|low"
    "idle_cpu|CPU while the sessions sit idle ($IDLE_SECONDS s)|% of a core|low"
    "startup|start to first reply through the forwarder|ms|low"
    "tls1|TLS tunnel throughput, 1 connection, client end -> server end -> sink (direct: no TLS)|MB/s|high"
    "tls8|TLS tunnel throughput, 8 connections (direct: no TLS)|MB/s|high"
    "proxy_rps|HTTP proxy requests per second, one per connection ($PROXY_PARALLEL parallel clients)|req/s|high"
    "proxy_p50|HTTP proxy request time p50, connect to close|us|low"
    "proxy_p99|HTTP proxy request time p99, connect to close|us|low"
    "udp_rr_p50|UDP request/response latency p50, 32 bytes|us|low"
    "udp_rr_p99|UDP request/response latency p99, 32 bytes|us|low"
    "udp_flood|UDP flood: 64-byte datagrams the sink received per second ($UDP_FLOOD_SOCKETS client sockets)|dgram/s|high"
    "udp_flood_loss|UDP flood: datagrams sent but never received|%|low"
    "udp_flood_sent|UDP flood: datagrams the client sent per second (offered load)|dgram/s|high"
)

# supports PEER METRIC: the peer has a way to run the metric's test (TLS rows need a tlspair_
# function, proxy rows an httpproxy_ one, UDP rows a udppeer_ one, the rest a peer_ one).
supports() {
    [[ $1 == direct ]] && return 0
    case $2 in
        tls*) declare -F "tlspair_$1" >/dev/null ;;
        proxy*) declare -F "httpproxy_$1" >/dev/null ;;
        udp_*) declare -F "udppeer_$1" >/dev/null ;;
        *) declare -F "peer_$1" >/dev/null ;;
    esac
}

# not_applicable PEER METRIC: a TCP-only forwarder in a UDP row, listed as "n/a", not as failed.
not_applicable() { [[ $2 == udp_* ]] && declare -F "peer_$1" >/dev/null; }

# stats VALUES...: "median min max"
stats() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) exit 1
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        print m, v[1], v[NR] }'
}
num() { awk -v x="$1" 'BEGIN { a = x < 0 ? -x : x
    if (a >= 1000 || x == int(x)) printf "%.0f", x
    else if (a >= 10) printf "%.1f", x
    else printf "%.2f", x }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }'; }
median_of() {
    local v=${VALUES[$1/$2]:-}
    [[ -n $v ]] || return 1
    # shellcheck disable=SC2086
    stats $v | cut -d' ' -f1
}

report() {
    local entry metric title unit better peer best best_val med dmed line v st
    printf '\nZelkora forwarder comparison: %s, %s, %d cores, %s repetitions\n' \
        "$(date '+%Y-%m-%d %H:%M')" "$(uname -r)" "$(nproc)" "$REPS"
    printf 'Ratios are this figure / the reference figure (for times, memory and CPU above 1 is worse).\n'
    printf '"best peer" is the best of the other forwarders (not direct, not zelkorad).\n'
    for entry in "${METRICS[@]}"; do
        IFS='|' read -r metric title unit better <<<"$entry"
        has_metric "$metric" || continue
        best=""
        best_val=""
        for peer in $PEERS; do
            [[ $peer == direct || $peer == zelkorad ]] && continue
            supports "$peer" "$metric" || continue
            med=$(median_of "$peer" "$metric") || continue
            if [[ -z $best_val ]] || awk -v a="$med" -v b="$best_val" -v h="$better" \
                'BEGIN { exit !(h == "high" ? a > b : a < b) }'; then
                best=$peer
                best_val=$med
            fi
        done
        dmed=$(median_of direct "$metric") || dmed=""
        printf '\n== %s (%s, %s is better; best peer: %s)\n' "$title" "$unit" \
            "$([[ $better == high ]] && echo higher || echo lower)" "${best:--}"
        printf '%-10s %10s %21s %9s %9s\n' peer median min-max "x direct" "x best"
        for peer in $PEERS; do
            if ! supports "$peer" "$metric"; then
                not_applicable "$peer" "$metric" &&
                    printf '%-10s %10s  (forwards TCP only)\n' "$peer" n/a
                continue
            fi
            v=${VALUES[$peer/$metric]:-}
            if [[ -z $v ]]; then
                line=${FAILED[$peer]:-${FAILED[$peer/$metric]:-}}
                if [[ -n $line ]]; then
                    printf '%-10s FAILED: %s\n' "$peer" "$line"
                else
                    printf '%-10s %10s\n' "$peer" "-"
                fi
                continue
            fi
            # shellcheck disable=SC2086
            read -r med lo hi <<<"$(stats $v)"
            st="$(num "$lo")-$(num "$hi")"
            printf '%-10s %10s %21s %9s %9s' "$peer" "$(num "$med")" "$st" \
                "$([[ -n $dmed ]] && ratio "$med" "$dmed" || echo -)" \
                "$([[ -n $best_val ]] && ratio "$med" "$best_val" || echo -)"
            line=${FAILED[$peer/$metric]:-${FAILED[$peer]:-}}
            [[ -n $line ]] && printf '  (some runs failed: %s)' "$line"
            printf '\n'
        done
    done
}

has_metric() {
    case $1 in
        bulk1 | bulk8 | startup | idle | rr | cps | tls1 | tls8) has_test "$1" ;;
        proxy_*) has_test proxy ;;
        rr_*) has_test rr ;;
        cps_*) has_test cps ;;
        idle_*) has_test idle ;;
        udp_rr_*) has_test udp_rr ;;
        udp_flood*) has_test udp_flood ;;
        *) return 1 ;;
    esac
}

# ---------------------------------------------------------------- main

main() {
    say "work directory: $WORK"
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

    {
        for key in "${!VALUES[@]}"; do printf '%s\t%s\n' "$key" "${VALUES[$key]}"; done | sort
    } >"$WORK/results.tsv"
    report | tee "$WORK/table.txt"
    printf '\nRaw figures: %s/results.tsv; log: %s\n' "$WORK" "$LOG"
}

main "$@"
