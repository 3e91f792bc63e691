#!/usr/bin/env python3
"""Makes a DLL's export table start at its lowest ordinal, in place.

lld 14 writes every export table with ordinal base 0 and one address slot
per ordinal from 0, so a DLL whose exports are numbered from 1 gets an
empty slot 0 that GNU ld and Microsoft's linker never write, and a host
that counts the table's functions counts one too many. The empty slots
below the lowest ordinal are dropped and the base raised to match; names
keep their ordinals. A table that already starts at its lowest ordinal is
left as it is.

usage: rebase_export_ordinals.py FILE.dll
"""
import struct
import sys

PE32_PLUS = 0x20B


def rebase(image):
    pe, = struct.unpack_from("<I", image, 0x3C)
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("not a PE image")
    sections, = struct.unpack_from("<H", image, pe + 6)
    optional_size, = struct.unpack_from("<H", image, pe + 20)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != PE32_PLUS:
        sys.exit("not a 64-bit image")
    export_rva, _ = struct.unpack_from("<II", image, optional + 112)
    if export_rva == 0:
        sys.exit("no export table")

    def offset(rva):
        for at in range(optional + optional_size, optional + optional_size + sections * 40, 40):
            size, address, raw_size, raw = struct.unpack_from("<IIII", image, at + 8)
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        sys.exit(f"RVA {rva:#x} outside every section")

    directory = offset(export_rva)
    base, functions, names, addresses, _, ordinals = struct.unpack_from("<IIIIII", image, directory + 16)
    empty = 0
    while empty < functions and struct.unpack_from("<I", image, offset(addresses) + 4 * empty)[0] == 0:
        empty += 1
    if empty == 0 or empty == functions:
        return 0
    struct.pack_into("<III", image, directory + 16, base + empty, functions - empty, names)
    struct.pack_into("<I", image, directory + 28, addresses + 4 * empty)
    table = offset(ordinals)
    for name in range(names):
        index, = struct.unpack_from("<H", image, table + 2 * name)
        struct.pack_into("<H", image, table + 2 * name, index - empty)
    return empty


def main(path):
    with open(path, "rb") as f:
        image = bytearray(f.read())
    if rebase(image):
        with open(path, "wb") as f:
            f.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
