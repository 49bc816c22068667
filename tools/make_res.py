#!/usr/bin/env python3
"""Writes a Win32 .res file with custom resources, for the types that the
resource compiler cannot name (LANGUAGE is one of its keywords).

usage: make_res.py OUT.res TYPE:ID:FILE [TYPE:ID:FILE ...]
TYPE is a number (10 is RCDATA) or a type name; ID is a number.
"""
import struct
import sys


def ident(value):
    if value.isdigit():
        return struct.pack('<HH', 0xFFFF, int(value))
    return (value.upper() + '\0').encode('utf-16-le')


def entry(type_id, name_id, data, language=0x0409):
    head = ident(type_id) + ident(name_id)
    head += b'\0' * (-len(head) % 4)
    # DataVersion, MemoryFlags (moveable|pure|discardable), LanguageId, Version, Characteristics
    tail = struct.pack('<IHHII', 0, 0x1030, language, 0, 0)
    header_size = 8 + len(head) + len(tail)
    out = struct.pack('<II', len(data), header_size) + head + tail + data
    return out + b'\0' * (-len(out) % 4)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    blob = entry('0', '0', b'', language=0)  # the empty entry every .res starts with
    for item in argv[2:]:
        type_id, name_id, path = item.split(':', 2)
        with open(path, 'rb') as f:
            blob += entry(type_id, name_id, f.read())
    with open(argv[1], 'wb') as f:
        f.write(blob)


if __name__ == '__main__':
    main(sys.argv)
