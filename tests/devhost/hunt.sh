#!/bin/bash
# devhost hunt against the simulated receiver streaming on COM6, through the
# plug-in built on a modelled line (DeviceCommonModelLine.dll): its reads
# come garbled, with the framing and parity errors a UART reports, unless
# the port is set as MODEL_LINE_SENDS says the instrument sends.
# Usage: hunt.sh CASE, the case being the instrument's setting ("38400 8N1",
# "4800 7E1") or "silent". Environment: as e2e.sh.
set -u

case_name=$1
work=$WORK_DIR/hunt-${case_name// /-}
rm -rf "$work" && mkdir -p "$work"
ini=$work/devhost.ini
instrument=

fail() {
    echo "FAIL: $*" >&2
    [ -n "$instrument" ] && kill "$instrument" 2>/dev/null
    exit 1
}

printf '[DeviceCommon]\r\nPORT=COM5\r\nBAUDRATE=9600\r\nPARITY=0\r\nBYTESIZE=8\r\nSTOPBITS=0\r\nFLOWCONTROL=0\r\nWATETIME=2\r\n' >"$ini"
cp "$ini" "$work/stored.ini"
if [ "$case_name" != silent ]; then
    export MODEL_LINE_SENDS=$case_name
    "$RUN_IN_WINE" "$BIN_DIR/instrument_sim.exe" gnss COM6 --stream --seconds 150 --baud "${case_name%% *}" \
        >"$work/instrument.txt" 2>&1 &
    instrument=$!
else
    export MODEL_LINE_SENDS="9600 8N1"
fi

started=$SECONDS
"$RUN_IN_WINE" "$BIN_DIR/devhost.exe" --dll "$BIN_DIR/DeviceCommonModelLine.dll" \
    --settings "Z:${ini//\//\\}" hunt COM5 --save >"$work/out.txt" 2>"$work/err.txt"
status=$?
took=$((SECONDS - started))
cat "$work/out.txt" "$work/err.txt"
echo "took $took s, status $status"
[ -n "$instrument" ] && kill "$instrument" 2>/dev/null

if [ "$case_name" = silent ]; then
    [ $status -eq 8 ] || fail "a silent line must end with status 8, not $status"
    grep -q '^found:' "$work/out.txt" && fail "found a setting on a silent line"
    grep -q 'may wait to be asked' "$work/out.txt" || fail "the end does not say why"
    [ $took -le 60 ] || fail "a silent line took $took s"
    cmp -s "$ini" "$work/stored.ini" || fail "the settings changed"
    exit 0
fi
[ $status -eq 0 ] || fail "status $status"
grep -qx "found: $case_name" "$work/out.txt" || fail "not found: $case_name"
[ $took -le 120 ] || fail "the hunt took $took s"
read -r baud framing <<<"$case_name"
parity=$(printf 'N0O1E2' | sed -n "s/.*${framing:1:1}\([0-9]\).*/\1/p")
for expected in BAUDRATE=$baud BYTESIZE=${framing:0:1} PARITY=$parity PORT=COM5; do
    tr -d '\r' <"$ini" | grep -qx "$expected" || fail "$expected was not saved"
done
