#!/usr/bin/env python3
"""Checks that a built program needs nothing but Windows itself, down to XP:
only system DLLs in its import table (no C++ runtime, libgcc or winpthread
DLL) and none of the kernel functions that appeared after XP.
Usage: check_imports.py <objdump> <program.exe> [<program.exe>...]"""
import re
import subprocess
import sys

SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'comdlg32.dll', 'shell32.dll',
    'shlwapi.dll', 'ole32.dll', 'oleaut32.dll', 'advapi32.dll', 'setupapi.dll', 'imm32.dll', 'msvcrt.dll',
    'winmm.dll', 'psapi.dll',
}
# Functions a program for XP must not import: any one of them keeps the
# program from loading there. The program looks up the user32 ones at run
# time.
AFTER_XP = {
    'GetTickCount64', 'CancelIoEx', 'CancelSynchronousIo', 'InitializeSRWLock', 'AcquireSRWLockExclusive',
    'AcquireSRWLockShared', 'ReleaseSRWLockExclusive', 'ReleaseSRWLockShared', 'TryAcquireSRWLockExclusive',
    'InitializeConditionVariable', 'SleepConditionVariableCS', 'SleepConditionVariableSRW',
    'WakeConditionVariable', 'WakeAllConditionVariable', 'InitOnceExecuteOnce', 'InitOnceBeginInitialize',
    'CreateEventExW', 'CreateEventExA', 'CreateMutexExW', 'CreateSemaphoreExW', 'GetFinalPathNameByHandleW',
    'GetFileInformationByHandleEx', 'SetFileInformationByHandle', 'GetErrorMode', 'GetSystemTimePreciseAsFileTime',
    'GetCurrentProcessorNumber', 'FlushProcessWriteBuffers', 'CreateThreadpoolWork', 'GetLocaleInfoEx',
    'CompareStringEx', 'LCMapStringEx', 'GetUserDefaultLocaleName', 'WaitOnAddress', 'SetThreadDescription',
    'ChangeWindowMessageFilter', 'ChangeWindowMessageFilterEx', 'GetDpiForWindow', 'GetDpiForSystem',
    'SetProcessDPIAware', 'SetProcessDpiAwarenessContext', 'SetProcessInformation',
}


# Windows 7 moved the psapi functions into kernel32 as K32*; XP has none of them.
KERNEL32_AFTER_XP = re.compile(r'K32[A-Z]')


def imports(objdump, exe):
    text = subprocess.run([objdump, '-p', exe], check=True, capture_output=True, text=True).stdout
    dlls, functions, current = [], {}, None
    for line in text.splitlines():
        m = re.match(r'\s*DLL Name: (\S+)', line)
        if m:
            current = m.group(1).lower()
            dlls.append(current)
            functions[current] = set()
            continue
        m = re.match(r'\s+[0-9a-f]+\s+(?:<none>\s+)?[0-9a-f]*\s*([A-Za-z_][A-Za-z0-9_@]*)$', line)
        if current and m:
            functions[current].add(m.group(1))
    return dlls, functions


def problems(objdump, exe):
    """What keeps the program from running on a bare Windows XP or later;
    empty when nothing does."""
    dlls, functions = imports(objdump, exe)
    found = [] if dlls else ['no import table found']
    found += [f'imports {dll}, which is not part of Windows' for dll in dlls if dll not in SYSTEM_DLLS]
    late = sorted(f for names in functions.values() for f in names if f in AFTER_XP)
    late += sorted(f for f in functions.get('kernel32.dll', ()) if KERNEL32_AFTER_XP.match(f))
    if late:
        found.append(f'imports functions Windows XP lacks: {", ".join(late)}')
    return found, dlls


def main():
    objdump, exes = sys.argv[1], sys.argv[2:]
    failed = False
    for exe in exes:
        found, dlls = problems(objdump, exe)
        for problem in found:
            print(f'{exe}: {problem}')
        if found:
            failed = True
        else:
            print(f'{exe}: {", ".join(dlls)}')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
