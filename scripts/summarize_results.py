#!/usr/bin/env python3
"""Adds up the JUnit-style XML files the test runs left and prints one line
"N passed, N failed"; exits non-zero when anything failed or a run left no
results at all (a crashed test program writes none). Arguments after the
results folder give each run's exit code (group=code): a run that failed
without recording a failing case counts as one failure."""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

def count(path):
    root = ET.parse(path).getroot()
    suites = [root] if root.tag == 'testsuite' else root.iter('testsuite')
    passed = failed = 0
    for suite in suites:
        for case in suite.iter('testcase'):
            if case.find('skipped') is not None or case.get('status') == 'notrun':
                continue
            if case.find('failure') is not None or case.find('error') is not None:
                failed += 1
            else:
                passed += 1
    return passed, failed

def main():
    results = Path(sys.argv[1])
    codes = dict(a.split('=', 1) for a in sys.argv[2:])
    passed = failed = 0
    expected = {'layers': results / 'layers.xml', 'native': results / 'native', 'fuzz': results / 'fuzz.xml', 'windows': results / 'windows',
                'package': results / 'package.xml', 'e2e': results / 'e2e.xml'}
    for name, where in expected.items():
        files = sorted(where.glob('*.xml')) if where.is_dir() else ([where] if where.exists() else [])
        if not files:
            print(f'{name}: no results (the run crashed or did not start)')
            failed += 1
        group_failed = 0
        for f in files:
            try:
                p, fl = count(f)
            except ET.ParseError:
                print(f'{f}: unreadable results')
                p, fl = 0, 1
            passed += p
            group_failed += fl
        if files and not group_failed and codes.get(name, '0') != '0':
            print(f'{name}: the run failed without a failing case (a test program crashed?)')
            group_failed = 1
        failed += group_failed
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0

if __name__ == '__main__':
    sys.exit(main())
