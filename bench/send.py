#!/usr/bin/python3
"""How fast the program sends, against the line rate and a bare loop.

Runs the program under Wine on a private Xvfb display (the end-to-end
harness) with COM7 on an unthrottled pty pair, the port set to --baud
(256000 by default), and prints, for the same number of bytes:

1. file send: a loaded file of random bytes sent with the file command;
2. hex send: the same bytes as hex pairs in the hex pane (lines of 32);
3. selection send: the whole hex pane selected and sent from its menu;
4. text send: printable ASCII lines of the same size from the text pane;
5. bare loops: bench/bare_write.cpp, overlapped WriteFile calls each waited
   for, on the same kind of port in the same prefix: one byte a call, and
   blocks of what the line carries in 1 ms (the program's writes are whole
   pieces of up to 4 KiB);
6. cancel: a file send cancelled after a second, or once a quarter of the
   file has arrived if that comes first (a fast send is over within the
   second); how long after the cancel was posted the last byte arrived.

Rates are taken at the device end, from the first byte to the last, so the
port opening and the start-up of each side are left out; the time from the
command to the last byte is shown as well. Every send is checked byte for
byte. Goals: file, hex and selection sends at least the line rate (baud/10
bytes a second) and 90 % of the bare block loop; a cancel within 5 ms.

    /usr/bin/python3 bench/send.py [--kib 128] [--rounds 1] [--baud 256000]

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


WM_CONTEXTMENU = 0x007B
BAUD_ITEMS = {256000: 2000, 128000: 2001, 115200: 2002, 57600: 2003, 38400: 2004, 19200: 2005, 9600: 2007}


def text_lines(n: int) -> list[str]:
    """Printable ASCII lines whose text send (a line break per pane line) is n bytes."""
    lines, size, k = [], 0, 0
    while size < n:
        line = "".join(chr(0x21 + (k + i) % 94) for i in range(63))[:n - size]
        lines.append(line)
        size += len(line) + 1
        k += 1
    return lines


def target_menu(app: tvh.App, pane: int) -> None:
    """Makes pane the target of the right-click menu commands."""
    x, y = app.rect(pane).center
    app.post_message(WM_CONTEXTMENU, app.h.control_hwnd(app.hwnd, pane), (y << 16) | x)
    app.wait_popup("#32768")
    app.key("Escape")
    app.wait_until(lambda: not app.popups("#32768"))


def program_round(s: tvh.Session, vp: tvh.VirtualPort, data: bytes, path: Path, baud: int) -> dict[str, dict]:
    launcher = s.launcher()
    results = {}
    try:
        win_path = "Z:" + str(path).replace("/", "\\")
        app = launcher.start(registry={"SelectedPortFileName": vp.name, "LoadedFileFullName": win_path,
                                       "LoadedFileTitleName": path.name, "Selected_BaudRate": BAUD_ITEMS[baud]})
        r = timed_send(vp, data, lambda: app.post_command(ids.ID_SEND_FILE))
        app.wait_text(ids.IDC_RECEIVE_VIEW, lambda t: "发送完成" in t, timeout=60)
        r["title"] = app.title()
        results["file send"] = r
        app.wait_until(lambda: not vp.is_open(), timeout=20)

        fill_hex_pane(app, data)
        r = timed_send(vp, data, lambda: app.post_command(ids.IDC_HEX_SEND))
        app.wait_until(lambda: app.text(ids.IDC_HEX_SEND) == "HEX发送", timeout=60)
        r["title"] = app.title()
        results["hex send"] = r
        app.wait_until(lambda: not vp.is_open(), timeout=20)

        app.set_sel(ids.IDC_HEX_PANE, 0, -1)
        target_menu(app, ids.IDC_HEX_PANE)
        results["selection"] = timed_send(vp, data, lambda: app.post_command(ids.ID_SEND_SELECTION))
        app.wait_until(lambda: not vp.is_open(), timeout=20)

        lines = text_lines(len(data))
        text = "\n".join(lines).encode("ascii")
        app.set_text(ids.IDC_TEXT_PANE, "")
        for i in range(0, len(lines), 512):
            app.set_sel(ids.IDC_TEXT_PANE, -1, -1)
            app.replace_sel(ids.IDC_TEXT_PANE, ("\r" if i else "") + "\r".join(lines[i:i + 512]))
        r = timed_send(vp, text, lambda: app.post_command(ids.IDC_TEXT_SEND))
        app.wait_until(lambda: app.text(ids.IDC_TEXT_SEND) == "文本发送", timeout=60)
        r["title"] = app.title()
        results["text send"] = r
        app.wait_until(lambda: not vp.is_open(), timeout=20)
        app.close()
        app.wait_exit(20)
    finally:
        launcher.close_all()
    return results


def cancel_round(s: tvh.Session, vp: tvh.VirtualPort, path: Path, baud: int, after: float = 1.0) -> dict:
    """A file send cancelled once its bytes have flowed for a while, or once
    a quarter of the file is out."""
    launcher = s.launcher()
    try:
        win_path = "Z:" + str(path).replace("/", "\\")
        app = launcher.start(registry={"SelectedPortFileName": vp.name, "LoadedFileFullName": win_path,
                                       "LoadedFileTitleName": path.name, "Selected_BaudRate": BAUD_ITEMS[baud]})
        vp.drain()
        collector = Collector(vp, path.stat().st_size, quiet=1.0)
        collector.start()
        app.post_command(ids.ID_SEND_FILE)
        size = path.stat().st_size
        tvh.wait_until(lambda: collector.first and (time.monotonic() - collector.first > after
                                                    or len(collector.data) > size // 4), 30, interval=0.005)
        posting = time.monotonic()
        app.post_command(ids.ID_SEND_FILE)
        posted = time.monotonic()
        collector.join()
        app.wait_text(ids.IDC_RECEIVE_VIEW, lambda t: "发送取消" in t, timeout=30)
        app.close()
        app.wait_exit(20)
    finally:
        launcher.close_all()
    return dict(after_posted=(collector.last - posted) * 1000, post_ms=(posted - posting) * 1000,
                sent=len(collector.data))


def bare_round(s: tvh.Session, vp: tvh.VirtualPort, n: int, block: int, baud: int) -> dict:
    expected = bytes((i * 7 + (i >> 8)) & 0xFF for i in range(n))
    answer = {}

    def run() -> None:
        proc = subprocess.run(["wine", str(BARE_EXE), vp.name, str(n), str(block), str(baud)], env=s.app_env,
                              capture_output=True, timeout=600)
        answer["out"] = proc.stdout.decode(errors="replace").strip()

    result = timed_send(vp, expected, run)
    result["loop"] = answer.get("out", "")
    return result


def show(name: str, r: dict, line_rate: float, reference: float | None = None) -> None:
    ratio = f"  {r['rate'] / reference * 100:6.1f} % of the bare block loop" if reference else ""
    print(f"{name:<16} {r['rate'] / 1000:8.2f} kB/s  {r['rate'] / line_rate * 100:6.1f} % of the line  "
          f"command to last byte {r['total']:6.2f} s  "
          f"{'byte-exact' if r['exact'] else 'NOT EXACT (%d bytes)' % r['got']}{ratio}", flush=True)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--kib", type=int, default=128, help="bytes per send in KiB (default 128)")
    ap.add_argument("--rounds", type=int, default=1, help="rounds of everything (default 1)")
    ap.add_argument("--baud", type=int, default=256000, choices=sorted(BAUD_ITEMS), help="line rate (default 256000)")
    ap.add_argument("--no-byte-loop", action="store_true", help="leave out the (slow) bare loop of one-byte writes")
    args = ap.parse_args()
    n = args.kib * 1024
    build_bare_loop()
    data = random.Random(7).randbytes(n)
    line_rate = args.baud / 10
    # What the line carries in a millisecond with 8 data bits, no parity, one stop bit.
    block = max(1, args.baud // 10 // 1000)

    with tvh.Session() as s:
        path = s.tmp_root / "payload.bin"
        path.write_bytes(data)
        big = s.tmp_root / "cancel.bin"
        big.write_bytes(random.Random(8).randbytes(4 << 20))
        vp = s.virtual_port(7)
        try:
            for round_no in range(1, args.rounds + 1):
                print(f"round {round_no}: {n} bytes at {args.baud} baud (line rate {line_rate / 1000:.1f} kB/s)",
                      flush=True)
                bare1 = None if args.no_byte_loop else bare_round(s, vp, n, 1, args.baud)
                bare = bare_round(s, vp, n, block, args.baud)
                results = program_round(s, vp, data, path, args.baud)
                if bare1:
                    show("bare loop 1 B", bare1, line_rate)
                show(f"bare loop {block} B", bare, line_rate)
                for name, r in results.items():
                    show(name, r, line_rate, bare["rate"])
                print(f"  bare loops' own timing (bytes, s): {bare1['loop'] if bare1 else '-'} / {bare['loop']}")
                print("  titles: " + " ".join(repr(r["title"]) for r in results.values() if "title" in r), flush=True)
                c = cancel_round(s, vp, big, args.baud)
                print(f"cancel of a file send: last byte {c['after_posted']:.1f} ms after the cancel was posted "
                      f"(posting took {c['post_ms']:.1f} ms; {c['sent']} bytes sent)", flush=True)
        finally:
            vp.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
