#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build with warnings as errors,
# the desktop program's window tests, the AddressSanitizer+UBSan build, the ThreadSanitizer build
# and the fuzz targets.
# Exits non-zero on any failure. `./test.sh --quick` runs the plain build's tests only.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/bootstrap.sh

jobs=$(nproc)
quick=0
[ "${1:-}" = "--quick" ] && quick=1

build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DZK_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

run_tests() { # dir, extra ctest args...
    local dir=$1; shift
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"
}

build build -DZK_BUILD_GUI=ON
run_tests build
[ $quick -eq 1 ] && exit 0

if command -v clang-format >/dev/null; then
    cmake --build build --target format-check
fi

build build-asan -DCMAKE_BUILD_TYPE=Debug -DZK_SANITIZE=address,undefined -DZK_BUILD_GUI=ON
ASAN_OPTIONS=detect_leaks=1 run_tests build-asan

# Qt is not built for ThreadSanitizer: its windows are tested in the builds above.
build build-tsan -DCMAKE_BUILD_TYPE=Debug -DZK_SANITIZE=thread -DZK_BUILD_GUI=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_tests build-tsan -L threads

# Libraries get coverage instrumentation too, so libFuzzer can steer into them.
CC=clang CXX=clang++ build build-fuzz -DZK_FUZZ=ON -DZK_BUILD_TESTS=OFF -DZK_BUILD_GUI=OFF \
    -DZK_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
./scripts/fuzz.sh build-fuzz "${ZK_FUZZ_SECONDS:-20}"
