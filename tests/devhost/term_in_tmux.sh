#!/bin/bash
# devhost term in a real terminal: Wine's console in a tmux pane, typed at
# with send-keys and read with capture-pane, against the echoing instrument
# on the rig. A typed line reaches the instrument and its answer shows in
# the pane; Ctrl+C ends term with status 0 and its closing line.
# Environment (set by CTest): RUN_IN_WINE, BIN_DIR, WORK_DIR, RIG_DIR.
set -u

work=$WORK_DIR/term_in_tmux
rm -rf "$work" && mkdir -p "$work"
socket=devhost-term-$$
tmux_() { tmux -L "$socket" "$@"; }
instrument=

finish() {
    tmux_ kill-server 2>/dev/null
    [ -n "$instrument" ] && kill "$instrument" 2>/dev/null
}
trap finish EXIT

fail() {
    echo "FAIL: $*" >&2
    echo "--- the pane:" >&2
    tmux_ capture-pane -p -t term >&2
    exit 1
}

# Polls the pane for a line matching the regular expression, up to 30 s.
wait_for_pane() {
    local tick
    for tick in $(seq 150); do
        tmux_ capture-pane -p -t term | grep -Eq -- "$1" && return 0
        sleep 0.2
    done
    fail "the pane never showed /$1/"
}

printf '[DeviceCommon]\r\nPORT=COM5\r\nBAUDRATE=38400\r\nPARITY=0\r\nBYTESIZE=8\r\nSTOPBITS=0\r\nFLOWCONTROL=0\r\nWATETIME=2\r\n' \
    >"$work/devhost.ini"
/usr/bin/python3 "$(dirname "$0")/../rig/drain.py" "$RIG_DIR/com5"
/usr/bin/python3 "$(dirname "$0")/echo_instrument.py" "$RIG_DIR/com6" "$work/heard.bin" --quiet 30 &
instrument=$!

ini="Z:${work//\//\\}\\devhost.ini"
tmux_ new-session -d -s term -x 100 -y 24 \
    "'$RUN_IN_WINE' '$BIN_DIR/devhost.exe' --settings '$ini' term --restart; echo \"[term exit status \$?]\"; sleep 60"
wait_for_pane '^\[exchange started\]'
wait_for_pane '^> .*waiting for data'
tmux_ send-keys -t term 'hello from tmux'
wait_for_pane '^> hello from tmux'
tmux_ send-keys -t term Enter
wait_for_pane '^hello from tmux$'
cmp "$work/heard.bin" <(printf 'hello from tmux\r\n') || fail "the instrument heard other bytes"
tmux_ send-keys -t term C-c
wait_for_pane '^\[term exit status [0-9]+\]'
tmux_ capture-pane -p -t term | grep -q '^\[term exit status 0\]' || fail "term did not end with status 0"
tmux_ capture-pane -p -t term | grep -q '^received 17 bytes in .*, sent 17 bytes' || fail "no closing line"
tmux_ capture-pane -p -t term
