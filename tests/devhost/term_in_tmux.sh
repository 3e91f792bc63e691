#!/bin/bash
# devhost in a real terminal: Wine's console in a tmux pane, typed at with
# send-keys and read with capture-pane. Usage: term_in_tmux.sh CASE
#   echo    the echoing instrument on the rig: info and term show Cyrillic;
#           Esc clears the typed line and Backspace deletes a character;
#           the line typed reaches the instrument and its answer shows; a
#           half-typed line is said at Ctrl+C, which ends term with status 0
#   stream  instrument_sim gnss streaming 10 fixes a second: a typed line
#           reaches the instrument within 300 ms all the same
# Environment (set by CTest): RUN_IN_WINE, BIN_DIR, WORK_DIR, RIG_DIR.
set -u

case_name=$1
work=$WORK_DIR/term_in_tmux_$case_name
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

pane_shows() {
    tmux_ capture-pane -p -t term | grep -Eq -- "$1"
}

# Polls the pane for a line matching the regular expression, up to 30 s.
wait_for_pane() {
    local tick
    for tick in $(seq 150); do
        pane_shows "$1" && return 0
        sleep 0.2
    done
    fail "the pane never showed /$1/"
}

milliseconds() { echo $(($(date +%s%N) / 1000000)); }

printf '[DeviceCommon]\r\nPORT=COM5\r\nBAUDRATE=38400\r\nPARITY=0\r\nBYTESIZE=8\r\nSTOPBITS=0\r\nFLOWCONTROL=0\r\nWATETIME=2\r\n' \
    >"$work/devhost.ini"
/usr/bin/python3 "$(dirname "$0")/../rig/drain.py" "$RIG_DIR/com5"
devhost="'$RUN_IN_WINE' '$BIN_DIR/devhost.exe' --settings 'Z:${work//\//\\}\\devhost.ini'"
# The pane's terminal is UTF-8, as a Linux user's is.
open_pane() {
    tmux_ new-session -d -s term -x 100 -y 30 -e LANG=C.UTF-8 \
        "$1; echo \"[term exit status \$?]\"; sleep 60"
}

end_term() {
    tmux_ send-keys -t term C-c
    wait_for_pane '^\[term exit status [0-9]+\]'
    pane_shows '^\[term exit status 0\]' || fail "term did not end with status 0"
}

case_echo() {
    /usr/bin/python3 "$(dirname "$0")/echo_instrument.py" "$RIG_DIR/com6" "$work/heard.bin" --quiet 30 &
    instrument=$!
    open_pane "$devhost info; $devhost term --restart"
    wait_for_pane '^name +Другой$'
    wait_for_pane '^\[exchange started\]'
    wait_for_pane '^> .*waiting for data'
    tmux_ send-keys -t term 'abc'
    wait_for_pane '^> abc '
    tmux_ send-keys -t term Escape
    wait_for_pane '^>  +in 0 B'
    tmux_ send-keys -t term 'Жук €x' BSpace
    wait_for_pane '^> Жук € +in 0 B'
    tmux_ send-keys -t term Enter
    wait_for_pane '^Жук €$'
    cmp "$work/heard.bin" <(printf 'Жук €\r\n') || fail "the instrument heard other bytes"
    tmux_ send-keys -t term 'half'
    wait_for_pane '^> half '
    end_term
    pane_shows '^\[not sent, still being typed: "half"\]' || fail "the half-typed line was not said"
    pane_shows '^received 12 bytes in .*, sent 12 bytes in 1 exchange; ended: stopped by Ctrl\+C$' || fail "no closing line"
}

case_stream() {
    "$RUN_IN_WINE" "$BIN_DIR/instrument_sim.exe" gnss COM6 --baud 38400 --seconds 8 --start-timeout 40 \
        --received "Z:${work//\//\\}\\heard.bin" >/dev/null 2>&1 &
    instrument=$!
    open_pane "$devhost term"
    wait_for_pane '^\[exchange started\]'
    tmux_ send-keys -t term '$PSIM,RATE,10*04' Enter
    wait_for_pane '^\$GPGGA'
    sleep 3
    local typed sent heard
    for typed in X1 X2 X3; do
        tmux_ send-keys -t term "$typed" Enter
        sent=$(milliseconds)
        until grep -q "$typed" "$work/heard.bin" 2>/dev/null; do
            [ $(($(milliseconds) - sent)) -lt 5000 ] || fail "$typed never reached the instrument"
            sleep 0.01
        done
        heard=$(($(milliseconds) - sent))
        echo "$typed reached the instrument $heard ms after Enter"
        [ "$heard" -le 300 ] || fail "$typed took $heard ms, more than 300 ms, while the instrument streamed"
        sleep 1
    done
    # Every byte it sent is taken by term before term ends, so none is left
    # in the cable for the next test.
    wait "$instrument" || fail "the instrument ended with status $?"
    instrument=
    end_term
}

"case_$case_name"
tmux_ capture-pane -p -t term
