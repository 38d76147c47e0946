# Sourced by the scripts that show the desktop program on a screen of their own.
# start_virtual_screen FIRST_DISPLAY LOG_DIR: starts Xvfb on the first free display from
# FIRST_DISPLAY on (1280x800, no TCP) and icewm on it (title bars and a tray), exports DISPLAY,
# and appends both process ids to the caller's `pids` array so its cleanup stops them.
start_virtual_screen() {
    local display=$1 logs=$2
    while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$logs/xvfb.out" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    [ -S "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start on :$display" >&2; return 1; }
    export DISPLAY=":$display"
    icewm >"$logs/icewm.out" 2>&1 &
    pids+=($!)
    sleep 2  # the window manager and its tray take over the screen
}

# Fails unless the screen's tools are installed.
require_screen_tools() {
    local tool
    for tool in Xvfb icewm xdotool "$@"; do
        command -v "$tool" >/dev/null || { echo "$tool is missing; run scripts/bootstrap.sh" >&2; return 1; }
    done
}

# Stops every process in `pids` (the caller's), by PID, and waits for them.
stop_started_processes() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}

# Prints the id of a shown window whose whole title matches TITLE (a regular expression),
# waiting up to 5 s for it; prints nothing when none shows.
visible_window() {
    local id=""
    for _ in $(seq 50); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}
