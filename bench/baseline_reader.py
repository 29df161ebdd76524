#!/usr/bin/env python3
"""The baseline the acquisition worker is measured against: a plain reader that blocks in
pyserial's read_until, applies one regular expression and prints the value (python3-serial)."""
import re
import sys

import serial

pattern = re.compile(rb"([-+]?\s*\d+(?:\.\d+)?)")
port = serial.Serial(sys.argv[1], 9600)
count = 0
while True:
    line = port.read_until(b"\n")
    count += 1
    match = pattern.search(line)
    value = match.group(1).decode() if match else ""
    print(f"{count}\t{value}", flush=True)
