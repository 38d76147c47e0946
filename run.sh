#!/usr/bin/env bash
# Installs what is missing, builds, and runs Zelkora from the staged program directory in build/:
# the desktop program when a display is there and it was built, otherwise zelkorad in the
# foreground (Ctrl-C saves the configuration and exits). Arguments are passed on.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/bootstrap.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/zelkora ]; then
    exec build/zelkora "$@"
fi
exec build/zelkorad "$@"
