#!/bin/bash
# devhost doctor on COM5 of the null-modem rig, on Wine's serial driver with
# the rig's shim and without it (where a character wait completes at once,
# as some drivers' do): the two reports differ in that row, the port's
# settings and the settings file are left as they were, and a port that does
# not exist gives status 3, naming the ports present.
# Environment (set by CTest): RUN_IN_WINE, BIN_DIR, WORK_DIR, RIG_DIR.
set -u
work=$WORK_DIR/doctor
rm -rf "$work" && mkdir -p "$work"
ini=$work/devhost.ini
printf '[DeviceCommon]\r\nPORT=COM5\r\nBAUDRATE=57600\r\nPARITY=0\r\nBYTESIZE=8\r\nSTOPBITS=0\r\nFLOWCONTROL=2\r\nWATETIME=2\r\n' >"$ini"
cp "$ini" "$work/before.ini"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

doctor() {
    "$RUN_IN_WINE" "$BIN_DIR/devhost.exe" --settings "Z:${ini//\//\\}" doctor "$@"
}

speed_before=$(stty -F "$RIG_DIR/com5" speed)
doctor >"$work/shim.txt" || fail "with the shim: status $?"
RIG_WITHOUT_PTYSHIM=1 doctor >"$work/plain.txt" || fail "without the shim: status $?"
# The NUL bytes it wrote must not reach the next test's instrument.
/usr/bin/python3 -I -c 'import serial, sys; serial.Serial(sys.argv[1]).reset_input_buffer()' "$RIG_DIR/com6" ||
    fail "COM6 could not be drained"
cat "$work/shim.txt" "$work/plain.txt"

grep -q '^character wait on a quiet line .*: stayed pending' "$work/shim.txt" ||
    fail "with the shim the wait must stay pending"
grep -q '^ending that wait: .*, ERROR_OPERATION_ABORTED (995)$' "$work/shim.txt" ||
    fail "with the shim the pending wait must be ended"
grep -q '^character wait on a quiet line .*: completed without a character' "$work/plain.txt" ||
    fail "without the shim the wait must complete at once"
for report in shim plain; do
    grep -qx 'device: Windows names no device for COM5 (under Wine, ports have no device entry)' "$work/$report.txt" ||
        fail "$report: what Windows names the port is not said"
    grep -q "^line errors in the status call's error word: none$" "$work/$report.txt" ||
        fail "$report: Wine's error word is not said"
    grep -q '^the stored settings, as the plug-in set them (its trace): taken, 57600 baud, data bits 8' "$work/$report.txt" ||
        fail "$report: the plug-in's trace of the settings it set is not said"
    grep -q '^read on an empty queue .*: went pending; .*, ERROR_OPERATION_ABORTED (995)$' "$work/$report.txt" ||
        fail "$report: Wine's read goes pending and is ended"
done
[ "$(stty -F "$RIG_DIR/com5" speed)" = "$speed_before" ] || fail "the port's speed was not put back"
cmp -s "$ini" "$work/before.ini" || fail "doctor changed the settings file"

# What the plug-in set comes from the DLL loaded, never from devhost's own code.
doctor --dll 'Z:\\no\\such.dll' >"$work/nodll.txt" || fail "without the DLL: status $?"
grep -q '^the stored settings, as the plug-in set them (its trace): could not tell, cannot load' "$work/nodll.txt" ||
    fail "without the DLL the plug-in's rows must say they cannot tell"

doctor COM77 >"$work/missing.txt"
status=$?
cat "$work/missing.txt"
[ $status -eq 3 ] || fail "a missing port: status $status, not 3"
grep -q '^open: failed after .*ERROR_FILE_NOT_FOUND (2)' "$work/missing.txt" || fail "the open's error is not named"
grep -qx 'COM77 is not present; Windows names no device that held it (under Wine, ports have no device entry).' \
    "$work/missing.txt" && grep -qx '    devhost set port=COM5' "$work/missing.txt" || fail "the ports present are not named"
