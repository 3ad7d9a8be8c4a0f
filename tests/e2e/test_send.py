"""Sending from the panes: text, hex and selection jobs, delay modes, the
title's progress and what the buttons allow while a job runs."""

from __future__ import annotations

import random
import time

import pytest

from tvharness import ids

PORT = {"SelectedPortFileName": "COM7"}
SETTINGS = r"SOFTWARE\TarnVik"
TEXT_IDLE, HEX_IDLE, CANCEL = "文本发送", "HEX发送", "取消发送"
WM_CONTEXTMENU = 0x007B
EM_GETLINECOUNT = 0x00BA


def title_parts(app) -> tuple[str, str]:
    """The title's mode tag and progress: base, blank, tag, blank, progress,
    blank, spinner (the base has a blank of its own while inactive)."""
    rest = app.title()[len("Tarn#Vik "):]
    tag = rest.split(" ", 1)[0]
    return tag, rest[len(tag) + 1:-2]


def progress(app) -> str:
    return title_parts(app)[1]


def mode_tag(app) -> str:
    return title_parts(app)[0]


def wait_job_over(app, vp, timeout: float = 10.0) -> None:
    """The send buttons are back and the port the send opened is closed."""
    app.wait_until(lambda: app.text(ids.IDC_TEXT_SEND) == TEXT_IDLE and app.text(ids.IDC_HEX_SEND) == HEX_IDLE,
                   timeout)
    app.wait_until(lambda: not vp.is_open(), timeout)
    app.wait_text(ids.IDC_STATUS_VIEW, lambda t: t.startswith("☆"))


def arrival_times(vp, count: int, timeout: float) -> list[tuple[float, bytes]]:
    """(time, byte) for each of count bytes, one read per byte."""
    out = []
    for _ in range(count):
        byte = vp.read_exactly(1, timeout)
        out.append((time.monotonic(), byte))
    return out


def fill(app, id: int, lines: list[str]) -> None:
    # In pieces: one WM_SETTEXT of megabytes between processes crawls under Wine.
    app.set_text(id, "")
    for i in range(0, len(lines), 512):
        app.set_sel(id, -1, -1)
        app.replace_sel(id, ("\r" if i else "") + "\r".join(lines[i:i + 512]))


def test_text_send_goes_out_line_by_line_in_the_ansi_code_page(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry=PORT)
    assert app.text(ids.IDC_STATUS_VIEW).startswith("☆")

    app.set_text(ids.IDC_TEXT_PANE, "AB\rCD")
    app.post_command(ids.IDC_TEXT_SEND)
    assert vp.read_exactly(5) == b"AB\nCD"
    wait_job_over(app, vp)
    assert progress(app) == "0005/5B"

    # Only a click counts; other notifications from the button send nothing.
    app.post_command(ids.IDC_TEXT_SEND, code=5)
    vp.expect_silence(0.5)

    long_line = "".join(chr(0x30 + i % 43) for i in range(120))
    app.set_text(ids.IDC_TEXT_PANE, long_line + "\r汉字ABC，中文\r")
    app.post_command(ids.IDC_TEXT_SEND)
    want = (long_line + "\n汉字ABC，中文\n").encode("gbk")
    assert vp.read_exactly(len(want)) == want
    wait_job_over(app, vp)
    assert progress(app) == f"{len(long_line) + 10:04d}/{len(long_line) + 10}B"
    vp.expect_silence(0.3)

    # Alt+A is the button's shortcut, Alt+S the hex button's.
    app.set_text(ids.IDC_TEXT_PANE, "key")
    app.set_text(ids.IDC_HEX_PANE, "6B 65 79 21")
    app.click(ids.IDC_RECEIVE_VIEW)
    app.key("alt+a")
    assert vp.read_exactly(3) == b"key"
    wait_job_over(app, vp)
    app.key("alt+s")
    assert vp.read_exactly(4) == b"key!"
    wait_job_over(app, vp)


def test_hex_send_parses_each_line_and_sends_every_byte(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry=PORT)
    app.set_text(ids.IDC_HEX_PANE, "41 42\r43")
    app.post_command(ids.IDC_HEX_SEND)
    assert vp.read_exactly(3) == b"ABC"
    wait_job_over(app, vp)
    assert progress(app) == "0002/2L 0003B"

    # Any notification code starts it; separators and "0x" are lenient; a
    # zero byte is data; an empty line still counts as a line.
    app.set_text(ids.IDC_HEX_PANE, "00 0x7f,ff;1\r\r0X41 zz 0")
    app.post_command(ids.IDC_HEX_SEND, code=5)
    assert vp.read_exactly(6) == b"\x00\x7f\xff\x01\x41\x00"
    wait_job_over(app, vp)
    assert progress(app) == "0003/3L 0006B"
    vp.expect_silence(0.3)


def test_a_port_that_cannot_be_opened_gets_nothing(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry=PORT)
    app.set_text(ids.IDC_TEXT_PANE, "never")
    app.set_text(ids.IDC_HEX_PANE, "55")
    with vp.busy():
        app.post_command(ids.IDC_TEXT_SEND)
        app.post_command(ids.IDC_HEX_SEND)
        vp.expect_silence(0.5)
        assert app.text(ids.IDC_STATUS_VIEW).startswith("☆")
        assert (app.text(ids.IDC_TEXT_SEND), app.text(ids.IDC_HEX_SEND)) == (TEXT_IDLE, HEX_IDLE)
        assert app.enabled(ids.IDC_PORT_BUTTON) and app.enabled(ids.IDC_TEXT_PANE)
    # Once the port is free the same button works, and the port the failed
    # attempt never opened is not left marked as the send's.
    app.post_command(ids.IDC_HEX_SEND)
    assert vp.read_exactly(1) == b"\x55"
    wait_job_over(app, vp)
    assert app.enabled(ids.IDC_PORT_BUTTON) and app.enabled(ids.IDC_CLEAR_RECEIVE)


def test_repeating_jobs_lock_the_other_controls_and_cancel_inside_a_pause(start_app, virtual_port, helper):
    vp = virtual_port(7)
    app = start_app(registry=PORT)
    app.post_command(ids.ID_DELAY_LOOP_ALL)
    app.wait_until(lambda: mode_tag(app) == "ALL")
    app.set_text(ids.IDC_DELAY_BOX, "1000")
    assert helper.reg_get(SETTINGS, "Selected_DelayType").dword == ids.ID_DELAY_LOOP_ALL
    assert helper.reg_get(SETTINGS, "DelayTime").dword == 1000
    app.set_text(ids.IDC_TEXT_PANE, "A\rB")

    app.post_command(ids.IDC_TEXT_SEND)
    arrivals = arrival_times(vp, 4, timeout=10)
    assert b"".join(b for _, b in arrivals) == b"A\nB" + b"A"
    # No pause between lines, one after the pass.
    assert arrivals[2][0] - arrivals[0][0] < 0.5
    assert 0.6 < arrivals[3][0] - arrivals[2][0] < 4.0
    assert app.text(ids.IDC_TEXT_SEND) == CANCEL
    assert app.text(ids.IDC_STATUS_VIEW).startswith("★")
    assert not app.enabled(ids.IDC_TEXT_PANE) and app.enabled(ids.IDC_HEX_PANE)
    for id in (ids.IDC_HEX_SEND, ids.IDC_PORT_BUTTON, ids.IDC_CLEAR_RECEIVE):
        assert not app.enabled(id), id
    assert app.enabled(ids.IDC_TEXT_SEND)

    # The box is read at every pause: the next one is long, and a second
    # press inside it ends the job at once.
    app.set_text(ids.IDC_DELAY_BOX, "20000")
    vp.read_until(b"A", timeout=5)
    time.sleep(0.3)
    cancelled = time.monotonic()
    app.post_command(ids.IDC_TEXT_SEND)
    wait_job_over(app, vp, timeout=5)
    assert time.monotonic() - cancelled < 4
    vp.drain()
    vp.expect_silence(0.5)
    assert app.enabled(ids.IDC_TEXT_PANE) and app.enabled(ids.IDC_PORT_BUTTON)

    # The hex job with the port opened by hand: the clear button stays usable
    # only when neither a text/hex job runs nor the send opened the port.
    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(vp.is_open)
    app.set_text(ids.IDC_HEX_PANE, "31 32")
    app.post_command(ids.IDC_HEX_SEND)
    assert vp.read_exactly(2, timeout=5) == b"12"
    assert app.text(ids.IDC_HEX_SEND) == CANCEL
    assert not app.enabled(ids.IDC_HEX_PANE) and app.enabled(ids.IDC_TEXT_PANE)
    for id in (ids.IDC_TEXT_SEND, ids.IDC_PORT_BUTTON, ids.IDC_CLEAR_RECEIVE):
        assert not app.enabled(id), id
    app.post_command(ids.IDC_HEX_SEND)
    app.wait_text(ids.IDC_HEX_SEND, HEX_IDLE, timeout=4)
    assert vp.is_open()  # the user opened it: the job leaves it open
    assert app.enabled(ids.IDC_CLEAR_RECEIVE) and app.enabled(ids.IDC_PORT_BUTTON)
    vp.drain()
    vp.expect_silence(0.5)


def test_line_modes_pause_after_every_line(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry={**PORT, "Selected_DelayType": ids.ID_DELAY_ONCE_LINES})
    assert mode_tag(app) == "ONCE"
    app.set_text(ids.IDC_DELAY_BOX, "600")
    app.set_text(ids.IDC_HEX_PANE, "31 0A\r32 0A\r33")
    app.post_command(ids.IDC_HEX_SEND)
    arrivals = arrival_times(vp, 5, timeout=10)
    assert b"".join(b for _, b in arrivals) == b"1\n2\n3"
    gaps = [arrivals[i + 1][0] - arrivals[i][0] for i in range(4)]
    assert gaps[0] < 0.4 and gaps[2] < 0.4, gaps  # within a line
    assert gaps[1] > 0.45 and gaps[3] > 0.45, gaps  # between lines
    wait_job_over(app, vp)  # one pass only
    assert progress(app) == "0003/3L 0005B"
    vp.expect_silence(0.6)

    app.post_command(ids.ID_DELAY_LOOP_LINES)
    app.wait_until(lambda: mode_tag(app) == "LINE")
    app.set_text(ids.IDC_DELAY_BOX, "50")
    app.set_text(ids.IDC_TEXT_PANE, "x\ry")
    app.post_command(ids.IDC_TEXT_SEND)
    assert vp.read_exactly(6, timeout=5) == b"x\nyx\ny"  # and round again
    app.post_command(ids.IDC_TEXT_SEND)
    wait_job_over(app, vp)


def test_a_negative_stored_delay_waits_no_time(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry={**PORT, "Selected_DelayType": ids.ID_DELAY_ONCE_LINES, "DelayTime": 0xFFFFFFFF})
    app.set_text(ids.IDC_TEXT_PANE, "1\r2\r3\r4\r5")
    started = time.monotonic()
    app.post_command(ids.IDC_TEXT_SEND)
    assert vp.read_exactly(9, timeout=5) == b"1\n2\n3\n4\n5"
    wait_job_over(app, vp, timeout=5)
    assert time.monotonic() - started < 5


def open_menu_and_dismiss(app, pane: int) -> None:
    """The menu marks the pane under the click as the target; Escape shuts it."""
    x, y = app.rect(pane).center
    pane_hwnd = app.h.control_hwnd(app.hwnd, pane)
    app.post_message(WM_CONTEXTMENU, pane_hwnd, (y << 16) | x)
    app.wait_popup("#32768")
    app.key("Escape")
    app.wait_until(lambda: not app.popups("#32768"))


@pytest.mark.parametrize("pane, want", [(ids.IDC_HEX_PANE, b"AB"), (ids.IDC_TEXT_PANE, b"41\n42")])
def test_selection_send_follows_the_pane_it_came_from(start_app, virtual_port, pane, want):
    vp = virtual_port(7)
    app = start_app(registry=PORT)
    app.set_text(ids.IDC_HEX_PANE, "")
    app.set_text(ids.IDC_TEXT_PANE, "")
    app.set_text(pane, "xx 41\r42 yy")
    app.set_sel(pane, 3, 8)
    open_menu_and_dismiss(app, pane)
    app.post_command(ids.ID_SEND_SELECTION)
    assert vp.read_exactly(len(want)) == want
    app.wait_until(lambda: not vp.is_open())
    vp.expect_silence(0.3)
    assert app.get_sel(pane) == (3, 8)


@pytest.mark.e2e_timeout(240)
def test_a_megabyte_hex_pane_arrives_byte_exact(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry=PORT)
    data = random.Random(5).randbytes((1 << 20) // 3)
    fill(app, ids.IDC_HEX_PANE, [" ".join(f"{b:02X}" for b in data[i:i + 32]) for i in range(0, len(data), 32)])
    rows = app.h.send_message(app.h.control_hwnd(app.hwnd, ids.IDC_HEX_PANE), EM_GETLINECOUNT, 0, 0)

    app.post_command(ids.IDC_HEX_SEND)
    assert vp.read_exactly(len(data), timeout=150) == data
    wait_job_over(app, vp, timeout=30)
    # Display lines, not paragraphs: the pane wraps these.
    assert progress(app) == f"{rows:04d}/{rows}L {len(data)}B"
    vp.expect_silence(0.3)
