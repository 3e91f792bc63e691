#!/bin/bash
# Makes the release package in a folder of the build, as `./run.sh package`
# does in dist/, and checks what a user gets: the files, SHA256SUMS inside
# covering every other file, and the zip's own checksum beside it.
# Usage: package_test.sh CPACK CPACK_CONFIG OUT_DIR VERSION DEVHOST_GUIDE
set -u
cpack=$1 config=$2 out=$3 version=$4 guide=$5
folder=DeviceCommon-$version
zip=$folder.zip

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$out" && mkdir -p "$out"
"$cpack" --config "$config" -B "$out" >"$out/cpack.txt" 2>&1 || { cat "$out/cpack.txt"; fail "cpack failed"; }
cd "$out" || fail "no $out"

files="DeviceCommon.dll README.txt devhost.exe instrument_sim.exe"
expected=$(printf "$folder/%s\n" $files SHA256SUMS | sort)
listed=$(unzip -Z1 "$zip" | sort)
[ "$listed" = "$expected" ] || fail "the zip holds"$'\n'"$listed"$'\n'"instead of"$'\n'"$expected"

sha256sum --check --strict "$zip.sha256" || fail "the zip does not match $zip.sha256"

unzip -q "$zip" -d unpacked || fail "cannot unpack $zip"
cd "unpacked/$folder" || fail "no $folder in $zip"
summed=$(awk '{ print $2 }' SHA256SUMS | sort)
[ "$summed" = "$(printf '%s\n' $files | sort)" ] || fail "SHA256SUMS lists"$'\n'"$summed"
sha256sum --check --strict SHA256SUMS || fail "a file does not match SHA256SUMS"

# The user's README ends with the devhost guide as it stands, not a retelling.
tr -d '\r' <README.txt | tail -n "$(wc -l <"$guide")" | cmp -s - "$guide" ||
    fail "README.txt does not end with $guide"
