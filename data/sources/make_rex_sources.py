#!/usr/bin/env python3
"""Writes the Intel HEX sources of the delivered programmer files into rex/.

Run by hand after changing a type or a revision, then keep the files it
writes: the build turns them into the .rex and .bin files beside the
programs with kestrin-rex and never runs this script.

    python3 data/sources/make_rex_sources.py

For every file the revisions files name:
  vrx_<type>_v<g>.hex   firmware: "VRXF", minor and major revision, type code,
                        then the firmware's name and filler
  <type>_hwc<k>.hex     hardware configuration table k: FF, k, type code, 00,
                        the signature 55 99 AA, then its name and filler
  <type>_vec.hex        vector table (256 bytes), <type>_vec2.hex the
                        extended one (512 bytes)
"""

import os

TYPES = {"psoc": 1, "z8": 2, "e2": 3, "c2": 4, "zneo": 5, "avr": 6, "avr32": 7, "x1": 8, "arm": 9}
# Generation: (major, minor) of its latest firmware, as the revisions files give it.
REVISIONS = {1: (1, 250), 2: (2, 5), 3: (3, 10)}
FIRMWARE = {1: ["psoc", "z8", "e2", "c2", "zneo"], 2: list(TYPES), 3: list(TYPES)}
HWC = {"psoc": 4, "z8": 1, "e2": 1, "c2": 2, "zneo": 1, "avr": 3, "avr32": 1, "x1": 4, "arm": 3}
VECTORS = {"psoc": 2, "avr32": 1, "x1": 2, "arm": 2}


def hex_text(data, start=0):
    lines = []
    for at in range(0, len(data), 16):
        chunk = data[at:at + 16]
        address = start + at
        record = bytes([len(chunk), address >> 8, address & 0xFF, 0]) + chunk
        lines.append(":" + (record + bytes([(-sum(record)) & 0xFF])).hex().upper())
    lines.append(":00000001FF")
    return "\r\n".join(lines) + "\r\n"


def filler(seed, n):
    return bytes((seed * 7 + i * 13) & 0xFF for i in range(n))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "rex")
    os.makedirs(out, exist_ok=True)
    files = {}
    for generation, names in FIRMWARE.items():
        major, minor = REVISIONS[generation]
        for name in names:
            text = b"Kestrin VRX firmware %s %d.%03d" % (name.upper().encode(), major, minor)
            data = b"VRXF" + bytes([minor, major, TYPES[name], 0]) + text + filler(TYPES[name] + generation, 96)
            files["vrx_%s_v%d.hex" % (name, generation)] = data
    for name, count in HWC.items():
        for k in range(count):
            text = b"HWC %s table %d" % (name.upper().encode(), k)
            data = bytes([0xFF, k, TYPES[name], 0, 0x55, 0x99, 0xAA]) + text + filler(TYPES[name] * 5 + k, 64)
            files["%s_hwc%d.hex" % (name, k)] = data
    for name, count in VECTORS.items():
        files["%s_vec.hex" % name] = filler(TYPES[name] + 40, 256)
        if count > 1:
            files["%s_vec2.hex" % name] = filler(TYPES[name] + 80, 512)
    for file_name, data in sorted(files.items()):
        with open(os.path.join(out, file_name), "w", newline="") as f:
            f.write(hex_text(data))


if __name__ == "__main__":
    main()
