#!/usr/bin/env python3
"""Writes one release package: a zip holding <folder>/TarnVik.exe and
<folder>/README.txt. The readme gets the version filled in, a byte-order
mark and CR LF line ends, so Notepad on every Windows shows its Chinese.
Entries carry a fixed date, so the same files give the same zip.
Usage: make_zip.py <zip> <folder> <version> <program.exe> <readme.txt>"""
import sys
import zipfile

FIXED_DATE = (2026, 1, 1, 0, 0, 0)


def entry(name: str, mode: int) -> zipfile.ZipInfo:
    info = zipfile.ZipInfo(name, FIXED_DATE)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = mode << 16
    return info


def main() -> int:
    target, folder, version, exe, readme = sys.argv[1:6]
    with open(exe, 'rb') as f:
        program = f.read()
    with open(readme, encoding='utf-8') as f:
        text = f.read().replace('@VERSION@', version)
    text = '\ufeff' + text.replace('\r\n', '\n').replace('\n', '\r\n')
    with zipfile.ZipFile(target, 'w') as z:
        z.writestr(entry(f'{folder}/TarnVik.exe', 0o100755), program)
        z.writestr(entry(f'{folder}/README.txt', 0o100644), text.encode('utf-8'))
    return 0


if __name__ == '__main__':
    sys.exit(main())
