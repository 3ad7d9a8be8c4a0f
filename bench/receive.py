#!/usr/bin/python3
"""How fast and how faithfully the program shows what a port receives.

Runs the program under Wine on a private Xvfb display (the end-to-end
harness), opens COM7 on an unthrottled pty pair and prints:

1. displayed throughput for a stream in hex mode and in text mode: from the
   first byte written at the device end to the receive view holding all of
   it (its WM_GETTEXTLENGTH reaching the expected length);
2. bytes lost: the receive view's text compared exactly with what was sent
   (printable ASCII lines in text mode, the hex pairs in hex mode);
3. the program's peak memory (VmHWM of its Linux process);
4. the program's CPU use over 10 s with the port open and nothing arriving;
5. how long the window takes to answer a sent message while the flood is
   being displayed (WM_GETTEXTLENGTH to the receive view and WM_NULL to the
   dialog, through the helper, whose own round trip is shown apart).

With --paced BAUD the device is a UART without flow control instead: every
tick it offers the bytes the line carries at that rate (10 bits a byte) for
--seconds, and whatever the pty cannot take at once is dropped, as a real
port's receiver would overrun. It prints the bytes offered and dropped, the
rate at which the view took text in (its length sampled every 20 ms, the
drops at its trims left out) beside the rate the line brings, how long after
the device stopped the view showed the newest bytes, whether what it shows
after its last "skipped" line is exactly the end of what was taken, and how
many such lines it shows. --log on|off|both runs it with the receive log
on, off or each in turn; with the log on it also prints whether the log
file holds exactly the bytes taken.

With --long one program shows 4 MiB in hex and then 16 MiB of text lines
at full speed, each followed by a clear, and prints resident memory (peak
and after), the view's length, the clear's duration and the dialog's
answer times throughout. The view keeps only the newest text of such a
flood: a flood counts as shown once the view ends with its last byte, and
the view is exact when what it holds is the end of what was sent.

Goals: 0 bytes lost, at least 256 kB/s displayed (64 kB/s in hex view),
idle CPU under 3 % of one core, answers within 100 ms during the flood; 0
bytes dropped for a paced device at 256000 baud in either view.

    /usr/bin/python3 bench/receive.py [--mib 4] [--idle 10]
    /usr/bin/python3 bench/receive.py --paced 256000 [--seconds 60] [--modes text,hex] [--log both]
    /usr/bin/python3 bench/receive.py --long

Needs build/windows-x64/TarnVik.exe and tvhelper.exe. A figure, not a
test: nothing here fails on a missed goal. bench/view_append.cpp times the
receive view's control alone, append by append, as its text grows.
"""

from __future__ import annotations

import argparse
import os
import random
import re
import select
import statistics
import sys
import threading
import time
from pathlib import Path, PureWindowsPath

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))

import tvharness as tvh  # noqa: E402
from tvharness import ids  # noqa: E402

WM_NULL = 0
LINE_CHARS = 63  # printable characters per line in text mode, then "\n"
CLK_TCK = os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid: int) -> int:
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def peak_memory_kib(pid: int) -> int:
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def wineserver_pid(prefix: Path) -> int | None:
    """The wineserver of the bench's own prefix (read only, for its CPU)."""
    want = f"WINEPREFIX={prefix}".encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if not os.path.basename(os.readlink(f"/proc/{entry}/exe")).startswith("wineserver"):
                continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if want in f.read().split(b"\0"):
                    return int(entry)
        except OSError:
            continue
    return None


def text_stream(size: int) -> bytes:
    """Printable lines, each numbered: no stretch of the stream repeats, so
    a view that ends like the stream has shown all of it."""
    pattern = bytes(0x21 + i % 94 for i in range(2 * LINE_CHARS))
    lines = []
    n = 0
    number = 0
    while n < size:
        head = b"%08d " % number
        line = head + pattern[number % LINE_CHARS:][:LINE_CHARS - len(head)] + b"\n"
        lines.append(line)
        n += len(line)
        number += 1
    return b"".join(lines)[:size - 1] + b"\n"


def hex_stream(size: int) -> bytes:
    """Bytes that never repeat a stretch (a seeded generator)."""
    return random.Random(7).randbytes(size)


class Writer(threading.Thread):
    """Writes the whole stream at the device end as fast as the pty takes it."""

    def __init__(self, vp: tvh.VirtualPort, data: bytes):
        super().__init__(daemon=True)
        self.vp, self.data = vp, data
        self.started_at = 0.0
        self.finished_at = 0.0
        self.stop = False

    def run(self) -> None:
        view = memoryview(self.data)
        self.started_at = time.monotonic()
        while view and not self.stop:
            select.select([], [self.vp.fd], [], 1.0)
            try:
                view = view[os.write(self.vp.fd, view[:65536]):]
            except BlockingIOError:
                pass
        self.finished_at = time.monotonic()


class PacedWriter(threading.Thread):
    """A device with no flow control: at every tick it offers what the line
    carried since the start; what the pty does not take at once is lost, as
    a UART's receiver overruns."""

    def __init__(self, vp: tvh.VirtualPort, data: bytes, rate: float, seconds: float, tick: float = 0.005):
        super().__init__(daemon=True)
        self.vp, self.data, self.rate, self.seconds, self.tick = vp, data, rate, seconds, tick
        self.taken = bytearray()
        self.offered = 0
        self.dropped = 0
        self.started_at = 0.0
        # The device's own pauses (this process not scheduled): a pause
        # longer than the pty's slack drops bytes whatever the program does.
        self.longest_pause = 0.0
        self.dropped_after_pause = 0

    def run(self) -> None:
        self.started_at = time.monotonic()
        last = self.started_at
        while True:
            now = time.monotonic()
            pause, last = now - last, now
            self.longest_pause = max(self.longest_pause, pause)
            elapsed = now - self.started_at
            due = min(int(self.rate * min(elapsed, self.seconds)), len(self.data))
            if due > self.offered:
                chunk = self.data[self.offered:due]
                try:
                    n = os.write(self.vp.fd, chunk)
                except BlockingIOError:
                    n = 0
                self.taken += chunk[:n]
                self.dropped += len(chunk) - n
                if pause > 0.04:
                    self.dropped_after_pause += len(chunk) - n
                self.offered = due
            if elapsed >= self.seconds:
                break
            time.sleep(self.tick)


def timed(fn, *args):
    """fn's result and how long it took; a window that does not answer within
    the helper's 5 s gives None and the time waited."""
    t = time.monotonic()
    try:
        result = fn(*args)
    except tvh.HelperError:
        result = None
    return result, time.monotonic() - t


def hex_view(data: bytes) -> str:
    """The hex view's text for data received into an empty view: 16 bytes to a line."""
    return "".join(f"{b:02X} " + ("\r\n" if i % 16 == 15 else "") for i, b in enumerate(data))


TRIMMED = "...................较早的内容已删除................"
# The line that stands for received bytes the view skipped.
SKIPPED = re.compile(r"(?:\r\n)?\.+显示跟不上,跳过 (\d+) 字节\.+\r\n")
LOG_STARTED = re.compile(r"保存到文件: (.+?\.log)\r\n")
LOG_ENDED = re.compile(r"保存结束: (.+?\.log), (\d+) 字节\r\n")
# The menu rows of the higher rates.
BAUD_ITEMS = {256000: 2000, 128000: 2001, 115200: 2002, 57600: 2003, 38400: 2004, 230400: 2060, 460800: 2061,
              500000: 2062, 921600: 2063, 1000000: 2064, 1500000: 2065, 2000000: 2066, 3000000: 2067}


def resident_kib(pid: int, field: str = "VmRSS:") -> int:
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1])
    return 0


def held_part(shown: str, expected: str) -> tuple[bool, int]:
    """Whether the view holds the end of what was sent, unchanged: all of
    it, or its newest whole lines after the line that says older text went.
    Also how many characters of the expected text it holds."""
    kept = shown
    if shown.startswith(TRIMMED + "\r\n"):
        kept = shown[len(TRIMMED) + 2:]
    if not expected.endswith(kept):
        return False, len(kept)
    start = len(expected) - len(kept)
    return start == 0 or expected[start - 1] == "\n", len(kept)


def newest_part(shown: str, expected: str) -> tuple[bool, int, int, int]:
    """What the view shows after its last trim or skip line: whether it is
    exactly the end of what was sent, and how many characters; also how
    many skip lines the view shows and the bytes they count."""
    skips = list(SKIPPED.finditer(shown))
    start = skips[-1].end() if skips else 0
    if not skips and shown.startswith(TRIMMED + "\r\n"):
        start = len(TRIMMED) + 2
    tail = shown[start:]
    return expected.endswith(tail) and len(tail) > 0, len(tail), len(skips), sum(int(m.group(1)) for m in skips)


def set_mode(app: tvh.App, hex_mode: bool) -> None:
    want_caption = "数" if hex_mode else "文"
    if app.text(ids.IDC_RECEIVE_MODE) != want_caption:
        app.post_command(ids.IDC_RECEIVE_MODE)
        app.wait_text(ids.IDC_RECEIVE_MODE, lambda t: t == want_caption)


def clear_view(app: tvh.App, helper: tvh.Helper) -> float:
    """Clears the receive view with its button; how long until it is empty
    and the dialog answers again."""
    t = time.monotonic()
    app.post_command(ids.IDC_CLEAR_RECEIVE)
    old = helper.set_send_timeout(600000)
    try:
        while int(helper.request("text-length", app.hwnd, ids.IDC_RECEIVE_VIEW, timeout=700)[0]) != 0:
            time.sleep(0.005)
        helper.request("send-message", app.hwnd, WM_NULL, 0, 0, timeout=700)
    finally:
        helper.set_send_timeout(old)
    return time.monotonic() - t


def flood(app: tvh.App, helper: tvh.Helper, vp: tvh.VirtualPort, hex_mode: bool, size: int,
          limit: float) -> dict:
    clear_view(app, helper)  # the port list report
    set_mode(app, hex_mode)
    data = hex_stream(size) if hex_mode else text_stream(size)
    expected = hex_view(data) if hex_mode else data.decode("ascii").replace("\n", "\r\n")

    writer = Writer(vp, data)
    latencies_view, latencies_null = [], []
    peak_rss = 0
    writer.start()
    last_change, last_length, last_look = time.monotonic(), -1, 0.0
    done_at = None
    shown, fetch_s = "", 0.0
    while True:
        length, dt = timed(helper.text_length, app.hwnd, ids.IDC_RECEIVE_VIEW)
        latencies_view.append(dt)
        now = time.monotonic()
        peak_rss = max(peak_rss, resident_kib(app.pid))
        if length is not None and length != last_length:
            last_change, last_length = now, length
        # Once everything is written, the view is read whenever it stops
        # growing (and now and then): done when it ends with the last byte.
        if not writer.is_alive() and (now - last_change > 0.1 or now - last_look > 1.0):
            last_look = now
            got, fetch_s = timed(helper.text, app.hwnd, ids.IDC_RECEIVE_VIEW)
            if got is not None:
                shown = got
                if shown.endswith(expected[-200:]):
                    done_at = time.monotonic() - fetch_s
                    break
        if now - last_change > 30 or now - writer.started_at > limit:
            break
        _, dt = timed(helper.send_message, app.hwnd, WM_NULL, 0, 0)
        latencies_null.append(dt)
        time.sleep(0.02)
    writer.stop = True
    writer.join(30)
    whole, held = held_part(shown, expected)
    _, _, skip_lines, skipped_shown = newest_part(shown, expected)
    if skip_lines:
        # The view skipped what it could not keep up with: exact after its
        # last skip line.
        whole, held, _, _ = newest_part(shown, expected)
    chars_per_byte = len(expected) / len(data)
    return dict(
        mode="hex" if hex_mode else "text", size=size, done=done_at is not None,
        seconds=(done_at if done_at else time.monotonic()) - writer.started_at,
        same=whole, held_bytes=int(held / chars_per_byte), view_chars=len(shown), skip_lines=skip_lines,
        skipped_shown=skipped_shown,
        view_ms=[x * 1000 for x in latencies_view], null_ms=[x * 1000 for x in latencies_null],
        fetch_s=fetch_s, peak_rss_kib=peak_rss)


def report_flood(r: dict, size: int) -> None:
    if r["done"]:
        print(f"{r['mode']} mode, {size} bytes: displayed throughput {size / r['seconds'] / 1000:.0f} kB/s "
              f"({r['seconds']:.2f} s); the view holds the newest {r['held_bytes']} bytes "
              f"({r['view_chars']} characters), " + ("byte-exact, ending with the last byte sent" if r["same"]
                                                     else "NOT EXACT"))
        if r["skip_lines"]:
            print(f"  the view fell behind: it shows {r['skip_lines']} skip line(s) for {r['skipped_shown']} "
                  f"bytes, so the throughput above counts bytes it skipped")
    else:
        print(f"{r['mode']} mode, {size} bytes: NOT FINISHED in {r['seconds']:.0f} s; the view ends "
              + ("with what was sent" if r["same"] else "otherwise") + f" ({r['view_chars']} characters)")
    print("  " + describe_latency("WM_GETTEXTLENGTH to the view during the flood", r["view_ms"]))
    print("  " + describe_latency("WM_NULL to the dialog during the flood", r["null_ms"]))
    print(f"  resident memory during the flood: peak {r['peak_rss_kib'] / 1024:.0f} MiB", flush=True)


def paced(app: tvh.App, helper: tvh.Helper, vp: tvh.VirtualPort, hex_mode: bool, baud: int,
          seconds: float, catch_up: float) -> dict:
    app.post_command(ids.IDC_CLEAR_RECEIVE)
    app.wait_until(lambda: helper.text_length(app.hwnd, ids.IDC_RECEIVE_VIEW) == 0, timeout=60)
    want_caption = "数" if hex_mode else "文"
    if app.text(ids.IDC_RECEIVE_MODE) != want_caption:
        app.post_command(ids.IDC_RECEIVE_MODE)
        app.wait_text(ids.IDC_RECEIVE_MODE, lambda t: t == want_caption)
    rate = baud / 10
    size = int(rate * seconds) + 1
    data = hex_stream(size) if hex_mode else text_stream(size)
    writer = PacedWriter(vp, data, rate, seconds)
    latencies_null = []
    # The view's length, every 20 ms: what it grew by is what it took in,
    # except across a trim, whose drop is left out.
    grown, last_length, last_null = 0, 0, 0.0
    writer.start()
    while writer.is_alive():
        length, dt = timed(helper.text_length, app.hwnd, ids.IDC_RECEIVE_VIEW)
        if length is not None:
            grown += max(0, length - last_length)
            last_length = length
        if time.monotonic() - last_null >= 0.05:
            last_null = time.monotonic()
            _, dt = timed(helper.send_message, app.hwnd, WM_NULL, 0, 0)
            latencies_null.append(dt * 1000)
        time.sleep(0.02)
    sending = time.monotonic() - writer.started_at
    taken = bytes(writer.taken)
    expected = hex_view(taken) if hex_mode else taken.decode("ascii").replace("\n", "\r\n")
    sent_at = time.monotonic()
    shown = ""
    # The view may be in the middle of a long insertion: wait for it.
    old = helper.set_send_timeout(600000)
    try:
        while time.monotonic() - sent_at < catch_up:
            shown = timed(helper.text, app.hwnd, ids.IDC_RECEIVE_VIEW)[0] or shown
            if shown.endswith(expected[-200:]):
                break
            time.sleep(0.5)
    finally:
        helper.set_send_timeout(old)
    behind = time.monotonic() - sent_at
    exact, tail_chars, skip_lines, skipped_shown = newest_part(shown, expected)
    return dict(mode="hex" if hex_mode else "text", offered=writer.offered, dropped=writer.dropped,
                longest_pause=writer.longest_pause, dropped_after_pause=writer.dropped_after_pause,
                taken=len(taken), data=taken, exact=exact and shown.endswith(expected[-200:]),
                shown_chars=len(shown), want_chars=len(expected), tail_chars=tail_chars, behind=behind,
                skip_lines=skip_lines, skipped_shown=skipped_shown, view_rate=grown / sending,
                line_rate=len(expected) / sending, null_ms=latencies_null)


def describe_latency(name: str, ms: list[float]) -> str:
    if not ms:
        return f"{name}: no samples"
    ms = sorted(ms)
    over = sum(1 for x in ms if x >= 100)
    name += f" ({over} of {len(ms)} answers took 100 ms or more)"
    p95 = ms[min(len(ms) - 1, int(len(ms) * 0.95))]
    return (f"{name}: median {statistics.median(ms):.1f} ms, 95% {p95:.1f} ms, max {ms[-1]:.1f} ms "
            f"({len(ms)} samples)")


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--mib", type=float, default=4.0, help="stream size in MiB (default 4)")
    ap.add_argument("--idle", type=float, default=10.0, help="idle CPU window in seconds (default 10)")
    ap.add_argument("--modes", default="text,hex", help="which floods, in order (default text,hex)")
    ap.add_argument("--limit", type=float, default=300.0,
                    help="give a flood up after this many seconds and report its rate so far (default 300)")
    ap.add_argument("--paced", type=int, default=0, metavar="BAUD",
                    help="a device without flow control at this baud rate instead of the floods")
    ap.add_argument("--seconds", type=float, default=60.0, help="how long the paced device sends (default 60)")
    ap.add_argument("--log", choices=("off", "on", "both"), default="off",
                    help="the paced device with the receive log off, on, or each in turn (default off)")
    ap.add_argument("--catch-up", type=float, default=300.0,
                    help="how long the view may take to show it all afterwards (default 300)")
    ap.add_argument("--long", action="store_true",
                    help="a long session instead: one program shows 4 MiB in hex, then 16 MiB of text lines, "
                         "at full speed, each followed by a clear")
    ap.add_argument("--long-scale", type=float, default=1.0,
                    help="the long session's sizes times this (a program whose clear is slow needs less)")
    args = ap.parse_args()
    size = int(args.mib * 1024 * 1024)
    if args.paced:
        return main_paced(args)
    if args.long:
        return main_long(args.long_scale)

    with tvh.Session() as s:
        vp = s.virtual_port(7)
        helper = s.helper
        try:
            pings = [timed(helper.ping)[1] * 1000 for _ in range(20)]
            print(f"helper round trip without the program: median {statistics.median(pings):.1f} ms")
            # A fresh program per flood, so each starts from the same memory.
            for n, mode in enumerate(args.modes.split(",")):
                launcher = s.launcher()
                try:
                    app = launcher.start(registry={"SelectedPortFileName": "COM7"})
                    pid = app.pid
                    app.post_command(ids.IDC_PORT_BUTTON)
                    app.wait_until(vp.is_open, timeout=10)
                    if n == 0:
                        server = wineserver_pid(s.prefix.path)
                        time.sleep(1)
                        t0, c0 = time.monotonic(), cpu_ticks(pid)
                        s0 = cpu_ticks(server) if server else 0
                        time.sleep(args.idle)
                        wall = time.monotonic() - t0
                        line = (f"idle, port open, empty view: program CPU "
                                f"{(cpu_ticks(pid) - c0) / CLK_TCK / wall * 100:.1f} % of one core over {wall:.0f} s")
                        if server:
                            line += f" (wineserver {(cpu_ticks(server) - s0) / CLK_TCK / wall * 100:.1f} %)"
                        print(line, flush=True)
                    r = flood(app, helper, vp, mode == "hex", size, args.limit)
                    report_flood(r, size)
                    if r["done"]:
                        t0, c0 = time.monotonic(), cpu_ticks(pid)
                        time.sleep(min(args.idle, 5))
                        wall = time.monotonic() - t0
                        print(f"  idle afterwards with the full view: program CPU "
                              f"{(cpu_ticks(pid) - c0) / CLK_TCK / wall * 100:.1f} % over {wall:.0f} s")
                    print(f"  peak memory (VmHWM) of the program: {peak_memory_kib(pid) / 1024:.1f} MiB", flush=True)
                finally:
                    launcher.close_all()
                vp.drain()
        finally:
            vp.close()
    return 0


def main_long(scale: float) -> int:
    with tvh.Session() as s:
        vp = s.virtual_port(7)
        helper = s.helper
        launcher = s.launcher()
        try:
            app = launcher.start(registry={"SelectedPortFileName": "COM7"})
            app.post_command(ids.IDC_PORT_BUTTON)
            app.wait_until(vp.is_open, timeout=10)
            print(f"long session: resident memory at the start {resident_kib(app.pid) / 1024:.0f} MiB", flush=True)
            for mode, mib in (("hex", 4), ("text", 16)):
                size = int((mib << 20) * scale)
                r = flood(app, helper, vp, mode == "hex", size, 1800)
                report_flood(r, size)
                took = clear_view(app, helper)
                time.sleep(1)
                print(f"  clear after the flood: {took * 1000:.0f} ms; resident memory then "
                      f"{resident_kib(app.pid) / 1024:.0f} MiB", flush=True)
                vp.drain()
            print(f"peak resident memory (VmHWM) of the session: {resident_kib(app.pid, 'VmHWM:') / 1024:.0f} MiB")
        finally:
            launcher.close_all()
            vp.close()
    return 0


def log_check(tv: tvh.Session, app: tvh.App, path: str, data: bytes) -> str:
    """Turns the log off and compares its file with what the line took."""
    app.post_command(ids.ID_LOG_TO_FILE)
    ended = None

    def found() -> bool:
        nonlocal ended
        ended = LOG_ENDED.search(app.text(ids.IDC_RECEIVE_VIEW))
        return ended is not None

    app.wait_until(found, timeout=60, message="the log to end")
    parts = PureWindowsPath(path).parts
    file = Path(tv.prefix.path) / "drive_c" / Path(*parts[1:])
    held = file.read_bytes()
    file.unlink()
    if held == data and int(ended.group(2)) == len(data):
        return f"log byte-exact ({len(held)} bytes, 0 lost)"
    first = next((i for i, (a, b) in enumerate(zip(held, data)) if a != b), min(len(held), len(data)))
    return (f"log NOT EXACT: {len(held)} bytes held (said {ended.group(2)}), {len(data)} taken, "
            f"first difference at {first}")


def main_paced(args) -> int:
    baud_item = BAUD_ITEMS[args.paced]
    logs = {"off": [False], "on": [True], "both": [False, True]}[args.log]
    with tvh.Session() as s:
        vp = s.virtual_port(7)
        try:
            for mode in args.modes.split(","):
                for log in logs:
                    launcher = s.launcher()
                    try:
                        registry = {"SelectedPortFileName": "COM7", "Selected_BaudRate": baud_item}
                        if log:
                            registry["LogToFile"] = 1
                        app = launcher.start(registry=registry)
                        app.post_command(ids.IDC_PORT_BUTTON)
                        app.wait_until(vp.is_open, timeout=10)
                        path = ""
                        if log:
                            app.wait_until(lambda: LOG_STARTED.search(app.text(ids.IDC_RECEIVE_VIEW)), timeout=20,
                                           message="the log to start")
                            path = LOG_STARTED.search(app.text(ids.IDC_RECEIVE_VIEW)).group(1)
                        r = paced(app, s.helper, vp, mode == "hex", args.paced, args.seconds, args.catch_up)
                        if r["exact"]:
                            view = (f"ends with the newest bytes {r['behind']:.1f} s after the device stopped, "
                                    f"exact over its last {r['tail_chars']} characters")
                        else:
                            view = f"NOT EXACT or behind ({r['shown_chars']} characters shown)"
                        print(f"{r['mode']} view, log {'on' if log else 'off'}, paced device at {args.paced} baud "
                              f"for {args.seconds:g} s: {r['offered']} bytes offered, {r['dropped']} dropped "
                              f"({r['dropped'] / max(r['offered'], 1) * 100:.1f} %); view {view}", flush=True)
                        if r["dropped"]:
                            print(f"  the device itself paused up to {r['longest_pause'] * 1000:.0f} ms; "
                                  f"{r['dropped_after_pause']} of the dropped bytes right after a pause of its own "
                                  f"over 40 ms", flush=True)
                        print(f"  the view took in {r['view_rate'] / 1000:.0f} K characters/s while the line "
                              f"brought {r['line_rate'] / 1000:.0f} K/s; it shows {r['skip_lines']} skip line(s) "
                              f"for {r['skipped_shown']} bytes", flush=True)
                        print("  " + describe_latency("WM_NULL to the dialog while the device sends", r["null_ms"]))
                        if log:
                            print("  " + log_check(s, app, path, r["data"]), flush=True)
                        print(f"  peak memory (VmHWM) of the program: {peak_memory_kib(app.pid) / 1024:.1f} MiB",
                              flush=True)
                    finally:
                        launcher.close_all()
                    vp.drain()
        finally:
            vp.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
