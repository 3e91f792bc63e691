#!/usr/bin/python3
"""An instrument that sends back every byte it hears, on the Linux end of the
rig's null-modem pair, and keeps what it heard for the test to compare.

usage: echo_instrument.py PTY HEARD_FILE [--greet TEXT] [--quiet SECONDS]

--greet sends TEXT once at the start, so that a host's exchange has data
before anything is typed. The instrument ends once nothing has arrived for
--quiet seconds after the last byte (default 4), or after 60 s in all.
"""
import argparse
import time

import serial


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pty")
    parser.add_argument("heard")
    parser.add_argument("--greet", default="")
    parser.add_argument("--quiet", type=float, default=4.0)
    args = parser.parse_args()
    port = serial.Serial(args.pty, 38400, timeout=0.05)
    if args.greet:
        port.write(args.greet.encode())
    started = last = time.monotonic()
    heard_any = False
    with open(args.heard, "wb") as heard:
        while time.monotonic() - started < 60:
            data = port.read(4096)
            now = time.monotonic()
            if data:
                port.write(data)
                heard.write(data)
                heard.flush()
                heard_any, last = True, now
            elif heard_any and now - last > args.quiet:
                break


if __name__ == "__main__":
    main()
