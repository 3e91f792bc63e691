#!/usr/bin/env bash
# One entry point for a fresh Debian machine (run as root):
#   ./run.sh demo   installs what is missing, builds, and runs the main job
#   ./run.sh test   installs what is missing, builds, and runs every test
#   ./run.sh build  installs what is missing and builds
#   ./run.sh bench  installs what is missing, builds, and times FillView
set -euo pipefail
cd "$(dirname "$0")"
BUILD_DIR=${BUILD_DIR:-build}
PACKAGES=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 googletest socat gcc)

say() { printf '\n== %s\n' "$*"; }

install_missing() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
    done
    if ((${#missing[@]})); then
        say "installing ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

build() {
    install_missing
    say "configuring and building in $BUILD_DIR"
    cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}

run_tests() {
    build
    say "running the tests under Wine"
    ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
}

demo() {
    build
    say "the plug-in as a host sees it"
    "$BUILD_DIR/run-in-wine.sh" "$BUILD_DIR/bin/devhost.exe" info
}

bench() {
    build
    say "FillView against 255 bare opens, in the test prefix"
    "$BUILD_DIR/run-in-wine.sh" "$BUILD_DIR/bin/fillview_bench.exe"
}

case "${1:-}" in
    demo) demo ;;
    test) run_tests ;;
    build) build ;;
    bench) bench ;;
    *) echo "usage: $0 demo|test|build|bench" >&2; exit 2 ;;
esac
