#!/usr/bin/env bash
# Photographs what a user of Zelkora sees, for a person to look at: the desktop program's windows
# on a virtual screen (Xvfb, with icewm for title bars and a tray), and the web management
# interface drawn by headless Chromium.
# It runs the built zelkora on a fresh program directory with a few mappings, one of them
# running with live sessions, talks only to 127.0.0.1, and stops only the processes it started.
#
# Usage: tools/screenshots.sh OUTDIR   (the build in build/, or the one named by ZK_BUILD_DIR)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/virtual_screen.sh
source "$here/tools/virtual_screen.sh"
out=${1:?usage: tools/screenshots.sh OUTDIR}
build=${ZK_BUILD_DIR:-$here/build}
zelkora=$build/zelkora
browser=/usr/bin/chromium

fail() { echo "screenshots: $*" >&2; exit 1; }
[ -x "$zelkora" ] || fail "$zelkora is missing; build first (./run.sh or ./test.sh)"
require_screen_tools import convert "$browser" || exit 1
mkdir -p "$out"
out=$(cd "$out" && pwd)

home=$(mktemp -d /tmp/zk-shots.XXXXXX)
pids=()
cleanup() {
    stop_started_processes
    rm -rf "$home"
}
trap cleanup EXIT

# --- the program directory -------------------------------------------------------------------
# A free loopback port: the kernel picks it, this script gives it up again right away.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
web_port=$(free_port)
relay_port=$(free_port)
range_port=$(free_port)
range_destination=$(free_port)

"$build/bench/zkload" config --out "$home" \
    --mapping "web relay,TCP,$relay_port,127.0.0.1,$web_port" \
    --mapping "dns,UDP,$(free_port),127.0.0.1,53" \
    --mapping "proxy,PROXY,$(free_port)" \
    --mapping "games,TCP,$range_port,127.0.0.1,$range_destination" >/dev/null
# The web interface on, without a password: the pictures show the pages, not a login box. The
# relay logs its traffic; "dns" and "games" wait to be started; "games" is a range with an allow
# list.
sed -i "s/enable_web=\"0\"/enable_web=\"1\"/; s/top_window=\"0\"/top_window=\"1\"/; s/web_listen_port=\"[0-9]*\"/web_listen_port=\"$web_port\"/; s/protect=\"1\"/protect=\"0\"/
    /name=\"web relay\"/ { s|enable_log=\"0\"|enable_log=\"1\"|; s|log_file=\"\"|log_file=\"$home/log/web-relay.log\"| }
    /name=\"dns\"/ s/auto_start=\"Y\"/auto_start=\"N\"/
    /name=\"games\"/ { s/listen_port_type=\"0\"/listen_port_type=\"1\"/; s/listen_port_end=\"0\"/listen_port_end=\"$((range_port + 9))\"/
        s/destination_port_type=\"0\"/destination_port_type=\"1\"/; s/destination_port_end=\"0\"/destination_port_end=\"$((range_destination + 9))\"/
        s/auto_start=\"Y\"/auto_start=\"N\"/; s/max_sessions=\"\"/max_sessions=\"20\"/; s/enable_ip_strategy=\"0\"/enable_ip_strategy=\"1\"/ }" \
    "$home/config.xml"
# The first <allow_ip> is the relay's, the fourth the range's.
awk 'BEGIN { n = 0 } /^<allow_ip>\r?$/ { n++; print; if (n == 4) {
        eol = sub(/\r$/, "") ? "\r" : ""
        print "<ip start=\"192.168.1.10\" end=\"192.168.1.60\" />" eol
        print "<ip start=\"10.0.0.1\" end=\"10.0.0.255\" />" eol }; next } { print }' \
    "$home/config.xml" >"$home/config.new" && mv "$home/config.new" "$home/config.xml"
# Two port triggers to loopback: "keepalive" starts with the program, "game ports" waits.
trigger_port=$(free_port)
sed -i "s|^</mappings>|<triggering name=\"keepalive\" auto_start=\"Y\" protocol=\"UDP\" trigger_address=\"127.0.0.1\" trigger_port=\"$trigger_port\" trigger_port_end=\"$trigger_port\" frequence=\"5000\" >\r\n</triggering>\r\n</mappings>|" "$home/config.xml"
sed -i "s|^</mappings>|<triggering name=\"game ports\" auto_start=\"N\" protocol=\"TCP,UDP\" trigger_address=\"127.0.0.1\" trigger_port=\"$range_destination\" trigger_port_end=\"$((range_destination + 2))\" frequence=\"2000\" >\r\n</triggering>\r\n</mappings>|" "$home/config.xml"
chmod 600 "$home/config.xml"

# --- a screen with a tray ---------------------------------------------------------------------
start_virtual_screen 90 "$home"

# A scripted UPnP gateway on loopback for the router window; it ends by itself.
gateway_port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 "$here/tools/fake_gateway.py" --ssdp-port "$gateway_port" --seconds 300 \
    2>"$home/fake_gateway.log" &
pids+=($!)

"$zelkora" --home "$home" --gateway-search "127.0.0.1:$gateway_port" >"$home/zelkora.out" 2>&1 &
zelkora_pid=$!
pids+=("$zelkora_pid")
for _ in $(seq 100); do
    curl -fs -o /dev/null "http://127.0.0.1:$web_port/" && break
    sleep 0.1
done
curl -fs -o /dev/null "http://127.0.0.1:$web_port/" || fail "the web interface did not answer"

# Traffic through the relay (for its log), then three sessions that stay open.
for _ in 1 2 3; do curl -fs -o /dev/null "http://127.0.0.1:$relay_port/" || true; done
for _ in 1 2 3; do
    bash -c "exec 3<>/dev/tcp/127.0.0.1/$relay_port; sleep 60" 2>/dev/null &
    pids+=($!)
done
sleep 1

window_named() { # exact title
    local id
    id=$(visible_window "$1")
    [ -n "$id" ] || fail "no window \"$1\""
    echo "$id"
}
shoot_window() { # name window
    sleep 0.5  # let it paint
    import -screen -frame -window "$2" "$out/$1.png" || fail "could not photograph $1"
    echo "$out/$1.png"
}
keys() { # window keys...
    local id=$1; shift
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    xdotool key --clearmodifiers "$@"
}
# Opens the main menu's item at this position from the top: 1 web settings, 2 monitor, 3 often
# used ports, 4 View IP, 5 port triggers, 6 router, 7 port tester, 8 system log, 9 service,
# 10 Option.
menu_item() { # position from the top of the main menu
    keys "$main" F10
    sleep 0.3
    for _ in $(seq "$1"); do xdotool key Down; done
    xdotool key Return
}

main=$(window_named Zelkora)
# The first row (the running relay) selected.
keys "$main" ctrl+Home Down Up
shoot_window main-window "$main"

# The range mapping opened for editing, then its Advanced Option dialog.
keys "$main" ctrl+End Up Down Return
mapping=$(window_named "Add Port Mapping")
shoot_window mapping-dialog "$mapping"
eval "$(xdotool getwindowgeometry --shell "$mapping" 2>/dev/null)"
xdotool mousemove --window "$mapping" 50 $((HEIGHT - 23)) click 1  # "Advanced", lower left
advanced=$(window_named "Advanced Option")
shoot_window advanced-dialog "$advanced"
keys "$advanced" Escape
keys "$mapping" Escape

# A new mapping's SSL settings (Tab moves from the name to "SSL Encryption"), with a root
# certificate made by the certificate tool; the tool's output window stays open until closed.
keys "$main" ctrl+n
new_mapping=$(window_named "Add Port Mapping")
keys "$new_mapping" Tab Tab Tab space
ssl=$(window_named "SSL Encryption")
keys "$ssl" Tab Tab Tab Tab space  # from the explanation to the root's "Create"
root_name=$(window_named "Input Root Certificate Name")
sleep 0.3
xdotool type --delay 50 "ca"
keys "$root_name" Return
output=$(window_named "Create Root Certificate")
sleep 3  # openssl makes a 2048-bit key
shoot_window certificate-output "$output"
keys "$output" Escape
shoot_window ssl-dialog "$ssl"
keys "$ssl" Escape
keys "$new_mapping" Escape

# The floating speed window and the monitor (the menu's second item) while pages are fetched
# through the relay: a bounded number of requests.
timeout 30 bash -c "for _ in \$(seq 5000); do curl -fs -o /dev/null http://127.0.0.1:$relay_port/ || true; done" &
pids+=($!)
sleep 4
shoot_window floating-window "$(window_named "Zelkora Traffic")"
menu_item 2
monitor=$(window_named "Zelkora Monitor")
sleep 8  # a few seconds of bars
shoot_window monitor "$monitor"
keys "$monitor" Escape

# The main menu's last item.
keys "$main" F10
sleep 0.3
xdotool key Up Return
option=$(window_named Option)
shoot_window option-dialog "$option"
keys "$option" Escape

# The main menu's first item, the web interface's settings. Escape is Cancel: the server that
# the program started keeps running for the pages photographed below.
menu_item 1
web_settings=$(window_named "Web Maintain and Operation")
shoot_window web-settings "$web_settings"
keys "$web_settings" Escape

# The often used ports catalogue (the menu's third item).
menu_item 3
ports=$(window_named "Often Used Ports")
shoot_window often-used-ports "$ports"
keys "$ports" Escape

# View IP, the fourth.
menu_item 4
view_ip=$(window_named "View IP")
shoot_window view-ip "$view_ip"
keys "$view_ip" Escape

# The gateway's forwardings (the sixth item), listed once the search is done.
menu_item 6
router=$(window_named "Router Port Mappings")
for _ in $(seq 100); do grep -q '" 500 -' "$home/fake_gateway.log" && break; sleep 0.1; done
sleep 1
shoot_window router-window "$router"
keys "$router" Escape

# The port tester (the seventh), its address from the gateway, a port typed.
menu_item 7
tester=$(window_named "Port Forwarding Tester")
sleep 8  # the router's answer fills the address
keys "$tester" Tab
xdotool type --delay 50 "$relay_port"
sleep 0.5
shoot_window port-tester "$tester"
keys "$tester" Escape

# The port triggers (the fifth item), the running one selected, then the stopped one's
# edit dialog.
menu_item 5
triggers=$(window_named "Port Triggers")
keys "$triggers" Down Up
shoot_window triggers-window "$triggers"
keys "$triggers" Down
sleep 0.3
keys "$triggers" Tab Tab space  # the list, then Add, then Edit
trigger=$(window_named "Edit Port Trigger")
shoot_window trigger-dialog "$trigger"
keys "$trigger" Escape
keys "$triggers" Escape

# The main menu's System Log > Tail System Log.
keys "$main" F10
sleep 0.3
for _ in $(seq 8); do xdotool key Down; done
xdotool key Right Down Return
follower=$(window_named ".*zk-gate.log - Zelkora")
shoot_window log-follower "$follower"
xdotool windowclose "$follower" 2>/dev/null || keys "$follower" alt+F4

# The tray icon's menu, opened with the right button; the picture is the screen's lower right.
tray=""
for id in $(xdotool search --pid "$zelkora_pid" 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
    if [ "${WIDTH:-0}" -le 64 ] && [ "${HEIGHT:-0}" -le 64 ] && [ "${Y:-0}" -ge 700 ]; then
        tray=$id
        break
    fi
done
[ -n "$tray" ] || fail "the tray icon is not in icewm's tray"
xdotool mousemove --window "$tray" 8 8 click 3
sleep 0.7
import -window root "$home/screen.png"
convert "$home/screen.png" -gravity SouthEast -crop 420x220+0+0 +repage "$out/tray-menu.png"
echo "$out/tray-menu.png"
xdotool key Escape

# --- the web interface ---------------------------------------------------------------------
shoot_page() { # name url
    "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1100,700 \
        --screenshot="$out/$1.png" "$2" >/dev/null 2>&1 || fail "chromium could not draw $1"
    echo "$out/$1.png"
}
base="http://127.0.0.1:$web_port"
shoot_page web-list "$base/"
shoot_page web-add "$base/?action=add"
# Editing a running mapping is refused with a message page.
shoot_page web-message "$base/?name=proxy&action=edit"

kill -TERM "$zelkora_pid"
wait "$zelkora_pid" || fail "zelkora did not exit cleanly"
