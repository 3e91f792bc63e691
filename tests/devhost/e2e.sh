#!/bin/bash
# End-to-end cases of devhost against the simulated instrument, on COM5 and
# COM6 joined by the null-modem rig. Usage: e2e.sh CASE
# Environment (set by CTest): RUN_IN_WINE, BIN_DIR, WORK_DIR, RIG_DIR (the
# rig's state folder, with the Linux ends of the pair).
set -u

case_name=$1
work=$WORK_DIR/$case_name
rm -rf "$work" && mkdir -p "$work"
ini=$work/devhost.ini

instrument=
fail() {
    echo "FAIL: $*" >&2
    [ -n "$instrument" ] && kill "$instrument" 2>/dev/null
    exit 1
}

# Wine sees the Unix root as drive Z:.
winpath() {
    printf 'Z:%s' "${1//\//\\}"
}

devhost() {
    "$RUN_IN_WINE" "$BIN_DIR/devhost.exe" --settings "$(winpath "$ini")" "$@"
}

write_settings() {
    printf '[DeviceCommon]\r\nPORT=%s\r\nBAUDRATE=38400\r\nPARITY=0\r\nBYTESIZE=8\r\nSTOPBITS=0\r\nFLOWCONTROL=0\r\nWATETIME=2\r\n' \
        "$1" >"$ini"
}

start_instrument() {
    "$RUN_IN_WINE" "$BIN_DIR/instrument_sim.exe" gnss COM6 --baud 38400 --seconds 2 --start-timeout 40 \
        --sent "$(winpath "$work/sent.bin")" --received "$(winpath "$work/heard.bin")" &
    instrument=$!
}

# The echoing instrument on the Linux end of COM6, keeping what it heard.
start_echo() {
    /usr/bin/python3 "$(dirname "$0")/echo_instrument.py" "$RIG_DIR/com6" "$work/heard.bin" --quiet 1 "$@" &
    instrument=$!
    sleep 0.5
}

# The bytes of one direction of a capture, in order.
capture_bytes() {
    /usr/bin/python3 -c 'import sys
blocks = [line.split() for line in open(sys.argv[1]) if not line.startswith("#")]
sys.stdout.buffer.write(bytes(int(b, 16) for block in blocks if block[1] == sys.argv[2] for b in block[2:]))' "$1" "$2"
}

finish_instrument() {
    local pid=$instrument status
    instrument=
    wait "$pid"
    status=$?
    [ $status -eq 0 ] || fail "the instrument ended with status $status"
}

# Every byte the instrument wrote arrives in --out, in order, nothing added.
case_receive() {
    write_settings COM5
    start_instrument
    devhost receive --out "$(winpath "$work/received.bin")" --say '$PSIM,RATE,10*04\r\n'
    local status=$?
    [ $status -eq 0 ] || fail "devhost status $status"
    finish_instrument
    [ -s "$work/sent.bin" ] || fail "the instrument sent nothing"
    cmp "$work/sent.bin" "$work/received.bin" || fail "received bytes differ from those sent"
    grep -q 'PSIM,ACK,RATE,10' "$work/received.bin" || fail "no answer to the command"
}

# A file with every byte value (XON and XOFF included) reaches the
# instrument unchanged, after the line that starts its output.
case_send() {
    write_settings COM5
    local payload=$work/payload.bin
    {
        printf '$PSIM,RATE,5*30\r\n'
        for _ in $(seq 40); do
            printf "$(printf '\\\\x%02x' $(seq 0 255))"
        done
    } >"$payload"
    start_instrument
    devhost receive --out "$(winpath "$work/received.bin")" --send "$(winpath "$payload")" 2>"$work/stderr.txt"
    local status=$?
    cat "$work/stderr.txt" >&2
    [ $status -eq 0 ] || fail "devhost status $status"
    finish_instrument
    cmp "$payload" "$work/heard.bin" || fail "the instrument heard other bytes than the file's"
    grep -q "of $(stat -c %s "$payload") bytes" "$work/stderr.txt" || fail "devhost did not report the whole send"
}

# set stores valid values through the plug-in and refuses the rest, naming
# the valid choices, without touching the file.
case_set() {
    write_settings COM5
    devhost set port=COM6 baud=115200 parity=even data=7 stop=2 flow=xonxoff wait=5
    local status=$?
    [ $status -eq 0 ] || fail "valid set: status $status"
    local expected
    for expected in PORT=COM6 BAUDRATE=115200 PARITY=2 BYTESIZE=7 STOPBITS=2 FLOWCONTROL=2 WATETIME=5; do
        tr -d '\r' <"$ini" | grep -qx "$expected" || fail "$expected not in the settings file"
    done
    cp "$ini" "$work/before.ini"
    devhost set baud=9600 parity=nome 2>"$work/stderr.txt"
    [ $? -eq 5 ] || fail "an invalid parity must give status 5"
    grep -q 'Нет (none)' "$work/stderr.txt" || fail "the message must name the valid parities"
    devhost set port=COM99 2>"$work/stderr.txt"
    [ $? -eq 5 ] || fail "a missing port must give status 5"
    grep -q 'port=COM99 is not among the choices: ' "$work/stderr.txt" || fail "the message must name the ports"
    cmp "$ini" "$work/before.ini" || fail "a refused set changed the file"
}

# A port that does not exist ends devhost with status 3, naming the port
# with what Windows said and the plug-in's own message, decoded from UTF-8,
# then the ports present, each with the line that stores it; the plug-in's
# trace names them too, and settings says it as well.
case_missing_port() {
    local absent='COM9 is not present; Windows names no device that held it (under Wine, ports have no device entry).'
    write_settings COM9
    devhost --trace receive 2>"$work/stderr.txt"
    local status=$? port
    cat "$work/stderr.txt"
    [ $status -eq 3 ] || fail "status $status, not 3"
    grep -q '^devhost: COM9 could not be opened: .*(error [0-9]*); the plug-in says: Ошибка открытия порта\.$' \
        "$work/stderr.txt" || fail "the port, Windows' word or the plug-in's message is missing"
    grep -qxF "$absent" "$work/stderr.txt" || fail "it is not said that COM9 is not present"
    for port in COM5 COM6; do
        grep -qx "    devhost set port=$port" "$work/stderr.txt" || fail "$port is not offered"
    done
    grep -q '^DeviceCommon: \\\\\.\\COM9 is not there; ports present now: .*COM5, COM6' "$work/stderr.txt" ||
        fail "the plug-in's trace does not name the ports present"
    devhost settings 2>/dev/null | grep -qxF "$absent" || fail "settings does not say that COM9 is not present"
}

# The cable pulled mid-exchange: devhost says the device is gone and ends
# with status 7, not as a normal end. The cable goes back for the next test.
case_pulled() {
    write_settings COM5
    local prefix=${RIG_DIR%.nullmodem} tick status
    # Expanded now: the function's locals are gone when the script exits. The
    # wineserver it restarts must not hold the test runner's pipes.
    trap "bash '$NULLMODEM' start '$prefix' com5 com6 </dev/null >/dev/null 2>&1 ||
          echo 'the cable could not be put back' >&2" EXIT
    "$RUN_IN_WINE" "$BIN_DIR/instrument_sim.exe" gnss COM6 --baud 38400 --seconds 60 --start-timeout 40 \
        >/dev/null 2>&1 &
    instrument=$!
    devhost receive --out "$(winpath "$work/received.bin")" --capture "$(winpath "$work/receive.cap")" \
        --say '$PSIM,RATE,10*04\r\n' 2>"$work/stderr.txt" &
    local host=$!
    for tick in $(seq 150); do
        grep -q ' in ' "$work/receive.cap" 2>/dev/null && break
        sleep 0.2
    done
    bash "$NULLMODEM" stop "$prefix"
    for tick in $(seq 100); do
        kill -0 $host 2>/dev/null || break
        sleep 0.2
    done
    kill -0 $host 2>/dev/null && fail "devhost did not end within 20 s of the pull"
    wait $host
    status=$?
    kill "$instrument" 2>/dev/null
    instrument=
    cat "$work/stderr.txt" >&2
    [ $status -eq 7 ] || fail "status $status, not 7"
    grep -q '^received .*; ended: the device is gone' "$work/stderr.txt" || fail "the summary does not say why"
}

# ports lists the rig's pair; ports --plug names the pair plugged in while it
# waits, with the lines that store it. stop takes the plugged pair away too;
# the rig is put back for the next test.
case_plug() {
    local prefix=${RIG_DIR%.nullmodem} tick host status
    devhost ports >"$work/ports.txt"
    status=$?
    cat "$work/ports.txt"
    [ $status -eq 0 ] || fail "ports: status $status"
    grep -qx '  COM5: Windows names no device' "$work/ports.txt" && grep -qx '  COM6: Windows names no device' \
        "$work/ports.txt" || fail "ports does not list COM5 and COM6"
    # Not through the function, so that host is devhost's own pid.
    "$RUN_IN_WINE" "$BIN_DIR/devhost.exe" ports --plug >"$work/plug.txt" 2>&1 &
    host=$!
    trap "kill $host 2>/dev/null; bash '$NULLMODEM' start '$prefix' com5 com6 </dev/null >/dev/null 2>&1 ||
          echo 'the rig could not be put back' >&2" EXIT
    for tick in $(seq 100); do
        grep -q '^plug the instrument' "$work/plug.txt" && break
        sleep 0.2
    done
    sleep 2
    bash "$NULLMODEM" plug "$prefix" com7 com8 >/dev/null || fail "the pair could not be plugged in"
    for tick in $(seq 50); do
        kill -0 $host 2>/dev/null || break
        sleep 0.2
    done
    kill -0 $host 2>/dev/null && fail "ports --plug did not end within 10 s of the plug"
    wait $host
    status=$?
    cat "$work/plug.txt"
    [ $status -eq 0 ] || fail "ports --plug: status $status"
    grep -qx 'new port COM7: Windows names no device' "$work/plug.txt" &&
        grep -qx '    devhost set port=COM7' "$work/plug.txt" || fail "the new port or its set line is not named"
    bash "$NULLMODEM" stop "$prefix"
    [ ! -e "$prefix/dosdevices/com7" ] && [ ! -e "$RIG_DIR/com7" ] && ! pgrep -f "$RIG_DIR/com7" >/dev/null ||
        fail "stop left the plugged pair"
}

# --trace shows why the exchange ended, and line settings the driver
# refused (9 data bits, stored by hand); the exchange runs on regardless.
case_trace() {
    write_settings COM5
    sed -i 's/^BYTESIZE=8/BYTESIZE=9/' "$ini"
    start_instrument
    devhost --trace receive --out "$(winpath "$work/received.bin")" --say '$PSIM,RATE,10*04\r\n' 2>"$work/stderr.txt"
    local status=$?
    cat "$work/stderr.txt" >&2
    [ $status -eq 0 ] || fail "devhost status $status"
    finish_instrument
    grep -q '^DeviceCommon: .*COM5 opened, but the driver refused 38400 baud, data bits 9, parity none' "$work/stderr.txt" ||
        fail "the refused settings are not in the trace"
    grep -q '^DeviceCommon: .*COM5: exchange ended: no data for more than 2 s' "$work/stderr.txt" ||
        fail "the idle end is not in the trace"
}

# term fed from a pipe sends each line with the chosen ending (or the hex
# bytes typed, refusing a bad hex line) and shows what the instrument echoed.
case_term_pipe() {
    write_settings COM5
    local run options input heard shown status
    while IFS='|' read -r run options input heard shown; do
        start_echo
        # shellcheck disable=SC2086 # options are words
        printf "$input" | devhost term $options >"$work/$run.out" 2>"$work/$run.err"
        status=$?
        cat "$work/$run.err" >&2
        [ $status -eq 0 ] || fail "$run: devhost status $status"
        finish_instrument
        cmp "$work/heard.bin" <(printf "$heard") || fail "$run: the instrument heard other bytes"
        cmp "$work/$run.out" <(printf "$shown") || fail "$run: term showed other text"
    done <<'EOF'
crlf||alpha\nbeta\n|alpha\r\nbeta\r\n|alpha\nbeta\n
cr|--eol cr|alpha\nbeta\n|alpha\rbeta\r|alpha\nbeta\n
lf|--eol lf|alpha\nbeta\n|alpha\nbeta\n|alpha\nbeta\n
none|--eol none|alpha\nbeta\n|alphabeta|alphabeta
EOF

    # The dump's lines follow the blocks as they came, so only its bytes are compared.
    start_echo
    printf '41 42\nzz\n0743 0d 0a\n' | devhost term --hex >"$work/hex.out" 2>"$work/hex.err"
    status=$?
    cat "$work/hex.err" >&2
    [ $status -eq 0 ] || fail "hex: devhost status $status"
    finish_instrument
    cmp "$work/heard.bin" <(printf 'AB\x07C\r\n') || fail "hex: the instrument heard other bytes"
    [ "$(sed -E 's/^[0-9a-f]{8} //; s/ +\|.*//' "$work/hex.out" | tr -s ' \n' '  ')" = " 41 42 07 43 0d 0a " ] ||
        fail "hex: the dump shows other bytes"
    grep -q 'not sent: "zz"' "$work/hex.err" || fail "the bad hex line was not refused"
}

# A capture's in-blocks are exactly the bytes received and its out-blocks
# those sent, with receive and with term.
case_capture() {
    write_settings COM5
    start_echo --greet 'hello$'
    devhost receive --out "$(winpath "$work/received.bin")" --capture "$(winpath "$work/receive.cap")" --say 'ping\r\n'
    local status=$?
    [ $status -eq 0 ] || fail "receive: devhost status $status"
    finish_instrument
    grep -q '^# capture of devhost receive on COM5, 38400 baud 8N1' "$work/receive.cap" || fail "no header"
    cmp <(capture_bytes "$work/receive.cap" in) "$work/received.bin" || fail "receive: in-blocks differ from --out"
    cmp <(capture_bytes "$work/receive.cap" out) <(printf 'ping\r\n') || fail "receive: out-blocks differ"

    start_echo --greet 'hi'
    printf 'one\ntwo\n' | devhost term --capture "$(winpath "$work/term.cap")" >"$work/term.out"
    status=$?
    [ $status -eq 0 ] || fail "term: devhost status $status"
    finish_instrument
    cmp <(capture_bytes "$work/term.cap" in) <(printf 'hi'; cat "$work/heard.bin") || fail "term: in-blocks differ"
    cmp <(capture_bytes "$work/term.cap" out) "$work/heard.bin" || fail "term: out-blocks differ"
}

/usr/bin/python3 "$(dirname "$0")/../rig/drain.py" "$RIG_DIR/com5"
"case_$case_name"
