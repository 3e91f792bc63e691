#!/bin/bash
# A capture's instrument blocks, played by instrument_sim on COM6 of the
# null-modem rig while devhost records COM5, arrive byte for byte (the host's
# own block left out) with their gaps, at SPEED times the recorded pace.
# Usage: replay_e2e.sh SPEED
# Environment (set by CTest): RUN_IN_WINE, BIN_DIR, WORK_DIR.
set -u

speed=$1
work=$WORK_DIR/replay_speed$speed
rm -rf "$work" && mkdir -p "$work"
recorded=$work/recorded.cap
received=$work/received.cap

host=
fail() {
    echo "FAIL: $*" >&2
    [ -n "$host" ] && kill "$host" 2>/dev/null
    exit 1
}

# Wine sees the Unix root as drive Z:.
winpath() {
    printf 'Z:%s' "${1//\//\\}"
}

{
    echo "# a field recording: two blocks at once, then gaps of 150, 400 and 900 ms"
    echo "0 in 24 47 50 0D 0A"
    echo "0 in 00 FF 11 13"
    echo "150 in $(printf '%02X ' $(seq 0 199))"
    echo "300 out 24 50 53 49 4D 0D 0A"
    echo "550 in 41"
    echo "1450 in $(printf '%02X ' $(seq 255 -1 192))"
} >"$recorded"
printf '[DeviceCommon]\r\nPORT=COM5\r\nBAUDRATE=38400\r\nPARITY=0\r\nBYTESIZE=8\r\nSTOPBITS=0\r\nFLOWCONTROL=0\r\nWATETIME=2\r\n' \
    >"$work/devhost.ini"

# Played before devhost has the port open, the first blocks would wait in
# the pair and arrive together.
"$RUN_IN_WINE" "$BIN_DIR/devhost.exe" --settings "$(winpath "$work/devhost.ini")" \
    receive --capture "$(winpath "$received")" --hex >/dev/null 2>"$work/devhost.txt" &
host=$!
for ((waited = 0; waited < 300; waited++)); do
    grep -q '^\[exchange started\]' "$work/devhost.txt" && break
    sleep 0.1
done
grep -q '^\[exchange started\]' "$work/devhost.txt" || fail "devhost did not start the exchange"

"$RUN_IN_WINE" "$BIN_DIR/instrument_sim.exe" replay "$(winpath "$recorded")" COM6 --baud 38400 --speed "$speed" \
    >"$work/replay.txt"
status=$?
cat "$work/replay.txt"
[ $status -eq 0 ] || fail "replay status $status"
grep -q '^played 5 blocks, 274 bytes in ' "$work/replay.txt" || fail "the summary does not count 5 blocks of 274 bytes"
wait "$host"
status=$?
host=
cat "$work/devhost.txt" >&2
[ $status -eq 0 ] || fail "devhost status $status"

in_bytes='$1 !~ /^#/ && $2 == "in" { for (i = 3; i <= NF; i++) print $i }'
diff <(awk "$in_bytes" "$recorded") <(awk "$in_bytes" "$received") >/dev/null ||
    fail "the bytes received differ from the capture's instrument bytes"

# The plug-in hands over what the driver has, so a recorded block may arrive
# split in several blocks or joined to the one before. What stays comparable
# is when the first byte of each recorded block arrived: the time of the
# received block holding that byte's offset in the stream.
awk -v speed="$speed" '
    FNR == NR {
        if ($1 !~ /^#/ && $2 == "in") { first[n] = bytes; recorded[n++] = $1; bytes += NF - 2 }
        next
    }
    $1 !~ /^#/ && $2 == "in" {
        while (k < n && first[k] < got + NF - 2) arrived[k++] = $1
        got += NF - 2
    }
    END {
        if (k < n) { print "only " k " of " n " recorded blocks arrived"; exit 1 }
        for (i = 1; i < n; i++) {
            want = (recorded[i] - recorded[i - 1]) / speed
            seen = arrived[i] - arrived[i - 1]
            allowed = want / 10 > 20 ? want / 10 : 20
            printf "gap %d: %.0f ms recorded at speed %s, %d ms arrived\n", i, want, speed, seen
            if (seen - want > allowed || want - seen > allowed) late = 1
        }
        exit late
    }' "$recorded" "$received" || fail "a gap is off by more than 10 % (or 20 ms)"
