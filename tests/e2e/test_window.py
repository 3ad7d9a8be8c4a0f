"""The main window as a user meets it: title, closing, the keys that must
not close it, resizing, the pane splitter, topmost and the small buttons."""

from __future__ import annotations

import time

import pytest

import tvharness as tvh
from tvharness import ids

WS_EX_TOPMOST = 0x00000008
WM_SYSCOMMAND = 0x0112
SC_MAXIMIZE = 0xF030
SC_RESTORE = 0xF120
X11_DRIVER_KEY = r"HKCU\Software\Wine\X11 Driver"

# Everything that must stay at the bottom right, with its size.
ANCHORED = ("IDC_HEX_SEND", "IDC_TEXT_SEND", "IDC_CLEAR_RECEIVE", "IDC_RECEIVE_MODE", "IDC_PORT_BUTTON",
            "IDC_TOPMOST", "IDC_DELAY_BOX", "IDC_GROUP")


def mouse_drag(app: tvh.App, start: tuple[int, int], end: tuple[int, int]) -> None:
    """A real drag: press at start, one move halfway, one to the end, release."""
    x = app.input.xdotool
    x("mousemove", *start)
    time.sleep(0.15)
    x("mousedown", 1)
    time.sleep(0.15)
    x("mousemove", (start[0] + end[0]) // 2, (start[1] + end[1]) // 2)
    time.sleep(0.1)
    x("mousemove", *end)
    time.sleep(0.25)
    x("mouseup", 1)
    time.sleep(0.25)


def panes(app: tvh.App) -> tuple[tvh.Rect, tvh.Rect]:
    return app.rect(ids.IDC_HEX_PANE), app.rect(ids.IDC_TEXT_PANE)


def bar_point(app: tvh.App) -> tuple[int, int]:
    hexp, text = panes(app)
    return hexp.left + hexp.width // 3, (hexp.bottom + text.top) // 2


def resize_by_grip(app: tvh.App, dx: int, dy: int) -> None:
    x, y = app.rect(ids.IDC_SIZE_GRIP).center
    mouse_drag(app, (x, y), (x + dx, y + dy))


def wait_rect(app: tvh.App, id: int, pred, timeout: float = 5.0) -> tvh.Rect:
    return app.wait_until(lambda: (lambda r: r if pred(r) else None)(app.rect(id)), timeout,
                          message=f"control {id} rectangle")


def test_title_and_keys_that_must_not_close_the_window(app):
    assert app.title() == "Tarn#Vik    "
    app.click(ids.IDC_RECEIVE_VIEW)
    app.key("Escape")
    app.key("alt+F4")
    app.key("alt+space")
    time.sleep(0.5)
    assert app.running
    assert app.popups("#32768") == [], "Alt+Space opened the system menu"
    assert app.popups() == []
    assert app.title() == "Tarn#Vik    "

    # The message number the program's own threads use to reach the window,
    # sent or posted from another process with made-up values, is ignored.
    WM_APP = 0x8000
    app.send_message(WM_APP + 1, 0, 0x1234)
    app.post_message(WM_APP + 1, 0x55, 0x10)
    time.sleep(0.3)
    assert app.running and app.title() == "Tarn#Vik    "


def test_close_box_and_cancel_command_end_the_program_with_code_2(start_app):
    first = start_app()
    first.close_box()
    assert first.wait_exit(10) == 2
    second = start_app()
    second.post_command(2)
    assert second.wait_exit(10) == 2


def test_window_keeps_its_smallest_size_and_growth_goes_to_the_receive_view(app):
    window = app.rect()
    before = {name: app.rect(getattr(ids, name)) for name in ANCHORED + (
        "IDC_RECEIVE_VIEW", "IDC_STATUS_VIEW", "IDC_HEX_PANE", "IDC_TEXT_PANE", "IDC_SIZE_GRIP")}

    resize_by_grip(app, -120, -100)
    assert app.rect() == window, "the window got smaller than it opened"

    dx, dy = 110, 130
    resize_by_grip(app, dx, dy)
    grown = app.wait_until(lambda: (lambda r: r if r != window else None)(app.rect()))
    assert (grown.width - window.width, grown.height - window.height) == (dx, dy)
    after = {name: app.rect(getattr(ids, name)) for name in before}

    rv, rv0 = after["IDC_RECEIVE_VIEW"], before["IDC_RECEIVE_VIEW"]
    assert (rv.left, rv.top) == (rv0.left, rv0.top)
    assert (rv.width - rv0.width, rv.height - rv0.height) == (dx, dy)
    for name in ("IDC_STATUS_VIEW", "IDC_HEX_PANE", "IDC_TEXT_PANE"):
        r, r0 = after[name], before[name]
        assert (r.left, r.top - r0.top, r.height, r.width - r0.width) == (r0.left, dy, r0.height, dx), name
    for name in ANCHORED + ("IDC_SIZE_GRIP",):
        r, r0 = after[name], before[name]
        assert (r.left - r0.left, r.top - r0.top, r.width, r.height) == (dx, dy, r0.width, r0.height), name


def test_splitter_drag_and_alt_arrows_stop_at_the_limits(app):
    hex0, text0 = panes(app)
    gap = text0.top - hex0.bottom
    x, y = bar_point(app)

    mouse_drag(app, (x, y), (x, app.rect().top - 200))
    hexp, text = panes(app)
    assert hexp.height == 18
    assert (hexp.top, text.top - hexp.bottom, text.bottom) == (hex0.top, gap, text0.bottom)

    app.click(ids.IDC_RECEIVE_VIEW)
    app.key("alt+Down", "alt+Down")
    wait_rect(app, ids.IDC_HEX_PANE, lambda r: r.height == 18 + 2 * 17)
    app.key("alt+Up")
    wait_rect(app, ids.IDC_HEX_PANE, lambda r: r.height == 18 + 17)
    app.key("alt+Up", "alt+Up")
    wait_rect(app, ids.IDC_HEX_PANE, lambda r: r.height == 18)

    # Far down, past the bottom of the window: the drag still ends at the limit.
    x, y = bar_point(app)
    mouse_drag(app, (x, y), (x, app.rect().bottom + 200))
    hexp, text = panes(app)
    assert text.height == 36
    assert (hexp.top, text.top - hexp.bottom, text.bottom) == (hex0.top, gap, text0.bottom)
    app.click(ids.IDC_RECEIVE_VIEW)
    app.key("alt+Down")
    time.sleep(0.3)
    assert app.rect(ids.IDC_TEXT_PANE).height == 36
    app.key("alt+Up")
    wait_rect(app, ids.IDC_TEXT_PANE, lambda r: r.height == 36 + 17)

    # Somewhere in the middle; then the window grows and the split stays.
    x, y = bar_point(app)
    mouse_drag(app, (x, y), (x, hex0.top + 40))
    chosen = app.rect(ids.IDC_HEX_PANE)
    assert chosen.height == 40
    resize_by_grip(app, 50, 90)
    hexp = wait_rect(app, ids.IDC_HEX_PANE, lambda r: r.top == chosen.top + 90)
    text = app.rect(ids.IDC_TEXT_PANE)
    assert hexp.height == chosen.height
    assert (text.top - hexp.bottom, text.bottom) == (gap, text0.bottom + 90)


@pytest.fixture
def unmanaged_windows(helper):
    """Without a window manager on the display Wine only maximises windows
    it manages itself."""
    old = helper.reg_get(X11_DRIVER_KEY, "Managed")
    helper.reg_create_key(X11_DRIVER_KEY)
    helper.reg_set_sz(X11_DRIVER_KEY, "Managed", "N")
    yield
    if old is None:
        helper.reg_delete_value(X11_DRIVER_KEY, "Managed")
    else:
        helper.reg_set(X11_DRIVER_KEY, "Managed", old)


def test_size_grip_is_hidden_while_maximised(unmanaged_windows, start_app):
    app = start_app()
    # The first layout may still be under way (the dialog drops its visible
    # style while it moves its controls): wait for it, then take the size.
    app.wait_until(lambda: app.visible(ids.IDC_SIZE_GRIP), message="the grip shown")
    normal = app.rect()
    app.post_message(WM_SYSCOMMAND, SC_MAXIMIZE, 0)
    app.wait_until(lambda: app.rect().width > normal.width, message="the maximised window")
    app.wait_until(lambda: not app.visible(ids.IDC_SIZE_GRIP), message="the grip hidden")

    def receive_grown() -> bool:
        receive = app.rect(ids.IDC_RECEIVE_VIEW)
        return receive.width > normal.width - 20 and receive.height > normal.height

    app.wait_until(receive_grown, message="the receive view laid out for the maximised window")
    assert not app.visible(ids.IDC_SIZE_GRIP)
    app.post_message(WM_SYSCOMMAND, SC_RESTORE, 0)
    app.wait_until(lambda: app.rect() == normal, message="the restored window")
    app.wait_until(lambda: app.visible(ids.IDC_SIZE_GRIP), message="the grip shown again")

    def grip_in_corner() -> bool:
        grip, client = app.rect(ids.IDC_SIZE_GRIP), app.client_rect()
        return (grip.right, grip.bottom) == (client.right, client.bottom)

    app.wait_until(grip_in_corner, message="the grip in the corner")


def test_topmost_and_receive_mode_toggle_by_button_and_alt_key(app, helper):
    def topmost() -> tuple[int, bool]:
        return app.checked(ids.IDC_TOPMOST), bool(app.exstyle() & WS_EX_TOPMOST)

    assert topmost() == (1, True)
    app.click(ids.IDC_TOPMOST)
    app.wait_until(lambda: topmost() == (0, False), message="topmost off")
    assert helper.reg_get(tvh.SETTINGS_KEY, "TopMost").dword == 0
    app.key("alt+v")
    app.wait_until(lambda: topmost() == (1, True), message="topmost on again")
    assert helper.reg_get(tvh.SETTINGS_KEY, "TopMost").dword == 1
    app.post_command(ids.IDC_TOPMOST)
    app.wait_until(lambda: topmost() == (0, False), message="topmost off by command")

    assert app.text(ids.IDC_RECEIVE_MODE) == "文"
    app.click(ids.IDC_RECEIVE_MODE)
    app.wait_text(ids.IDC_RECEIVE_MODE, "数")
    app.key("alt+z")
    app.wait_text(ids.IDC_RECEIVE_MODE, "文")


def test_clear_and_text_send_act_only_on_a_click(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app({"SelectedPortFileName": "COM7"})
    listing = app.wait_text(ids.IDC_RECEIVE_VIEW, "COM7")
    app.set_text(ids.IDC_TEXT_PANE, "ping")

    for code in (1, 5):  # BN_HILITE, BN_DOUBLECLICKED
        app.post_command(ids.IDC_CLEAR_RECEIVE, code)
        app.post_command(ids.IDC_TEXT_SEND, code)
    vp.expect_silence(0.5)
    assert not vp.is_open()
    assert app.text(ids.IDC_RECEIVE_VIEW) == listing

    app.post_command(ids.IDC_TEXT_SEND)
    assert vp.read_exactly(4) == b"ping"
    app.click(ids.IDC_CLEAR_RECEIVE)
    app.wait_until(lambda: app.text(ids.IDC_RECEIVE_VIEW) == "", message="the receive view cleared")


def test_topmost_follows_only_a_click_or_the_space_bar_not_the_focus(app, helper):
    def state() -> tuple[int, bool, int]:
        return (app.checked(ids.IDC_TOPMOST), bool(app.exstyle() & WS_EX_TOPMOST),
                helper.reg_get(tvh.SETTINGS_KEY, "TopMost").dword)

    app.click(ids.IDC_TOPMOST)
    app.wait_until(lambda: state() == (0, False, 0), message="topmost off by a click")
    # The arrow keys take the focus off the box and back onto it.
    app.key("Down")
    app.wait_until(lambda: app.focused_id() != ids.IDC_TOPMOST, message="the focus moved on")
    app.key("Up")
    app.wait_until(lambda: app.focused_id() == ids.IDC_TOPMOST, message="the focus back on the box")
    time.sleep(0.5)
    assert state() == (0, False, 0)

    app.key("space")
    app.wait_until(lambda: state() == (1, True, 1), message="topmost on by the space bar")
    app.key("space")
    app.wait_until(lambda: state() == (0, False, 0), message="topmost off by the space bar")
