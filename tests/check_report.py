"""What the repository checks share: the --junit argument, and printing their
results (a name and its problems; none means it holds) as lines and JUnit XML."""
from pathlib import Path
from xml.sax.saxutils import quoteattr


def take_junit(args: list) -> Path | None:
    """Removes "--junit <file>" from args and returns the file, if given."""
    if '--junit' not in args:
        return None
    i = args.index('--junit')
    junit = Path(args[i + 1])
    del args[i:i + 2]
    return junit


def report(suite: str, results: dict, junit: Path | None) -> int:
    """Prints one line per check and returns the exit code: 1 if any failed."""
    failed = 0
    cases = []
    for name, problems in results.items():
        print(('FAIL ' if problems else 'ok   ') + name + ''.join(f'\n     {p}' for p in problems))
        failed += bool(problems)
        failure = f'<failure message={quoteattr("; ".join(problems))}/>' if problems else ''
        cases.append(f'  <testcase classname="{suite}" name={quoteattr(name)}>{failure}</testcase>')
    if junit:
        junit.write_text(f'<testsuite name="{suite}" tests="{len(cases)}" failures="{failed}">\n'
                         + '\n'.join(cases) + '\n</testsuite>\n', encoding='utf-8')
    return 1 if failed else 0
