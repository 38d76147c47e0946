#!/usr/bin/env bash
# Runs the browser test of the web interface. playwright-core comes from npm, installed with
# `npm ci` from the lockfile into WORK_DIR (a build folder, never the source tree); the browser is
# Debian's chromium (scripts/bootstrap.sh installs it). A missing browser or node fails the test.
#
# Usage: run.sh ZELKORAD STAGED_PROGRAM_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zelkorad=$1 program_dir=$2 work=$3

fail() { echo "web browser test: $*" >&2; exit 1; }
[ -x /usr/bin/chromium ] || fail "/usr/bin/chromium is missing; run scripts/bootstrap.sh"
command -v node >/dev/null || fail "node is missing; run scripts/bootstrap.sh"
command -v npm >/dev/null || fail "npm is missing; run scripts/bootstrap.sh"

mkdir -p "$work"
cp "$here/package.json" "$here/package-lock.json" "$here/web_browser_test.mjs" "$work/"
stamp="$work/node_modules/.zk-installed-lock"
if ! cmp -s "$work/package-lock.json" "$stamp" 2>/dev/null; then
    (cd "$work" && npm ci --no-audit --no-fund --loglevel=error) || fail "npm ci failed"
    cp "$work/package-lock.json" "$stamp"
fi
exec node "$work/web_browser_test.mjs" "$zelkorad" "$program_dir"
