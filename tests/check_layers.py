#!/usr/bin/env python3
"""Checks that the source folders stand one way down: each folder includes
only its own headers and those of the floors below it, and src/base names
nothing of the program. Prints one line per rule, "ok" or what breaks it.
Usage: check_layers.py <src> [--junit <file>]"""
import re
import sys
from pathlib import Path

from check_report import report, take_junit

# Each floor may include itself and what is listed; headers the build
# generates (no folder in their name) count as the program's own, so base
# may not include them either.
FLOORS = {
    'base': set(),
    'serial': {'base'},
    'settings': {'base', 'serial'},
    'send': {'base', 'serial', 'settings'},
    'diagnostics': {'base', 'serial', 'settings', 'send', ''},
    'session': {'base', 'serial', 'settings', 'send', 'diagnostics'},
    'bridge': {'base'},
    'app': {'base', 'serial', 'settings', 'send', 'diagnostics', 'session', 'resources', ''},
}
# The menus' command ids belong to the window layer: below it, choices
# travel as values. A number defined as a time or a size (kCloseWaitMs =
# 2000) is not an id, nor is one inside a text.
COMMAND_IDS = set(range(2000, 2100)) | set(range(2100, 2104)) | {3000} | set(range(4001, 4026)) | set(range(4200, 4231))
NUMBER = re.compile(r'(?<![\w.])\d{4}(?![\w.])')
NOT_AN_ID = re.compile(r'\b\w*(Ms|Bytes|Units|Chars)\s*=')
STRING = re.compile(r'L?"(?:[^"\\]|\\.)*"')
BELOW_APP = ('serial', 'settings', 'send', 'diagnostics', 'session')
NAMES = re.compile(r'(?i:tarn)|\b(IDC|IDD|ID)_[A-Z]|\bJobKind')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def check(src: Path) -> dict:
    results = {}
    for floor, allowed in FLOORS.items():
        problems = []
        for f in sorted((src / floor).rglob('*')):
            if f.suffix not in ('.h', '.cpp', '.c', '.rc'):
                continue
            for target in INCLUDE.findall(f.read_text(encoding='utf-8', errors='replace')):
                folder = target.split('/', 1)[0] if '/' in target else ''
                if folder != floor and folder not in allowed:
                    problems.append(f'{f.relative_to(src)} includes "{target}"')
        below = ', '.join(sorted(a or 'generated headers' for a in allowed)) or 'nothing of the program'
        results[f'src/{floor} includes only itself and {below}'] = problems
    # The ground floor could serve another program: none of this one's
    # names, texts (all of them Chinese) or control ids.
    problems = []
    for f in sorted((src / 'base').rglob('*')):
        if f.suffix not in ('.h', '.cpp'):
            continue
        for n, line in enumerate(f.read_text(encoding='utf-8', errors='replace').splitlines(), 1):
            if NAMES.search(line) or any(ord(c) > 127 for c in line):
                problems.append(f'{f.relative_to(src)}:{n}: {line.strip()}')
    results['src/base names nothing of the program'] = problems
    problems = []
    for floor in BELOW_APP:
        for f in sorted((src / floor).rglob('*')):
            if f.suffix not in ('.h', '.cpp'):
                continue
            for n, line in enumerate(f.read_text(encoding='utf-8', errors='replace').splitlines(), 1):
                code = STRING.sub('""', line.split('//', 1)[0])
                ids = [] if NOT_AN_ID.search(code) else [n for n in NUMBER.findall(code) if int(n) in COMMAND_IDS]
                if ids or re.search(r'\b(IDC|IDD|ID)_[A-Z]', code):
                    problems.append(f'{f.relative_to(src)}:{n}: {line.strip()}')
    results['nothing below src/app names a command id'] = problems
    return results


def main() -> int:
    args = sys.argv[1:]
    junit = take_junit(args)
    results = check(Path(args[0]))
    return report('layers', results, junit)


if __name__ == '__main__':
    sys.exit(main())
