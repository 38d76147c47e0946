#!/bin/sh
# Makes the test certificates (P-256 keys, quick to make) in the directory given:
# - pair1.crt/pair1.key and pair2.crt/pair2.key, two unrelated self-signed pairs;
# - a small authority: root.crt/root.key, and signed by it server.crt/server.key and
#   client.crt/client.key;
# - other_root.crt/other_root.key, an unrelated root, and stranger.crt/stranger.key signed by it.
# Each file is made aside and renamed into place, the pairs last, so a test reading the directory
# meanwhile sees a whole file or none, and finding the pairs finds the rest.
set -eu
dir=$1
mkdir -p "$dir"
aside=$(mktemp -d "$dir/.making.XXXXXX")
trap 'rm -rf "$aside"' EXIT

run() {
    "$@" 2>"$aside/errors" || { cat "$aside/errors" >&2; exit 1; }
}

# self_signed TAG SUBJECT: a self-signed certificate (a root: basic constraints CA:TRUE).
self_signed() {
    run openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
        -subj "$2" -keyout "$aside/$1.key" -out "$aside/$1.crt"
}

# signed TAG SUBJECT ROOT: a leaf certificate for a new key, signed by ROOT.
signed() {
    run openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "$2" \
        -keyout "$aside/$1.key" -out "$aside/$1.csr"
    printf 'basicConstraints = CA:FALSE\n' >"$aside/leaf.ext"
    run openssl x509 -req -in "$aside/$1.csr" -CA "$aside/$3.crt" -CAkey "$aside/$3.key" \
        -CAcreateserial -days 30 -extfile "$aside/leaf.ext" -out "$aside/$1.crt"
}

self_signed root "/CN=Zelkora Test Root"
signed server /CN=server root
signed client /CN=client root
self_signed other_root "/CN=Other Test Root"
signed stranger /CN=stranger other_root
for tag in pair1 pair2; do
    self_signed "$tag" /CN=localhost
done
for tag in root server client other_root stranger pair1 pair2; do
    mv "$aside/$tag.key" "$dir/$tag.key"
    mv "$aside/$tag.crt" "$dir/$tag.crt"
done
