#!/usr/bin/env bash
# Installs every Debian package the build and the tests need; does nothing when all are present.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev clang-format
    libexpat1-dev libssl-dev openssl
    googletest libgtest-dev libgmock-dev
    procps
    chromium
    curl stunnel4
    qt6-base-dev qt6-base-dev-tools libgl-dev
    xvfb icewm x11-apps xdotool imagemagick
)
# The browser test runs playwright-core with node and npm; the machine's own node is kept when
# there is one.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
