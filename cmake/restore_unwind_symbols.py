#!/usr/bin/env python3
"""Copies a MinGW static library, giving each unwind-table section back the
section symbol that stripping took away.

GNU as puts the unwind entry (.pdata$<func>) of a function kept once per
link (an inline function or a template) in a section that is kept once too,
named in the symbol table by a section symbol whose auxiliary record gives
the choice rule. Debian strips its MinGW libraries with --strip-unneeded,
which drops every section symbol no relocation uses, and nothing points at
.pdata$<func>. GNU ld pairs such sections with their code by name; lld reads
a kept-once section only through its symbol, so it leaves them out, and each
such function of libstdc++ (its precompiled string, stream and locale
templates) lands in the image without unwind data. An exception thrown
through one is unwound as if it were a leaf function, which restores the
wrong saved registers in every frame above it.

The symbols put back are the ones GNU as writes: static, named as the
section, with one auxiliary record saying "any" and no associated section,
which lld ties to the .text$<func> it keeps, as for an unstripped object.

usage: restore_unwind_symbols.py INPUT.a OUTPUT.a
"""
import struct
import sys

AMD64 = 0x8664
LNK_COMDAT = 0x1000
SYM_CLASS_STATIC = 3
COMDAT_SELECT_ANY = 2
SYMBOL_SIZE = 18
UNWIND_SECTIONS = (b".pdata", b".xdata")


def restore(obj):
    """Returns obj with the missing section symbols added, and their count."""
    machine, sections, _, symtab, symbols, opt_size, _ = struct.unpack_from("<HHIIIHH", obj)
    if machine != AMD64 or symtab == 0:
        return obj, 0
    strtab = symtab + symbols * SYMBOL_SIZE
    # New symbols go between the symbol and string tables, so nothing may follow them.
    if strtab + struct.unpack_from("<I", obj, strtab)[0] != len(obj):
        sys.exit("an object whose string table does not end it")

    with_symbol = set()
    index = 0
    while index < symbols:
        section, _, storage, aux = struct.unpack_from("<hHBB", obj, symtab + index * SYMBOL_SIZE + 12)
        if storage == SYM_CLASS_STATIC and aux == 1 and section > 0:
            with_symbol.add(section)
        index += 1 + aux

    added = []
    for number in range(1, sections + 1):
        at = 20 + opt_size + (number - 1) * 40
        raw_name = obj[at:at + 8]
        size, = struct.unpack_from("<I", obj, at + 16)
        relocations, linenumbers, flags = struct.unpack_from("<HHI", obj, at + 32)
        if not flags & LNK_COMDAT or number in with_symbol:
            continue
        if raw_name.startswith(b"/"):
            # A long name; the symbol points at the same string-table entry.
            offset = int(raw_name[1:].rstrip(b"\0"))
            name = obj[strtab + offset:obj.index(b"\0", strtab + offset)]
            symbol_name = struct.pack("<II", 0, offset)
        else:
            name = raw_name.rstrip(b"\0")
            symbol_name = raw_name
        if name.split(b"$")[0] not in UNWIND_SECTIONS:
            continue
        added.append(symbol_name + struct.pack("<IhHBB", 0, number, 0, SYM_CLASS_STATIC, 1))
        added.append(struct.pack("<IHHIHB3x", size, relocations, linenumbers, 0, 0, COMDAT_SELECT_ANY))

    if not added:
        return obj, 0
    header = bytearray(obj[:20])
    struct.pack_into("<I", header, 12, symbols + len(added))
    return bytes(header) + obj[20:strtab] + b"".join(added) + obj[strtab:], len(added) // 2


def main(source, target):
    with open(source, "rb") as f:
        archive = f.read()
    if not archive.startswith(b"!<arch>\n"):
        sys.exit(f"{source}: not an ar archive")

    # Members keep their order; the symbol index ("/") names each member by
    # its offset, which moves as members before it grow.
    members, moved, index_at = [], {}, None
    old, new, total = 8, 8, 0
    while old < len(archive):
        header = archive[old:old + 60]
        size = int(header[48:58])
        data = archive[old + 60:old + 60 + size]
        name = header[:16].rstrip()
        if name == b"/SYM64/":
            sys.exit(f"{source}: 64-bit symbol index not handled")
        if name == b"/":
            index_at = len(members)
        elif name != b"//":
            data, count = restore(data)
            total += count
        moved[old] = new
        members.append([header[:48], data, header[58:60]])
        old += 60 + size + (size & 1)
        new += 60 + len(data) + (len(data) & 1)

    if index_at is not None:
        index = bytearray(members[index_at][1])
        count, = struct.unpack_from(">I", index)
        for slot in range(count):
            offset, = struct.unpack_from(">I", index, 4 + 4 * slot)
            struct.pack_into(">I", index, 4 + 4 * slot, moved[offset])
        members[index_at][1] = bytes(index)

    with open(target, "wb") as f:
        f.write(b"!<arch>\n")
        for head, data, tail in members:
            f.write(head + b"%-10d" % len(data) + tail + data + b"\n" * (len(data) & 1))
    print(f"{target}: {total} unwind section symbols restored")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
