#!/usr/bin/env bash
# Photographs what a user of Zelkora sees, for a person to look at: today the web management
# interface (the list with running mappings, the add page, a message page), drawn by headless
# Chromium. The desktop windows join these pictures once the desktop program exists.
# It runs the built zelkorad on a fresh program directory with a few mappings, talks only to
# 127.0.0.1, and stops only the process it started.
#
# Usage: tools/screenshots.sh OUTDIR   (the build in build/, or the one named by ZK_BUILD_DIR)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: tools/screenshots.sh OUTDIR}
build=${ZK_BUILD_DIR:-$here/build}
zelkorad=$build/zelkorad
browser=/usr/bin/chromium

fail() { echo "screenshots: $*" >&2; exit 1; }
[ -x "$zelkorad" ] || fail "$zelkorad is missing; build first (./run.sh or ./test.sh)"
[ -x "$browser" ] || fail "$browser is missing; run scripts/bootstrap.sh"
mkdir -p "$out"
out=$(cd "$out" && pwd)

home=$(mktemp -d /tmp/zk-shots.XXXXXX)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$home"
}
trap cleanup EXIT

# A free loopback port: the kernel picks it, this script gives it up again right away.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
web_port=$(free_port)
relay_port=$(free_port)

"$build/bench/zkload" config --out "$home" \
    --mapping "web relay,TCP,$relay_port,127.0.0.1,$web_port" \
    --mapping "dns,UDP,$(free_port),127.0.0.1,53" \
    --mapping "proxy,PROXY,$(free_port)" >/dev/null
# The web interface on, without a password: the pictures show the pages, not a login box.
sed -i "s/enable_web=\"0\"/enable_web=\"1\"/; s/web_listen_port=\"[0-9]*\"/web_listen_port=\"$web_port\"/; s/protect=\"1\"/protect=\"0\"/" \
    "$home/config.xml"

"$zelkorad" --home "$home" >"$home/zelkorad.out" 2>&1 &
pid=$!
for _ in $(seq 100); do
    curl -fs -o /dev/null "http://127.0.0.1:$web_port/" && break
    sleep 0.1
done
curl -fs -o /dev/null "http://127.0.0.1:$web_port/" || fail "the web interface did not answer"

shoot() { # name url
    "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1100,700 \
        --screenshot="$out/$1.png" "$2" >/dev/null 2>&1 || fail "chromium could not draw $1"
    echo "$out/$1.png"
}
base="http://127.0.0.1:$web_port"
shoot web-list "$base/"
shoot web-add "$base/?action=add"
# Editing a running mapping is refused with a message page.
shoot web-message "$base/?name=dns&action=edit"
