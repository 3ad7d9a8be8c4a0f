"""The receive options end to end through a virtual port: time stamps,
frames split at an idle gap, UTF-8, the echo of what is sent and the
terminal's escape sequences, each with bytes split across reads as a real
driver splits them."""

from __future__ import annotations

import re
import time

import tvharness as tvh
from tvharness import ids

RECEIVE, STATUS = ids.IDC_RECEIVE_VIEW, ids.IDC_STATUS_VIEW
FRAME_GAP_50_MS = 4022
STAMP = r"\[(\d\d):(\d\d):(\d\d)\.(\d{3})\] "


def open_port(app, vp):
    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(vp.is_open, message="the port to open")
    app.wait_text(STATUS, lambda t: t.startswith("★"))


def start(start_app, vp, **options):
    app = start_app({"SelectedPortFileName": "COM7", **options})
    open_port(app, vp)
    app.post_command(ids.IDC_CLEAR_RECEIVE)
    app.wait_until(lambda: app.text(RECEIVE) == "", message="an empty view")
    return app


def seconds_of_day(match) -> float:
    h, m, s, ms = (int(match.group(i)) for i in range(1, 5))
    return h * 3600 + m * 60 + s + ms / 1000


def now_of_day() -> float:
    t = time.localtime()
    return t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec + time.time() % 1


def test_time_stamped_text_lines(start_app, virtual_port):
    vp = virtual_port(7)
    app = start(start_app, vp)
    # Turned on from the menu: the day first.
    app.post_command(ids.ID_TIMESTAMPS)
    day = time.strftime("---- %Y-%m-%d ----")
    app.wait_text(RECEIVE, lambda t: day in t)
    before = now_of_day()
    vp.write(b"one\r\ntw")
    time.sleep(0.2)
    vp.write(b"o\r")
    time.sleep(0.2)
    vp.write(b"\nthree\n")
    shown = app.wait_text(RECEIVE, lambda t: "three" in t)
    after = now_of_day()
    lines = shown.split("\r\n")
    assert lines[0] == day
    stamped = [re.fullmatch(STAMP + "(.*)", line) for line in lines[1:4]]
    assert all(stamped), lines
    # CR LF is one line end, also split across reads; the CR still shows as a blank.
    assert [m.group(5) for m in stamped] == ["one ", "two ", "three"]
    times = [seconds_of_day(m) for m in stamped]
    # The local time of each line's first byte (a day's rollover aside).
    assert before - 1 <= times[0] <= times[1] <= times[2] <= after + 1, (before, times, after)
    assert times[2] - times[1] >= 0.3, "a line is stamped with its first byte's time"
    assert lines[4:] == [""]


def test_hex_frames_split_at_a_gap(start_app, virtual_port):
    vp = virtual_port(7)
    app = start(start_app, vp, Selected_FrameGap=FRAME_GAP_50_MS)
    app.post_command(ids.IDC_RECEIVE_MODE)
    app.wait_text(ids.IDC_RECEIVE_MODE, "数")
    frame = bytes(range(20))
    vp.write(frame[:9])
    time.sleep(0.005)
    vp.write(frame[9:])
    time.sleep(0.3)
    vp.write(b"\x41\x42\x43")
    time.sleep(0.3)
    vp.write(b"\x0D\x0A")
    expected = ("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n10 11 12 13 \r\n"
                "41 42 43 \r\n0D 0A ")
    assert app.wait_text(RECEIVE, lambda t: t.endswith("0D 0A ")) == expected


def test_utf8_character_split_across_two_reads(start_app, virtual_port):
    vp = virtual_port(7)
    app = start(start_app, vp, Utf8=1)
    vp.write(b"\xe4\xb8")
    time.sleep(0.3)
    vp.write(b"\xad\xe6\x96")
    time.sleep(0.3)
    vp.write(b"\x87 ok \xe2\x82\x41\r\n")
    shown = app.wait_text(RECEIVE, lambda t: t.endswith("\r\n"))
    assert shown == "中文 ok \ufffdA \r\n"
    # What is typed goes out as UTF-8 too.
    app.set_text(ids.IDC_TEXT_PANE, "中")
    app.post_command(ids.IDC_TEXT_SEND)
    assert vp.read_exactly(3) == "中".encode("utf-8")


def test_echo_lines_between_received_lines(start_app, virtual_port):
    vp = virtual_port(7)
    app = start(start_app, vp, EchoSent=1)
    vp.write(b"boot ok\r\nlogin: ")
    app.wait_text(RECEIVE, lambda t: t.endswith("login: "))
    app.set_text(ids.IDC_TEXT_PANE, "root\rls")
    app.post_command(ids.IDC_TEXT_SEND)
    assert vp.read_exactly(7) == b"root\nls"
    vp.write(b"bin  etc\r\n")
    shown = app.wait_text(RECEIVE, lambda t: t.endswith("etc \r\n"))
    assert shown == "boot ok \r\nlogin: \r\n发→ root\r\n发→ ls\r\nbin  etc \r\n"


def test_colour_sequence_split_across_reads_is_hidden(start_app, virtual_port):
    vp = virtual_port(7)
    app = start(start_app, vp, AnsiColors=1)
    vp.write(b"\x1b[3")
    time.sleep(0.3)
    vp.write(b"1mred\x1b[0m plain \x1b]0;root@board\x07\x1b[")
    time.sleep(0.3)
    vp.write(b"2Kend\n")
    shown = app.wait_text(RECEIVE, lambda t: "end" in t)
    assert shown == "red plain end\r\n"
