"""Real keys through the X server: the hex pane's and the delay box's input
rules, the Alt shortcuts and the function keys."""

from __future__ import annotations

import re
import time

import tvharness as tvh
from tvharness import ids

PORTS = {7: "USB-SERIAL CH340 (COM7)", 8: "Prolific USB-to-Serial (COM8)", 9: "蓝牙链接上的标准串行 (COM9)"}


def clear(app: tvh.App, id: int) -> None:
    app.set_text(id, "")
    app.wait_until(lambda: app.text(id) == "", message=f"control {id} empty")


def settle(app: tvh.App, id: int, quiet: float = 0.3) -> str:
    """The control's text once typing has stopped changing it."""
    last = None
    while True:
        time.sleep(quiet)
        now = app.text(id)
        if now == last:
            return now
        last = now


def test_hex_pane_typing_rules(app):
    pane = ids.IDC_HEX_PANE
    app.click(pane)
    app.type_text("a1b2c3")
    app.wait_text(pane, lambda t: t == "A1 B2 C3")

    clear(app, pane)
    app.type_text("1 2")
    assert settle(app, pane) == "1 2"

    # Refused characters, and shortcuts on digit and letter keys, leave
    # nothing behind; typing over a selection replaces it.
    clear(app, pane)
    app.type_text("12+34gz,.;`~xG!@")
    app.key("ctrl+c", "ctrl+b", "ctrl+1")
    assert settle(app, pane) == "12 34"
    app.key("shift+Left", "shift+Left")
    app.type_text("5")
    assert settle(app, pane) == "12 5"
    app.key("ctrl+a")
    app.type_text("d")
    assert settle(app, pane) == "D"

    # A digit after a line break starts a new pair without a blank;
    # Backspace, Delete and Enter keep working.
    clear(app, pane)
    app.type_text("ab")
    app.key("Return")
    app.type_text("cd")
    app.wait_text(pane, lambda t: t.replace("\r\n", "\r") == "AB\rCD")
    app.key("BackSpace", "Home", "Delete")
    assert settle(app, pane).replace("\r\n", "\r") == "AB\r"
    app.key("BackSpace")
    app.type_text("e")
    assert settle(app, pane) == "AB E"


def test_delay_box_takes_digits_only_and_stores_them_at_once(app, helper):
    box = ids.IDC_DELAY_BOX
    clear(app, box)
    app.click(box)
    app.type_text("12a.-3 x")
    app.wait_text(box, lambda t: t == "123")
    app.wait_until(lambda: (helper.reg_get(tvh.SETTINGS_KEY, "DelayTime") or tvh.RegValue(0, b"")).data
                   == (123).to_bytes(4, "little"), message="DelayTime stored as a DWORD 123")
    app.key("Escape", "BackSpace", "4")
    app.wait_until(lambda: helper.reg_get(tvh.SETTINGS_KEY, "DelayTime").dword == 124, message="DelayTime 124")
    assert app.running and app.text(box) == "124"


def test_alt_c_cycles_ports_alt_x_opens_them_and_f4_lists_them(start_app, virtual_port):
    ports = {n: virtual_port(n, friendly) for n, friendly in PORTS.items()}
    app = start_app({"SelectedPortFileName": "COM7"})
    status = ids.IDC_STATUS_VIEW
    first = app.wait_text(status, "[")
    m = re.search(r"\[(\d)/3\]", first)
    assert m, first
    start = int(m.group(1))

    app.click(ids.IDC_RECEIVE_VIEW)
    seen = []
    for step in range(1, 4):
        app.key("alt+c")
        # The first press goes to the second entry of the list, whatever is chosen.
        expected = step % 3 + 1
        seen.append(app.wait_text(status, f"[{expected}/3]"))
    names = [re.search(r"\(COM(\d)\)", s).group(1) for s in seen]
    assert sorted(names) == ["7", "8", "9"]

    # Now on the first entry: Alt+X opens and closes that port.
    chosen = ports[int(names[-1])]
    app.key("alt+x")
    app.wait_until(chosen.is_open, message=f"{chosen.name} open")
    app.wait_text(ids.IDC_PORT_BUTTON, "关")
    app.key("alt+x")
    app.wait_until(lambda: not chosen.is_open(), message=f"{chosen.name} closed")
    app.wait_text(ids.IDC_PORT_BUTTON, "开")
    assert start in (1, 2, 3)

    app.key("F7")
    app.wait_until(lambda: app.text(ids.IDC_RECEIVE_VIEW) == "", message="F7 cleared the receive view")
    app.key("F4")
    listing = app.wait_text(ids.IDC_RECEIVE_VIEW, "3.")
    lines = [line for line in listing.split("\r\n") if re.match(r"\d\.", line)]
    assert len(lines) == 3, listing
    for i, line in enumerate(lines, 1):
        assert line.startswith(f"{i}.") and line.endswith(" ") and line[2:-1] in PORTS.values(), line


def test_alt_a_cancels_a_running_text_send_and_other_shortcuts_wait(start_app, virtual_port, helper):
    vp = virtual_port(7)
    app = start_app({"SelectedPortFileName": "COM7"})
    app.post_command(ids.ID_DELAY_LOOP_LINES)
    app.wait_title(lambda t: "LINE" in t)
    clear(app, ids.IDC_DELAY_BOX)
    app.click(ids.IDC_DELAY_BOX)
    app.type_text("1000")
    app.wait_text(ids.IDC_DELAY_BOX, lambda t: t == "1000")
    app.set_text(ids.IDC_TEXT_PANE, "\r".join(f"line {i}" for i in range(40)))
    app.set_text(ids.IDC_HEX_PANE, "AA BB")
    status = app.text(ids.IDC_STATUS_VIEW)

    app.click(ids.IDC_RECEIVE_VIEW)
    app.key("alt+a")
    assert vp.read_until(b"line 0", timeout=5).endswith(b"line 0")
    app.wait_text(ids.IDC_TEXT_SEND, "取消发送")

    app.key("alt+s", "alt+d", "alt+f", "alt+x", "alt+c")
    time.sleep(0.5)
    assert app.popups() == [], "Alt+D opened the file dialog during a send"
    assert vp.is_open()
    assert app.text(ids.IDC_STATUS_VIEW) == status.replace("☆", "★")
    assert app.text(ids.IDC_HEX_SEND) == "HEX发送"

    app.key("alt+a")
    app.wait_text(ids.IDC_TEXT_SEND, "文本发送")
    got = vp.read(timeout=0.2)
    vp.expect_silence(1.5)
    assert b"\xaa" not in got and b"line 39" not in got


def test_f2_f3_f8_fill_and_clear_the_panes(app):
    hexp, text = ids.IDC_HEX_PANE, ids.IDC_TEXT_PANE
    app.click(ids.IDC_RECEIVE_VIEW)

    app.key("F2")
    app.wait_until(lambda: app.text(text) and app.text(hexp), message="F2's text")
    shown = app.text(text)
    assert re.search(r"[\u4e00-\u9fff]", shown), shown
    expected = shown.replace("\r\n", "\n").replace("\r", "\n").encode("gbk")
    assert bytes.fromhex(app.text(hexp)) == expected

    app.key("F3")
    app.wait_text(text, lambda t: t.startswith("[START]"))
    listing = app.text(hexp).split()
    assert listing == [f"{b:02X}" for b in range(256)]

    app.key("F3")
    app.wait_text(text, lambda t: t.replace("\r\n", "\n").replace("\r", "\n").startswith(
        "0123456789\nabcdefghijklmnopqrstuvwxyz\n"))
    pairs = app.text(hexp).split()
    assert pairs[:94] == [f"{b:02X}" for b in range(0x20, 0x7E)]
    assert len(pairs) > 94  # the picture pattern follows

    app.key("F8")
    app.wait_until(lambda: (app.text(text), app.text(hexp), app.text(ids.IDC_RECEIVE_VIEW)) == ("", "", ""),
                   message="F8 cleared all three")


def test_f9_asks_before_clearing_the_settings(start_app, helper):
    app = start_app({"TopMost": 1})
    app.click(ids.IDC_RECEIVE_VIEW)

    app.key("F9")
    box = app.wait_popup("#32770")
    assert box.title == "您打算清除软件配置"
    app.click(helper.rect(box.hwnd, 2).center)  # Cancel
    app.wait_until(lambda: not app.popups(), message="the box closed")
    time.sleep(3)
    assert helper.reg_key_exists(tvh.SETTINGS_KEY)

    app.key("F9")
    box = app.wait_popup("#32770")
    app.key("Return")  # OK is the default
    app.wait_until(lambda: not helper.reg_key_exists(tvh.SETTINGS_KEY), 10, message="the settings key gone")
    assert app.running
