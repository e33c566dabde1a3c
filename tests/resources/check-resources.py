#!/usr/bin/env python3
"""Decompiles the resources of the built program and compares the dialogs, strings and
version record with the expected text, byte for byte after decoding.

usage: check-resources.py WINDRES EXE EXPECTED MANIFEST_ARCH
(@ARCH@ in the expected text stands for the manifest's own architecture: x86 or amd64)
"""
import difflib
import re
import subprocess
import sys


def readable(rc_text):
    # L"\x306e..." -> the characters themselves, so the expected file reads as Japanese.
    def wide(m):
        body = m.group(1)
        body = re.sub(r'\\x([0-9a-fA-F]{4})', lambda h: chr(int(h.group(1), 16)), body)
        return '"' + body + '"'
    return re.sub(r'L"((?:[^"\\]|\\.)*)"', wide, rc_text)


def sections(rc_text):
    """Keeps the dialog, string-table and version sections; drops icon pixel data."""
    keep = []
    blocks = re.split(r'\n(?=/\* Type: )', rc_text)
    for block in blocks:
        m = re.match(r'/\* Type: (\w[\w ]*)', block)
        if m and m.group(1) in ('dialog', 'stringtable', 'version', 'group icon', '24'):
            keep.append(block.strip())
    return '\n\n'.join(keep) + '\n'


def main():
    windres, exe, expected_path, arch = sys.argv[1:5]
    out = subprocess.run([windres, '-i', exe, '-O', 'rc'], check=True,
                         capture_output=True).stdout.decode('latin-1')
    actual = sections(readable(out))
    expected = open(expected_path, encoding='utf-8').read().replace('@ARCH@', arch)
    if actual != expected:
        sys.stdout.writelines(difflib.unified_diff(
            expected.splitlines(True), actual.splitlines(True), 'expected', 'built program'))
        print('resources differ from the expected templates')
        return 1
    print('resources match: dialogs, strings, icon group and version record')
    return 0


if __name__ == '__main__':
    sys.exit(main())
