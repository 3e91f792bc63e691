#!/usr/bin/env bash
# A program run through the wrapper right after the prefix's Wine server has
# stopped must not leave Wine's services holding its output: a test runner
# reading that output would wait for them until the server ends, half a
# minute per test.
#   services_detached.sh WRAPPER PREFIX
set -euo pipefail
wrapper=$1
export WINEPREFIX=$2
if [ -x /usr/lib/wine/wineserver64 ]; then wineserver=/usr/lib/wine/wineserver64
else wineserver=$(command -v wineserver)
fi
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
"$wineserver" -w </dev/null >/dev/null 2>&1 || true

begun=$(date +%s%N)
# cat ends once every holder of the pipe (both outputs) has let go of it.
"$wrapper" cmd /c exit 2>&1 | cat >/dev/null
took=$((($(date +%s%N) - begun) / 1000000))
echo "the output was let go after $took ms"
[ "$took" -lt 10000 ] || { echo "Wine's services kept the program's output open" >&2; exit 1; }
