#!/usr/bin/env python3
"""Converts a UTF-8 text file to another code page with CR LF line ends and no
byte-order mark, as the executable embeds its configuration and tables.

usage: convert_text.py IN OUT ENCODING   (gbk, big5, ...)
"""
import sys


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    with open(argv[1], 'r', encoding='utf-8-sig', newline='') as f:
        text = f.read()
    lines = text.replace('\r\n', '\n').replace('\r', '\n').split('\n')
    if lines and lines[-1] == '':
        lines.pop()
    data = ''.join(line + '\r\n' for line in lines).encode(argv[3], errors='strict')
    with open(argv[2], 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv)
