#!/usr/bin/env python3
"""Writes the sample interface firmware plugins/datasheets/Dockmon.hex.

The image is this project's own filler: a reset vector, a banner that names the
firmware version (the simulated interface reads it back after a download) and
a deterministic pseudo-random body, 4096 bytes in all, as Intel HEX records of
16 bytes behind a "Version-0108" header.

    make_dockmon_hex.py [PATH [MAJOR.MINOR [HEADER]]]

makes the firmware of another version (the tests' stale files), whose header says
HEADER (MAJOR.MINOR, or "none" for a file without a header) when given.
"""
import sys

MAJOR, MINOR = 1, 8
SIZE = 4096

def version(text):
    major, minor = text.split(".")
    return int(major), int(minor)

def image(major, minor):
    data = bytearray(SIZE)
    data[0:3] = bytes([0x02, 0x01, 0x00])            # jump to the start routine
    banner = b"Dockmon firmware %02d.%02d\0" % (major, minor)
    data[0x100:0x100 + len(banner)] = banner
    state = 0x2545F491
    for i in range(0x200, SIZE):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        data[i] = (state >> 16) & 0xFF
    return bytes(data)

def record(address, rtype, payload):
    body = bytes([len(payload), address >> 8, address & 0xFF, rtype]) + payload
    checksum = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + "%02X" % checksum + "\r\n"

def main(path, banner=(MAJOR, MINOR), header=(MAJOR, MINOR)):
    data = image(*banner)
    lines = ["Version-%02d%02d\r\n" % header] if header else []
    for address in range(0, SIZE, 16):
        lines.append(record(address, 0, data[address:address + 16]))
    lines.append(record(0, 1, b""))
    with open(path, "w", newline="") as out:
        out.write("".join(lines))

if __name__ == "__main__":
    path = sys.argv[1] if len(sys.argv) > 1 else "plugins/datasheets/Dockmon.hex"
    banner = version(sys.argv[2]) if len(sys.argv) > 2 else (MAJOR, MINOR)
    header = banner
    if len(sys.argv) > 3:
        header = None if sys.argv[3] == "none" else version(sys.argv[3])
    main(path, banner, header)
