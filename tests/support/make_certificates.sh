#!/bin/sh
# Makes the two unrelated self-signed test pairs, pair1.crt/pair1.key and pair2.crt/pair2.key
# (P-256 keys, quick to make), in the directory given. Each file is made aside and renamed into
# place, so a test reading the directory meanwhile sees a whole file or none.
set -eu
dir=$1
mkdir -p "$dir"
aside=$(mktemp -d "$dir/.making.XXXXXX")
trap 'rm -rf "$aside"' EXIT
for tag in pair1 pair2; do
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
        -subj /CN=localhost -keyout "$aside/$tag.key" -out "$aside/$tag.crt" 2>"$aside/errors" ||
        { cat "$aside/errors" >&2; exit 1; }
done
for tag in pair1 pair2; do
    mv "$aside/$tag.key" "$dir/$tag.key"
    mv "$aside/$tag.crt" "$dir/$tag.crt"
done
