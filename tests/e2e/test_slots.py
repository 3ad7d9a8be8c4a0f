"""The 31 quick text slots: a selection is stored (as the slot's text, or
with Shift as its label), an empty selection recalls the slot's text into
the pane of the last right-click."""

from __future__ import annotations

import contextlib
import time

import tvharness as tvh
from tvharness import ids

KEY = tvh.SETTINGS_KEY


def stored(helper, name):
    value = helper.reg_get(KEY, name)
    return None if value is None else value.string


def aim_at(app, pane):
    """Makes pane the slots' target the way the user does: a right-click."""
    app.right_click(pane)
    app.wait_popup("#32768")
    app.key("Escape")
    app.wait_until(lambda: not app.popups("#32768"), message="the menu closed")


@contextlib.contextmanager
def held(app, key):
    app.input.xdotool("keydown", key)
    try:
        time.sleep(0.2)
        yield
    finally:
        app.input.xdotool("keyup", key)


def test_selections_are_stored_as_text_or_with_shift_as_label(app, helper):
    letters = "ABCDEFGHIJKLMNOPQRSTUVWXY"
    app.set_text(ids.IDC_TEXT_PANE, letters)
    app.set_sel(ids.IDC_TEXT_PANE, 0, 25)
    app.right_click(ids.IDC_TEXT_PANE)
    app.wait_popup("#32768")
    assert app.get_sel(ids.IDC_TEXT_PANE) == (0, 25)
    # 记忆 is third from last; slot 05 is the sixth item in it.
    app.key("Up", "Up", "Up", "Right", *["Down"] * 5)
    with held(app, "shift"):
        app.key("Return")
    app.wait_until(lambda: stored(helper, "saveIndex05") == letters[:20], message="the label stored")
    assert stored(helper, "存档05") is None

    long_text = "".join(f"{n:05d}|" for n in range(1100))  # 6600 characters
    app.set_text(ids.IDC_HEX_PANE, long_text)
    app.set_sel(ids.IDC_HEX_PANE, 0, len(long_text))
    aim_at(app, ids.IDC_HEX_PANE)
    app.post_command(ids.ID_SLOT_FIRST + 1)
    app.wait_until(lambda: stored(helper, "存档01") is not None, message="the text stored")
    assert stored(helper, "存档01") == long_text[:6000]

    app.set_sel(ids.IDC_HEX_PANE, 3, 4)
    app.post_command(ids.ID_SLOT_LAST)
    app.wait_until(lambda: stored(helper, "存档1E") == "0", message="one character stored in slot 1E")
    app.set_sel(ids.IDC_HEX_PANE, 6, 10)
    app.post_command(ids.ID_SLOT_FIRST)
    app.wait_until(lambda: stored(helper, "存档00") == "0000", message="slot 00 stored")

    # The receive view's text can be kept too.
    listing = app.text(ids.IDC_RECEIVE_VIEW)
    start = listing.index("串口列表")
    app.set_sel(ids.IDC_RECEIVE_VIEW, start, start + 4)
    aim_at(app, ids.IDC_RECEIVE_VIEW)
    app.post_command(ids.ID_SLOT_FIRST + 2)
    app.wait_until(lambda: stored(helper, "存档02") == "串口列表", message="slot 02 stored")
    assert app.text(ids.IDC_HEX_PANE) == long_text


def test_an_empty_selection_recalls_the_text_into_a_send_pane(start_app, helper):
    app = start_app({"存档03": "中文OK", "存档1E": "<last>"})
    app.set_text(ids.IDC_TEXT_PANE, "hello world")
    aim_at(app, ids.IDC_TEXT_PANE)
    app.set_sel(ids.IDC_TEXT_PANE, 5, 5)
    app.post_command(ids.ID_SLOT_FIRST + 3)
    app.wait_text(ids.IDC_TEXT_PANE, "hello中文OK world")
    app.click(ids.IDC_TEXT_PANE)
    app.key("ctrl+z")
    app.wait_text(ids.IDC_TEXT_PANE, lambda t: t == "hello world")

    # Ctrl held: the pane is emptied first.
    with held(app, "ctrl"):
        app.post_command(ids.ID_SLOT_LAST)
        app.wait_text(ids.IDC_TEXT_PANE, lambda t: t == "<last>")

    # A slot never stored inserts nothing.
    app.post_command(ids.ID_SLOT_FIRST + 7)
    time.sleep(0.3)
    assert app.text(ids.IDC_TEXT_PANE) == "<last>"

    # The pane of the last right-click is the target, wherever the focus is.
    app.set_text(ids.IDC_HEX_PANE, "")
    aim_at(app, ids.IDC_HEX_PANE)
    app.click(ids.IDC_TEXT_PANE)
    app.post_command(ids.ID_SLOT_LAST)
    app.wait_text(ids.IDC_HEX_PANE, "<last>")
    assert app.text(ids.IDC_TEXT_PANE) == "<last>"

    # The receive view takes nothing.
    listing = app.text(ids.IDC_RECEIVE_VIEW)
    aim_at(app, ids.IDC_RECEIVE_VIEW)
    app.set_sel(ids.IDC_RECEIVE_VIEW, 0, 0)
    with held(app, "ctrl"):
        app.post_command(ids.ID_SLOT_FIRST + 3)
        time.sleep(0.3)
    assert app.text(ids.IDC_RECEIVE_VIEW) == listing
    assert helper.reg_get(KEY, "存档03").string == "中文OK"
