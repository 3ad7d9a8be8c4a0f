#!/usr/bin/env python3
"""Checks the release packages ./scripts/package wrote: the two zips are
named by the project version and hold the program and the readme; each
program is built for its machine, imports only system DLLs and carries the
project version in its version resource; the 32-bit one is large-address
aware. The Debian package has the version, depends on what the program
runs on and on nothing of the build or tests, holds the 64-bit zip's
program, the bridge, the launcher, the desktop entry and icon, names a
maintainer address that is no placeholder, gives the repository's MIT
licence in a machine-readable copyright file, and lintian finds no error
in it. SHA256SUMS matches all three. Writes JUnit XML when
asked.
Usage: check_package.py <dist> <version> [--junit <file>]"""
import hashlib
import re
import shutil
import subprocess
import struct
import sys
import tempfile
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_imports  # noqa: E402
from check_report import report, take_junit  # noqa: E402

ARCHES = {'x64': (0x8664, 'x86_64-w64-mingw32-objdump'), 'x86': (0x014C, 'i686-w64-mingw32-objdump')}
# A package the user installs must not pull in the build or test toolchain.
TOOLCHAIN = re.compile(r'cmake|ninja|mingw|^gcc|^g\+\+|^cpp|clang|googletest|gtest|pytest|xvfb|xdotool|socat|'
                       r'imagemagick|lintian|dpkg-dev|debhelper|build-essential')
DEB_FILES = {
    './usr/bin/tarnvik': 0o755,
    './usr/lib/tarnvik/TarnVik.exe': 0o644,
    './usr/lib/tarnvik/TarnVikBridge.exe': 0o644,
    './usr/lib/tarnvik/tarnvik_bridge.py': 0o644,
    './usr/lib/tarnvik/tarnvik_desktop.py': 0o644,
    './usr/share/applications/tarnvik.desktop': 0o644,
    './usr/share/doc/tarnvik/copyright': 0o644,
}
LICENSE = Path(__file__).resolve().parents[1] / 'LICENSE'
DEP5_FORMAT = 'https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'
# Placeholder addresses: domains reserved for examples and tests (RFC 2606, RFC 6761).
PLACEHOLDER = re.compile(r'[@.](?:invalid|example|test|localhost|local|example\.(?:com|org|net))>$')
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


def deb_name(version: str) -> str:
    return f'tarnvik_{version}_amd64.deb'


def package_names(depends: str) -> list:
    """Every package a Depends field names, alternatives included."""
    names = []
    for alternatives in depends.split(','):
        for alternative in alternatives.split('|'):
            name = alternative.strip().split(' ')[0].split(':')[0]
            if name:
                names.append(name)
    return names


def check_deb(dist: Path, version: str, work: Path) -> dict:
    deb = dist / deb_name(version)
    results = {}
    if not deb.is_file():
        return {'Debian package exists': [f'{deb} is missing']}

    def dpkg_deb(*args: str) -> str:
        return subprocess.run(['dpkg-deb', *args], check=True, capture_output=True, text=True).stdout

    problems = []
    fields = {}
    try:
        for name in ('Package', 'Version', 'Architecture', 'Depends', 'Maintainer', 'Description'):
            fields[name] = dpkg_deb('-f', str(deb), name).strip()
    except subprocess.CalledProcessError as e:
        problems.append(f'unreadable control: {e.stderr.strip()}')
    expected = {'Package': 'tarnvik', 'Version': version, 'Architecture': 'amd64'}
    for name, value in expected.items():
        if fields.get(name, value) != value:
            problems.append(f'{name} {fields.get(name)!r}, expected {value!r}')
    results['Debian package: name, version, architecture'] = problems

    problems = []
    depends = package_names(fields.get('Depends', ''))
    for needed, why in (('wine', 'the wine command'), ('wine64', 'the 64-bit Wine'), ('python3', 'the bridge')):
        if needed not in depends:
            problems.append(f'does not depend on {needed} ({why})')
    if not any(re.search(r'cjk|wqy|arphic|droid-fallback', d) for d in depends):
        problems.append('depends on no font with Chinese characters')
    problems += [f'depends on {d}, which only building or testing needs' for d in depends if TOOLCHAIN.search(d)]
    results['Debian package: runtime dependencies only'] = problems

    problems = []
    listing = {}
    try:
        for line in dpkg_deb('-c', str(deb)).splitlines():
            mode, owner, _, _, _, path = line.split(None, 5)
            listing[path.split(' -> ')[0]] = (mode, owner)
    except (subprocess.CalledProcessError, ValueError) as e:
        problems.append(f'unreadable file list: {e}')
    perms = {'r': 4, 'w': 2, 'x': 1, 's': 1, '-': 0}
    for path, wanted in DEB_FILES.items():
        if path not in listing:
            problems.append(f'lacks {path}')
            continue
        mode, owner = listing[path]
        bits = int(''.join(str(sum(perms[c] for c in mode[i:i + 3])) for i in (1, 4, 7)), 8)
        if bits != wanted or owner != 'root/root':
            problems.append(f'{path} is {mode} {owner}, expected {wanted:o} root/root')
    icons = [p for p in listing if re.fullmatch(r'\./usr/share/icons/hicolor/(\d+)x\1/apps/tarnvik\.png', p)]
    if not icons:
        problems.append('lacks an icon in /usr/share/icons/hicolor/<n>x<n>/apps')
    results['Debian package: programs, launcher, desktop entry, icon'] = problems

    problems = []
    root = work / 'deb'
    try:
        dpkg_deb('-x', str(deb), str(root))
        program = (root / 'usr/lib/tarnvik/TarnVik.exe').read_bytes()
        with zipfile.ZipFile(dist / f'TarnVik-{version}-windows-x64.zip') as z:
            if program != z.read(f'TarnVik-{version}-windows-x64/TarnVik.exe'):
                problems.append('TarnVik.exe differs from the x64 zip\'s')
        bridge = root / 'usr/lib/tarnvik/TarnVikBridge.exe'
        if PeImage(bridge.read_bytes()).machine != ARCHES['x64'][0]:
            problems.append('TarnVikBridge.exe is not an x86-64 program')
        problems += check_imports.problems(ARCHES['x64'][1], str(bridge))[0]
        launcher = (root / 'usr/bin/tarnvik').read_text()
        if f'VERSION="{version}"' not in launcher:
            problems.append('the launcher does not carry the version')
        entry = (root / 'usr/share/applications/tarnvik.desktop').read_text()
        lines = dict(line.split('=', 1) for line in entry.splitlines() if '=' in line)
        if lines.get('Exec') != '/usr/bin/tarnvik':
            problems.append(f'desktop entry starts {lines.get("Exec")!r}')
        if not lines.get('Icon', '').startswith('/') or not (root / lines['Icon'].lstrip('/')).is_file():
            problems.append(f'desktop entry\'s icon {lines.get("Icon")!r} is not in the package')
        if lines.get('StartupWMClass') != 'tarnvik.exe':
            problems.append(f'StartupWMClass {lines.get("StartupWMClass")!r}, expected the window\'s class tarnvik.exe')
    except (OSError, KeyError, ValueError, zipfile.BadZipFile, subprocess.CalledProcessError) as e:
        problems.append(str(e))
    results['Debian package: the zip\'s program, the version, the desktop entry'] = problems

    try:
        problems = check_licence(fields.get('Maintainer', ''),
                                 (root / 'usr/share/doc/tarnvik/copyright').read_text(), LICENSE.read_text())
    except OSError as e:
        problems = [str(e)]
    results['Debian package: a maintainer address, the MIT licence'] = problems

    problems = []
    if not shutil.which('lintian'):
        problems.append('lintian is not installed')
    else:
        run = subprocess.run(['lintian', '--fail-on', 'error', str(deb)], capture_output=True, text=True)
        errors = [line for line in run.stdout.splitlines() if line.startswith('E:')]
        problems += errors
        if run.returncode != 0 and not errors:
            problems.append(f'lintian ended {run.returncode}: {run.stderr.strip()}')
    results['Debian package: lintian finds no error'] = problems
    return results


def dep5_paragraphs(text: str) -> list:
    """The paragraphs of a machine-readable copyright file, each {field: value};
    continuation lines keep their newline, and " ." stands for an empty line."""
    paragraphs = []
    for block in re.split(r'\n\s*\n', text.strip()):
        fields, name = {}, None
        for line in block.splitlines():
            if line[:1] in (' ', '\t') and name:
                fields[name] += '\n' + ('' if line.strip() == '.' else line.strip())
            else:
                name, _, value = line.partition(':')
                fields[name] = value.strip()
        paragraphs.append(fields)
    return paragraphs


def words(text: str) -> list:
    return text.split()


def check_licence(maintainer: str, copyright_text: str, licence: str) -> list:
    """The maintainer's address is no placeholder, and the package's copyright
    file is machine-readable and gives the program the repository's
    licence, word for word."""
    problems = []
    if not re.fullmatch(r'[^<>@]+ <[^<>@\s]+@[^<>@\s]+\.[^<>@\s]+>', maintainer):
        problems.append(f'Maintainer {maintainer!r} is not "Name <address>"')
    elif PLACEHOLDER.search(maintainer):
        problems.append(f'Maintainer {maintainer!r} is a placeholder: its domain is reserved')
    paragraphs = dep5_paragraphs(copyright_text)
    if paragraphs[0].get('Format') != DEP5_FORMAT:
        problems.append(f'copyright: Format {paragraphs[0].get("Format")!r}, expected {DEP5_FORMAT}')
    program = next((p for p in paragraphs if p.get('Files') == '*'), None)
    holder = re.search(r'^Copyright \(c\) (.+)$', licence, re.M)
    if program is None:
        problems.append('copyright: no "Files: *" paragraph')
    else:
        if program.get('License') not in ('Expat', 'MIT'):
            problems.append(f'copyright: the program\'s licence is {program.get("License")!r}, expected Expat')
        if holder is None or words(holder.group(1)) != words(program.get('Copyright', '')):
            problems.append(f'copyright: holder {program.get("Copyright")!r}, LICENSE says '
                            f'{holder.group(1) if holder else None!r}')
    text = next((p['License'].partition('\n')[2] for p in paragraphs
                 if 'Files' not in p and p.get('License', '').split('\n')[0] in ('Expat', 'MIT')), '')
    grant = licence[licence.find('Permission is hereby granted'):]
    if not text or words(text) != words(grant):
        problems.append('copyright: the Expat licence text is missing or differs from LICENSE')
    return problems


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
    for name in [f'TarnVik-{version}-windows-{arch}.zip' for arch in ARCHES] + [deb_name(version)]:
        try:
            actual = hashlib.sha256((dist / name).read_bytes()).hexdigest()
        except OSError as e:
            problems.append(str(e))
            continue
        if listed.get(name) != actual:
            problems.append(f'{name}: listed {listed.get(name)}, is {actual}')
    if len(listed) != len(ARCHES) + 1:
        problems.append(f'lists {sorted(listed)}')
    return problems


def main() -> int:
    args = sys.argv[1:]
    junit = take_junit(args)
    dist, version = Path(args[0]), args[1]
    results = {}
    with tempfile.TemporaryDirectory() as work:
        for arch in ARCHES:
            results.update(check_arch(dist, version, arch, Path(work)))
        results.update(check_deb(dist, version, Path(work)))
    results['SHA256SUMS matches the packages'] = check_sums(dist, version)

    return report('package', results, junit)


if __name__ == '__main__':
    sys.exit(main())
