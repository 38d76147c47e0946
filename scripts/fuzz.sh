#!/usr/bin/env bash
# Runs each libFuzzer target of a ZK_FUZZ build for a bounded time, starting from its corpus.
# New inputs go to a scratch folder; crashes fail the run and are left in the build folder.
set -euo pipefail
dir=${1:?build folder}
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for fuzzer in "$dir"/fuzz/*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    scratch=$(mktemp -d)
    echo "fuzz: $name for ${seconds}s"
    if ! "$fuzzer" -max_total_time="$seconds" -max_len=65536 -artifact_prefix="$dir/fuzz/$name-" \
        "$scratch" "$root/tests/fuzz/corpus/$name" >"$dir/fuzz/$name.log" 2>&1; then
        tail -n 40 "$dir/fuzz/$name.log"
        status=1
    fi
    rm -rf "$scratch"
done
exit $status
