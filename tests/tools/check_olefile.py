#!/usr/bin/python3
"""Reads a process document written by write_sample with olefile (an independent
compound-file reader) and checks its streams byte for byte where the format fixes them."""
import struct
import sys

import olefile

ASSEMBLY_NODE = bytes.fromhex("cba3735de9f8d211b25c0060b0a4bc1c")  # {5D73A3CB-F8E9-11D2-B25C-0060B0A4BC1C}


def text(value):
    return struct.pack("<i", len(value)) + value


def main(path):
    if not olefile.isOleFile(path):
        sys.exit("not a compound file: %s" % path)
    ole = olefile.OleFileIO(path)
    names = sorted("/".join(entry) for entry in ole.listdir())
    expected = sorted(["Process Document Version", "Element Stream", "Process Name",
                       "Process Description", "Process Assembly Directory"])
    failures = []
    if names != expected:
        failures.append("streams %r, expected %r" % (names, expected))
    checks = {
        "Process Document Version": bytes([0x00, 0x00, 0x00, 0x40]),
        "Process Name": text(b"Door line"),
        "Process Description": text(b"Gap and flush"),
        "Process Assembly Directory": text(b"C:\\models"),
    }
    for name, want in checks.items():
        got = ole.openstream(name).read() if ole.exists(name) else None
        if got != want:
            failures.append("%s: %r, expected %r" % (name, got, want))
    elements = ole.openstream("Element Stream").read() if ole.exists("Element Stream") else b""
    if elements[:16] != ASSEMBLY_NODE:
        failures.append("Element Stream starts with %s, not the root's class" % elements[:16].hex())
    if elements[-16:] != b"\xff" * 16:
        failures.append("Element Stream ends with %s, not the end marker" % elements[-16:].hex())
    for name in (b"Body in white", b"Left door", b"Right door"):
        if text(name) not in elements:
            failures.append("Element Stream lacks the name %r" % name)
    ole.close()
    if failures:
        sys.exit("\n".join(failures))
    print("olefile reads %s: %d streams, element stream %d bytes" % (path, len(names), len(elements)))


if __name__ == "__main__":
    main(sys.argv[1])
