#!/usr/bin/env python3
"""Drops what the rig's cable still carries toward one end, until the line
has been quiet for 200 ms: bytes an earlier test left behind (an instrument
that streamed after the port closed) would otherwise reach the next test.
Reads the pseudo-terminal behind the end's link, so nothing may hold that
port open meanwhile.

    drain.py RIG_DIR/com5
"""
import os
import sys
import time

QUIET_ROUNDS = 4
ROUND_SECONDS = 0.05
MAX_SECONDS = 10

end = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
quiet = 0
deadline = time.monotonic() + MAX_SECONDS
while quiet < QUIET_ROUNDS and time.monotonic() < deadline:
    time.sleep(ROUND_SECONDS)
    try:
        quiet = 0 if os.read(end, 65536) else quiet + 1
    except BlockingIOError:
        quiet += 1
os.close(end)
