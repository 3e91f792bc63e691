#!/bin/sh
# Maps serial ports into a Wine prefix for the port-probe test, and removes
# them again. Wine opens COMn through PREFIX/dosdevices/comn, so each port is
# a link there to one end of a socat pseudo-terminal pair.
#   wine_ports.sh start PREFIX   com12 and com255 (probed), com256 (beyond
#                                the probe), com200 (a link to nothing)
#   wine_ports.sh stop PREFIX
set -eu
[ $# -eq 2 ] || { echo "usage: $0 start|stop PREFIX" >&2; exit 2; }
case $2 in /*) prefix=$2 ;; *) prefix=$PWD/$2 ;; esac
dosdevices=$prefix/dosdevices
state=$prefix.settings-ports

stop() {
    if [ -f "$state/socat.pid" ]; then
        kill "$(cat "$state/socat.pid")" 2>/dev/null || true
    fi
    for name in com12 com200 com255 com256; do
        # Only our own links: another test may map ports of its own.
        case $(readlink "$dosdevices/$name" 2>/dev/null) in "$state"/*) rm -f "$dosdevices/$name" ;; esac
    done
    rm -rf "$state"
}

start() {
    stop
    mkdir -p "$state" "$dosdevices"
    # Its own session, and no pipe of the test runner held open.
    setsid socat pty,raw,echo=0,link="$state/a" pty,raw,echo=0,link="$state/b" \
        </dev/null >"$state/socat.log" 2>&1 &
    echo $! >"$state/socat.pid"
    tries=0
    until [ -e "$state/a" ] && [ -e "$state/b" ]; do
        tries=$((tries + 1))
        [ $tries -le 100 ] || { cat "$state/socat.log" >&2; stop; echo "socat made no ptys" >&2; exit 1; }
        sleep 0.05
    done
    ln -sfn "$state/a" "$dosdevices/com12"
    ln -sfn "$state/b" "$dosdevices/com255"
    ln -sfn "$state/a" "$dosdevices/com256"
    ln -sfn "$state/absent" "$dosdevices/com200"
}

case $1 in
    start) start ;;
    stop) stop ;;
    *) echo "usage: $0 start|stop PREFIX" >&2; exit 2 ;;
esac
