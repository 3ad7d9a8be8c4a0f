#!/usr/bin/python3
"""How fast the program sends, against a bare loop of one-byte writes.

Runs the program under Wine on a private Xvfb display (the end-to-end
harness) with COM7 on an unthrottled pty pair and prints, for the same
number of bytes:

1. file send: a loaded file of random bytes sent with the file command;
2. hex send: the same bytes as hex pairs in the hex pane (lines of 32);
3. bare loop: bench/bare_write.cpp, one overlapped WriteFile of one byte
   at a time, each waited for, on the same kind of port in the same prefix.

Rates are taken at the device end, from the first byte to the last, so the
port opening and the start-up of each side are left out; the time from the
command to the last byte is shown as well. Every send is checked byte for
byte. Goal: the file send reaches at least 90 % of the bare loop's rate.

    /usr/bin/python3 bench/send.py [--kib 128] [--rounds 1]

Needs build/windows-x64/TarnVik.exe and tvhelper.exe, and
x86_64-w64-mingw32-g++-posix for the bare loop (built into build/bench/).
A figure, not a test: nothing here fails on a missed goal.
"""

from __future__ import annotations

import argparse
import os
import random
import select
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import tvharness as tvh  # noqa: E402
from tvharness import ids  # noqa: E402

BARE_SOURCE = ROOT / "bench" / "bare_write.cpp"
BARE_EXE = ROOT / "build" / "bench" / "bare_write.exe"


def build_bare_loop() -> Path:
    if BARE_EXE.is_file() and BARE_EXE.stat().st_mtime >= BARE_SOURCE.stat().st_mtime:
        return BARE_EXE
    BARE_EXE.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["x86_64-w64-mingw32-g++-posix", "-O2", "-static", "-municode", "-o", str(BARE_EXE),
                    str(BARE_SOURCE)], check=True)
    return BARE_EXE


class Collector(threading.Thread):
    """Reads the device end until n bytes came or it stays quiet too long,
    noting when the first and the last byte arrived."""

    def __init__(self, vp: tvh.VirtualPort, n: int, quiet: float = 30.0):
        super().__init__(daemon=True)
        self.vp, self.n, self.quiet = vp, n, quiet
        self.data = bytearray()
        self.first = self.last = 0.0

    def run(self) -> None:
        last_change = time.monotonic()
        while len(self.data) < self.n and time.monotonic() - last_change < self.quiet:
            if not select.select([self.vp.fd], [], [], 0.5)[0]:
                continue
            try:
                chunk = os.read(self.vp.fd, 1 << 16)
            except BlockingIOError:
                continue
            now = time.monotonic()
            if chunk:
                if not self.data:
                    self.first = now
                self.data += chunk
                self.last = last_change = now

    def rate(self) -> float:
        span = self.last - self.first
        return (len(self.data) - 1) / span if span > 0 else float("nan")


def timed_send(vp: tvh.VirtualPort, expected: bytes, start) -> dict:
    vp.drain()
    collector = Collector(vp, len(expected))
    collector.start()
    started = time.monotonic()
    start()
    collector.join()
    got = bytes(collector.data)
    return dict(rate=collector.rate(), total=collector.last - started, exact=got == expected, got=len(got))


def fill_hex_pane(app: tvh.App, data: bytes) -> None:
    # In pieces: one huge WM_SETTEXT between processes is very slow under Wine.
    lines = [" ".join(f"{b:02X}" for b in data[i:i + 32]) for i in range(0, len(data), 32)]
    app.set_text(ids.IDC_HEX_PANE, "")
    for i in range(0, len(lines), 512):
        app.set_sel(ids.IDC_HEX_PANE, -1, -1)
        app.replace_sel(ids.IDC_HEX_PANE, ("\r" if i else "") + "\r".join(lines[i:i + 512]))


def program_round(s: tvh.Session, vp: tvh.VirtualPort, data: bytes, path: Path) -> tuple[dict, dict]:
    launcher = s.launcher()
    try:
        win_path = "Z:" + str(path).replace("/", "\\")
        app = launcher.start(registry={"SelectedPortFileName": vp.name, "LoadedFileFullName": win_path,
                                       "LoadedFileTitleName": path.name})
        file_result = timed_send(vp, data, lambda: app.post_command(ids.ID_SEND_FILE))
        app.wait_text(ids.IDC_RECEIVE_VIEW, lambda t: "发送完成" in t, timeout=60)
        file_result["title"] = app.title()
        app.wait_until(lambda: not vp.is_open(), timeout=20)

        fill_hex_pane(app, data)
        hex_result = timed_send(vp, data, lambda: app.post_command(ids.IDC_HEX_SEND))
        app.wait_until(lambda: app.text(ids.IDC_HEX_SEND) == "HEX发送", timeout=60)
        hex_result["title"] = app.title()
        app.wait_until(lambda: not vp.is_open(), timeout=20)
        app.close()
        app.wait_exit(20)
    finally:
        launcher.close_all()
    return file_result, hex_result


def bare_round(s: tvh.Session, vp: tvh.VirtualPort, n: int) -> dict:
    expected = bytes((i * 7 + (i >> 8)) & 0xFF for i in range(n))
    answer = {}

    def run() -> None:
        proc = subprocess.run(["wine", str(BARE_EXE), vp.name, str(n)], env=s.app_env, capture_output=True,
                              timeout=600)
        answer["out"] = proc.stdout.decode(errors="replace").strip()

    result = timed_send(vp, expected, run)
    result["loop"] = answer.get("out", "")
    return result


def show(name: str, r: dict, reference: float | None = None) -> None:
    ratio = f"  {r['rate'] / reference * 100:6.1f} % of the bare loop" if reference else ""
    print(f"{name:<10} {r['rate'] / 1000:8.2f} kB/s  command to last byte {r['total']:6.2f} s  "
          f"{'byte-exact' if r['exact'] else 'NOT EXACT (%d bytes)' % r['got']}{ratio}", flush=True)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--kib", type=int, default=128, help="bytes per send in KiB (default 128)")
    ap.add_argument("--rounds", type=int, default=1, help="rounds of all three (default 1)")
    args = ap.parse_args()
    n = args.kib * 1024
    build_bare_loop()
    data = random.Random(7).randbytes(n)

    with tvh.Session() as s:
        path = s.tmp_root / "payload.bin"
        path.write_bytes(data)
        vp = s.virtual_port(7)
        try:
            for round_no in range(1, args.rounds + 1):
                print(f"round {round_no}: {n} bytes", flush=True)
                bare = bare_round(s, vp, n)
                file_result, hex_result = program_round(s, vp, data, path)
                show("bare loop", bare)
                show("file send", file_result, bare["rate"])
                show("hex send", hex_result, bare["rate"])
                print(f"  bare loop's own timing (bytes, s): {bare['loop']}")
                print(f"  titles: {file_result['title']!r} {hex_result['title']!r}", flush=True)
        finally:
            vp.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
