#!/bin/sh
# Declares serial ports to a Wine prefix for the port-list test, and removes
# them again. COM12 and COM255 are registered with Wine as ports leading to
# the ends of the rig relay's pseudo-terminal pair (see tests/rig/), so
# Wine names them in its device namespace as Windows does. The rest are bare
# dosdevices links, which Wine opens but does not name: COM256, beyond the
# list (Wine takes no registered port above COM255), and COM200, a stale
# link to nothing.
#   wine_ports.sh start PREFIX
#   wine_ports.sh stop PREFIX
set -eu
[ $# -eq 2 ] || { echo "usage: $0 start|stop PREFIX" >&2; exit 2; }
case $2 in /*) prefix=$2 ;; *) prefix=$PWD/$2 ;; esac
wineports=$(dirname "$0")/../rig/wineports.sh
dosdevices=$prefix/dosdevices
state=$prefix.settings-ports
# Built by tests/rig/Rig.cmake beside the prefix's folder.
relay=${NULLMODEM_RELAY:-$(dirname "$prefix")/rig/ptyrelay}

unplug() {
    if [ -f "$state/relay.pid" ]; then
        kill "$(cat "$state/relay.pid")" 2>/dev/null || true
    fi
    for name in com200 com256; do
        # Only our own links: another test may map ports of its own.
        case $(readlink "$dosdevices/$name" 2>/dev/null) in "$state"/*) rm -f "$dosdevices/$name" ;; esac
    done
    rm -rf "$state"
}

stop() {
    unplug
    bash "$wineports" remove "$prefix" COM12 COM255
}

# The registration is left to be overwritten: removing it first would cost
# a second restart of Wine.
start() {
    unplug
    mkdir -p "$state"
    # Its own session, and no pipe of the test runner held open.
    setsid "$relay" "$state/a" "$state/b" </dev/null >"$state/relay.log" 2>&1 &
    echo $! >"$state/relay.pid"
    tries=0
    until [ -e "$state/a" ] && [ -e "$state/b" ]; do
        tries=$((tries + 1))
        [ $tries -le 100 ] || { cat "$state/relay.log" >&2; stop; echo "the relay made no ptys" >&2; exit 1; }
        sleep 0.05
    done
    bash "$wineports" add "$prefix" COM12="$state/a" COM255="$state/b" || { stop; exit 1; }
    ln -sfn "$state/a" "$dosdevices/com256"
    ln -sfn "$state/absent" "$dosdevices/com200"
}

case $1 in
    start) start ;;
    stop) stop ;;
    *) echo "usage: $0 start|stop PREFIX" >&2; exit 2 ;;
esac
