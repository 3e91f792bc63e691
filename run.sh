#!/usr/bin/env bash
# One entry point for a fresh Debian machine (run as root):
#   ./run.sh demo   installs what is missing, builds, and runs the main job
#   ./run.sh test   installs what is missing, builds, and runs every test
#   ./run.sh build  installs what is missing and builds
#   ./run.sh bench  installs what is missing, builds, and runs the benchmarks
#                   on the null-modem rig (table in build/bench-results.md)
#   ./run.sh package  installs what is missing, builds, and makes the release
#                   package dist/DeviceCommon-<version>.zip and its .sha256
set -euo pipefail
cd "$(dirname "$0")"
BUILD_DIR=${BUILD_DIR:-build}
CLANG_BUILD_DIR=${CLANG_BUILD_DIR:-$BUILD_DIR-clang}
PACKAGES=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 googletest gcc python3-serial tmux unzip
          clang lld llvm clang-tidy cppcheck)

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
    cmake --preset mingw-gcc -B "$BUILD_DIR" >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}

# The same code through a second compiler, Debian's clang for the MinGW-w64
# target; any warning fails.
build_with_clang() {
    say "building with clang in $CLANG_BUILD_DIR"
    cmake --preset mingw-clang -B "$CLANG_BUILD_DIR" >/dev/null
    cmake --build "$CLANG_BUILD_DIR" -j "$(nproc)"
}

# What a host sees of a DLL's exports: its name, the ordinal base and each
# slot's ordinal and name, without the addresses, which differ by compiler.
export_table() {
    llvm-objdump -p "$1" | awk '
        /^Export Table:/ { on = 1; next }
        on && /^$/ { exit }
        on && /DLL name:|Ordinal base:/ { print; next }
        on && $1 ~ /^[0-9]+$/ { print "ordinal", $1, ($3 == "" ? "(empty)" : $3) }'
}

compare_exports() {
    say "comparing the clang DLL's exports with the g++ DLL's"
    local gxx clang
    gxx=$(export_table "$BUILD_DIR/bin/DeviceCommon.dll")
    clang=$(export_table "$CLANG_BUILD_DIR/bin/DeviceCommon.dll")
    if [ -z "$gxx" ]; then
        echo "no export table in $BUILD_DIR/bin/DeviceCommon.dll" >&2
        return 1
    fi
    diff -u --label g++ --label clang <(echo "$gxx") <(echo "$clang") && echo "$gxx"
}

# Of the clang build, the unit tests, whose out-of-memory paths unwind through
# libstdc++ as linked by lld, and the host ABI tests against its DLL; the rest
# would run the same source under the same Wine again for little.
run_clang_tests() {
    say "running the clang build's unit and host ABI tests under Wine"
    ctest --test-dir "$CLANG_BUILD_DIR" --output-on-failure --no-tests=error -j "$(nproc)" -L '^(unit|host_abi)$'
}

PRODUCT_DIRS=(plugin_api plugin settings serial win32 tools)

# clang-tidy reads the clang build's compile_commands.json (.clang-tidy names
# the checks); every finding is an error.
run_clang_tidy() {
    say "clang-tidy over ${PRODUCT_DIRS[*]}"
    local dirs
    dirs=$(IFS='|'; echo "${PRODUCT_DIRS[*]}")
    # Only the findings are worth reading, not the count of system-header
    # warnings it suppressed.
    run-clang-tidy -p "$CLANG_BUILD_DIR" -quiet -j "$(nproc)" "^$PWD/($dirs)/" 2>&1 |
        { grep -v -e 'warnings generated\.$' -e '^clang-tidy-[0-9]* ' || true; }
}

# The naming rule holds in the tests and the bench too (tests/.clang-tidy
# says what it does not ask of a test fixture).
run_naming_check() {
    say "naming check over tests bench"
    run-clang-tidy -p "$CLANG_BUILD_DIR" -quiet -j "$(nproc)" -checks='-*,readability-identifier-naming' \
        -header-filter="^$PWD/(tests|bench)/" "^$PWD/(tests|bench)/" 2>&1 |
        { grep -v -e 'warnings generated\.$' -e '^clang-tidy-[0-9]* ' || true; }
}

# cppcheck needs no build; deliberate exceptions are listed with their reasons
# in cppcheck-suppressions.txt.
run_cppcheck() {
    say "cppcheck over ${PRODUCT_DIRS[*]}"
    cppcheck -q -j "$(nproc)" --std=c++17 --language=c++ --platform=win64 --library=windows \
        --enable=warning,style,performance,portability --inline-suppr \
        --suppressions-list=cppcheck-suppressions.txt --error-exitcode=1 \
        -DUNICODE -D_UNICODE -D_WIN64 -I . -I tools/devhost -I tools/capture -I tools/instrument_sim \
        "${PRODUCT_DIRS[@]}"
}

run_tests() {
    build
    build_with_clang
    compare_exports
    run_clang_tests
    run_clang_tidy
    run_naming_check
    run_cppcheck
    say "running the tests under Wine"
    ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
}

# A simulated GNSS receiver on COM6, devhost with the plug-in on COM5, joined
# by a virtual null-modem cable; then every received sentence is checked.
demo() {
    build
    local wine="$BUILD_DIR/run-in-wine.sh" bin="$BUILD_DIR/bin" out="$BUILD_DIR/demo" baud=38400
    local prefix winout
    prefix="$(realpath "$BUILD_DIR")/wineprefix"
    mkdir -p "$out"
    winout="Z:$(realpath "$out" | tr / '\\')"
    rm -f "$out/received.nmea" "$out/sent.nmea"

    say "the plug-in as a host sees it"
    "$wine" "$bin/devhost.exe" info
    say "joining COM5 and COM6 with a virtual null-modem cable"
    tests/rig/nullmodem.sh start "$prefix" com5 com6
    trap "tests/rig/nullmodem.sh stop '$prefix' >/dev/null" EXIT
    say "the plug-in's settings list, with the ports it found"
    rm -f "$out/devhost.ini"
    "$wine" "$bin/devhost.exe" --settings "$winout\\devhost.ini" settings
    say "choosing COM5, $baud baud 8N1, no flow control, quiet time 2 s (saved in $out/devhost.ini)"
    "$wine" "$bin/devhost.exe" --settings "$winout\\devhost.ini" set port=COM5 baud=$baud parity=none data=8 stop=1 flow=none wait=2
    say "starting the GNSS receiver on COM6: it waits for the host's command, then sends fixes for 4 s"
    "$wine" "$bin/instrument_sim.exe" gnss COM6 --baud $baud --seconds 4 --sent "$winout\\sent.nmea" &
    local instrument=$!
    sleep 1
    say "devhost receives on COM5, sends the command \$PSIM,RATE,10 and ends after 2 s without data"
    "$wine" "$bin/devhost.exe" --settings "$winout\\devhost.ini" receive --out "$winout\\received.nmea" --text \
        --say '$PSIM,RATE,10*04\r\n'
    wait "$instrument"
    say "checking every sentence in $out/received.nmea"
    "$wine" "$bin/instrument_sim.exe" check "$winout\\received.nmea" --baud $baud
    cmp -s "$out/sent.nmea" "$out/received.nmea" && echo "byte for byte what the instrument sent"
}

bench() {
    build
    local prefix results cpu
    prefix=$(cd "$BUILD_DIR" && pwd)/wineprefix
    results=$BUILD_DIR/bench-results.md
    cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
    "$BUILD_DIR/run-in-wine.sh" --prepare
    say "joining COM5-COM6, COM7-COM8, COM9-COM10 and COM11-COM12 of the test prefix with the null-modem rig"
    bash tests/rig/nullmodem.sh start "$prefix" com5 com6 com7 com8 com9 com10 com11 com12 >/dev/null
    trap "bash tests/rig/nullmodem.sh stop '$prefix' >/dev/null" EXIT
    {
        echo "Benchmarks of $(date -u '+%Y-%m-%d %H:%M UTC') on $(uname -n): $(uname -srm), $(nproc) cores${cpu:+ ($cpu)}, $(/usr/lib/wine/wine64 --version 2>/dev/null || echo Wine)"
        echo
        echo "Each figure with a baseline: ${BENCH_RUNS:-9} runs of the plug-in interleaved with as many of the baseline;"
        echo "median (lowest–highest) of each side, the ratio of the medians (lowest–highest of the per-run ratios,"
        echo "each plug-in run over the baseline run beside it; the plug-in goes first in every other run); met only when the ratio and its whole spread meet the target."
        echo
        echo "| measure | plug-in | baseline | ratio | target | met |"
        echo "|---|---|---|---|---|---|"
    } >"$results"
    say "the exchange on the rig against bare Win32 loops on the same ports"
    "$BUILD_DIR/run-in-wine.sh" "$BUILD_DIR/bin/exchange_bench.exe" "$results"
    say "FillView against one bare open of a port it lists, in the test prefix"
    "$BUILD_DIR/run-in-wine.sh" "$BUILD_DIR/bin/fillview_bench.exe" "$results"
    # The page keeps its text down to the mark; the table after it is this run's.
    local page=docs/benchmarks.md mark='<!-- Everything below this line is written by ./run.sh bench. -->'
    { sed "/^${mark//\//\\/}\$/q" "$page"; echo; cat "$results"; } >"$page.new" && mv "$page.new" "$page"
    say "results written to $results and $page"
    cat "$results"
}

# The plug-in, devhost, the instrument simulator, a user README and their
# checksums in one zip, with the zip's own checksum beside it.
package() {
    build
    say "packaging into dist/"
    cpack --config "$BUILD_DIR/CPackConfig.cmake"
    # CPack stages the files beside the package; only the package is kept.
    rm -rf dist/_CPack_Packages
    ls -l dist
}

case "${1:-}" in
    demo) demo ;;
    test) run_tests ;;
    build) build ;;
    bench) bench ;;
    package) package ;;
    *) echo "usage: $0 demo|test|build|bench|package" >&2; exit 2 ;;
esac
