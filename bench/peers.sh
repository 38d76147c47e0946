# shellcheck shell=bash disable=SC2034  # PEER_CMD and the TLS files are read by compare.sh
# The forwarders compare.sh measures: how each is installed, configured and started. Sourced by
# compare.sh, which provides BUILD, ZKLOAD, WORK, LOG, say and alloc_port.
#
# Every function NAME_PEER DIR LISTEN_PORT DEST_PORT writes the peer's private config into DIR
# and sets PEER_CMD to a foreground command, or returns false when the peer is not available:
#   peer_      forwards TCP 127.0.0.1:LISTEN_PORT to 127.0.0.1:DEST_PORT
#   tlspair_   both ends of a TLS tunnel in one process: LISTEN_PORT encrypts towards a second
#              port of its own, which decrypts and forwards to DEST_PORT
#   httpproxy_ an HTTP proxy on LISTEN_PORT (no DEST_PORT)
#   udppeer_   forwards UDP, one session per client address, replies from the listen port
# A peer may have any of the four kinds. rinetd and haproxy forward TCP only. Both TLS pairs use
# the same P-256 certificate; the peers log errors only (the zelkorad event log always has its
# session lines).

NGINX_STREAM=/usr/lib/nginx/modules/ngx_stream_module.so

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

# zelkorad_peer DIR MAPPING...: DIR/config.xml with these mappings (zkload config's
# NAME,KIND,LISTEN_PORT[,DEST_IP,DEST_PORT[,SSL_TYPE,CERT,KEY]]), written by the program's own
# configuration writer, and PEER_CMD running zelkorad on DIR.
zelkorad_peer() {
    [[ -x $BUILD/zelkorad ]] || return 1
    local dir=$1 option args=()
    shift
    for option in "$@"; do args+=(--mapping "$option"); done
    "$ZKLOAD" config --out "$dir" "${args[@]}" >>"$LOG" 2>&1 || return 1
    PEER_CMD=("$BUILD/zelkorad" --home "$dir")
}

peer_zelkorad() { zelkorad_peer "$1" "bench,TCP,$2,127.0.0.1,$3"; }

tlspair_zelkorad() {
    make_tls_files || return 1
    alloc_port
    zelkorad_peer "$1" "encrypt,TCP,$2,127.0.0.1,$PORT_FOUND,client,$TLS_CERT,$TLS_KEY" \
        "decrypt,TCP,$PORT_FOUND,127.0.0.1,$3,server,$TLS_CERT,$TLS_KEY"
}

httpproxy_zelkorad() { zelkorad_peer "$1" "proxy,PROXY,$2"; }

udppeer_zelkorad() { zelkorad_peer "$1" "bench,UDP,$2,127.0.0.1,$3"; }

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
