#!/usr/bin/env python3
"""set-load-config.py PROGRAM MAP: points PROGRAM's load configuration
directory at the structure its code defines as `_load_config_used`.

binutils' ld (2.40) links the structure but leaves the data directory entry
empty, so Windows would never read it (and with it DependentLoadFlags). The
linker's map (-Wl,-Map) tells where the structure lies; the program itself
may be stripped. The entry gets the structure's address and its own Size
field, and the checksum is made again when the program carries one. A
program whose entry already names the structure is left as it is; one whose
entry names anything else, or whose structure is not found, is an error."""

import re
import struct
import sys

LOAD_CONFIG = 10  # IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG


def fail(text):
    sys.exit("set-load-config: " + text)


def symbol_address(map_text, name="_load_config_used"):
    # ld prints a symbol as "<spaces>0xADDRESS<spaces>NAME" (the i386 leading
    # underscore of the C name shown or not, as the target has it).
    found = set(int(m.group(1), 16) for m in
                re.finditer(r"^\s+0x([0-9a-fA-F]+)\s+_?%s\s*$" % re.escape(name), map_text, re.M))
    if len(found) != 1:
        fail("%d addresses of %s in the map" % (len(found), name))
    return found.pop()


def pe_checksum(data, field):
    total = 0
    padded = data + b"\0" * (len(data) & 1)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
    # The checksum field itself counts as zero.
    total -= sum(struct.unpack_from("<HH", data, field))
    total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    total = (total + (total >> 16)) & 0xFFFF
    return (total + len(data)) & 0xFFFFFFFF


def set_load_config(data, va):
    data = bytearray(data)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        fail("not a Windows program")
    nsections, = struct.unpack_from("<H", data, pe + 6)
    opt_size, = struct.unpack_from("<H", data, pe + 20)
    opt = pe + 24
    magic, = struct.unpack_from("<H", data, opt)
    if magic == 0x10B:
        image_base, dirs = struct.unpack_from("<I", data, opt + 28)[0], opt + 96
    elif magic == 0x20B:
        image_base, dirs = struct.unpack_from("<Q", data, opt + 24)[0], opt + 112
    else:
        fail("unknown optional header 0x%x" % magic)
    if struct.unpack_from("<I", data, opt + (92 if magic == 0x10B else 108))[0] <= LOAD_CONFIG:
        fail("no load configuration entry among the data directories")
    rva = va - image_base
    size = None
    for i in range(nsections):
        vsize, sva, rawsize, rawptr = struct.unpack_from("<IIII", data, opt + opt_size + 40 * i + 8)
        if sva <= rva and rva + 4 <= sva + min(vsize, rawsize):
            size, = struct.unpack_from("<I", data, rawptr + rva - sva)
            if size < 64 or rva + size > sva + min(vsize, rawsize):
                fail("the structure at 0x%x gives a size of %d bytes" % (va, size))
    if size is None:
        fail("the structure at 0x%x lies in no section's file bytes" % va)
    entry = dirs + 8 * LOAD_CONFIG
    current = struct.unpack_from("<II", data, entry)
    if current == (rva, size):
        return bytes(data)
    if current != (0, 0):
        fail("the load configuration entry already names 0x%x (%d bytes)" % current)
    struct.pack_into("<II", data, entry, rva, size)
    field = opt + 64
    if struct.unpack_from("<I", data, field)[0]:
        struct.pack_into("<I", data, field, pe_checksum(bytes(data), field))
    return bytes(data)


def main(argv):
    if len(argv) != 3:
        fail("usage: set-load-config.py PROGRAM MAP")
    with open(argv[2], encoding="utf-8", errors="replace") as f:
        va = symbol_address(f.read())
    with open(argv[1], "rb") as f:
        data = f.read()
    out = set_load_config(data, va)
    if out != data:
        with open(argv[1], "r+b") as f:
            f.write(out)


if __name__ == "__main__":
    main(sys.argv)
