#!/usr/bin/env python3
"""Checks the release packages ./scripts/package wrote: the two zips are
named by the project version and hold the program and the readme; each
program is built for its machine, imports only system DLLs and carries the
project version in its version resource; the 32-bit one is large-address
aware; SHA256SUMS matches the zips. Writes JUnit XML when asked.
Usage: check_package.py <dist> <version> [--junit <file>]"""
import hashlib
import struct
import sys
import tempfile
import zipfile
from pathlib import Path
from xml.sax.saxutils import quoteattr

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_imports  # noqa: E402

ARCHES = {'x64': (0x8664, 'x86_64-w64-mingw32-objdump'), 'x86': (0x014C, 'i686-w64-mingw32-objdump')}
RT_VERSION = 16
LARGE_ADDRESS_AWARE = 0x0020


class PeImage:
    def __init__(self, data: bytes):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('not a PE image')
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from(
            '<HHIIIHH', data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from('<H', data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva, _ = struct.unpack_from('<II', data, directories + 2 * 8)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from('<IIII', data, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva: int) -> int:
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f'RVA {rva:#x} in no section')

    def resource(self, type_id: int) -> bytes:
        """The data of the first resource of a type (first name, first language)."""
        base = self.offset(self.resource_rva)

        def entries(directory: int):
            named, ids = struct.unpack_from('<HH', self.data, base + directory + 12)
            for i in range(named + ids):
                yield struct.unpack_from('<II', self.data, base + directory + 16 + 8 * i)

        level = next((target for name, target in entries(0) if name == type_id), None)
        if level is None:
            raise ValueError(f'no resource of type {type_id}')
        for _ in range(2):  # name, then language
            level = next(entries(level & 0x7FFFFFFF))[1]
        rva, size = struct.unpack_from('<II', self.data, base + level)
        start = self.offset(rva)
        return self.data[start:start + size]


def version_info(block: bytes):
    """(fixed file version, fixed product version, {string name: text})."""
    strings = {}
    fixed = None

    def align(n: int) -> int:
        return (n + 3) & ~3

    def walk(off: int, end: int):
        nonlocal fixed
        while off + 6 <= end:
            length, value_length, kind = struct.unpack_from('<HHH', block, off)
            if length == 0:
                break
            key_end = off + 6
            while block[key_end:key_end + 2] != b'\0\0':
                key_end += 2
            key = block[off + 6:key_end].decode('utf-16-le')
            value_at = align(key_end + 2)
            value_size = value_length * 2 if kind == 1 else value_length
            value = block[value_at:value_at + value_size]
            if key == 'VS_VERSION_INFO':
                signature, _, fms, fls, pms, pls = struct.unpack_from('<IIIIII', value)
                if signature == 0xFEEF04BD:
                    fixed = ((fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF),
                             (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF))
            elif kind == 1 and value_size:
                strings[key] = value.decode('utf-16-le').split('\0')[0]
            walk(align(value_at + value_size), off + length)
            off = align(off + length)

    walk(0, len(block))
    if fixed is None:
        raise ValueError('no fixed version information')
    return fixed[0], fixed[1], strings


def version_numbers(version: str) -> tuple:
    parts = [int(p) for p in version.split('.')]
    return tuple(parts + [0] * (4 - len(parts)))


def check_arch(dist: Path, version: str, arch: str, work: Path) -> dict:
    machine, objdump = ARCHES[arch]
    name = f'TarnVik-{version}-windows-{arch}'
    results = {}
    problems = []
    exe = None
    try:
        with zipfile.ZipFile(dist / f'{name}.zip') as z:
            names = sorted(z.namelist())
            if names != [f'{name}/README.txt', f'{name}/TarnVik.exe']:
                problems.append(f'holds {names}')
            else:
                readme = z.read(f'{name}/README.txt').decode('utf-8-sig')
                for needed in (version, 'HKEY_CURRENT_USER\\Software\\TarnVik', 'DTR', '快捷键', 'Keys'):
                    if needed not in readme:
                        problems.append(f'README.txt lacks {needed!r}')
                exe = work / f'{arch}.exe'
                exe.write_bytes(z.read(f'{name}/TarnVik.exe'))
    except (OSError, zipfile.BadZipFile) as e:
        problems.append(str(e))
    results[f'{arch} package holds the program and the readme'] = problems
    if exe is None:
        return results

    found, _ = check_imports.problems(objdump, str(exe))
    results[f'{arch} program imports only system DLLs'] = found

    problems = []
    try:
        image = PeImage(exe.read_bytes())
        if image.machine != machine:
            problems.append(f'machine {image.machine:#x}, expected {machine:#x}')
        file_version, product_version, strings = version_info(image.resource(RT_VERSION))
        expected = version_numbers(version)
        if file_version != expected or product_version != expected:
            problems.append(f'fixed versions {file_version} {product_version}, expected {expected}')
        for key in ('FileVersion', 'ProductVersion'):
            if strings.get(key) != version:
                problems.append(f'{key} {strings.get(key)!r}, expected {version!r}')
        results[f'{arch} version resource is the project version'] = problems
        if arch == 'x86':
            aware = bool(image.characteristics & LARGE_ADDRESS_AWARE)
            results['x86 program is large-address aware'] = [] if aware else ['not large-address aware']
    except (ValueError, struct.error) as e:
        results[f'{arch} version resource is the project version'] = [f'unreadable: {e}']
    return results


def check_sums(dist: Path, version: str) -> list:
    try:
        lines = (dist / 'SHA256SUMS').read_text().splitlines()
    except OSError as e:
        return [str(e)]
    listed = {}
    for line in lines:
        digest, _, name = line.partition('  ')
        listed[name] = digest
    problems = []
    for arch in ARCHES:
        name = f'TarnVik-{version}-windows-{arch}.zip'
        try:
            actual = hashlib.sha256((dist / name).read_bytes()).hexdigest()
        except OSError as e:
            problems.append(str(e))
            continue
        if listed.get(name) != actual:
            problems.append(f'{name}: listed {listed.get(name)}, is {actual}')
    if len(listed) != len(ARCHES):
        problems.append(f'lists {sorted(listed)}')
    return problems


def main() -> int:
    args = sys.argv[1:]
    junit = None
    if '--junit' in args:
        i = args.index('--junit')
        junit = Path(args[i + 1])
        del args[i:i + 2]
    dist, version = Path(args[0]), args[1]
    results = {}
    with tempfile.TemporaryDirectory() as work:
        for arch in ARCHES:
            results.update(check_arch(dist, version, arch, Path(work)))
    results['SHA256SUMS matches the packages'] = check_sums(dist, version)

    failed = 0
    cases = []
    for name, problems in results.items():
        print(('FAIL ' if problems else 'ok   ') + name + ''.join(f'\n     {p}' for p in problems))
        failed += bool(problems)
        failure = f'<failure message={quoteattr("; ".join(problems))}/>' if problems else ''
        cases.append(f'  <testcase classname="package" name={quoteattr(name)}>{failure}</testcase>')
    if junit:
        junit.write_text(f'<testsuite name="package" tests="{len(cases)}" failures="{failed}">\n'
                         + '\n'.join(cases) + '\n</testsuite>\n', encoding='utf-8')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
