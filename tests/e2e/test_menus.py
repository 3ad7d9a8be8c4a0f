"""The right-click menus as the user meets them: which places open one, and
items chosen with the keyboard doing what their commands do."""

from __future__ import annotations

import time

import tvharness as tvh
from tvharness import REG_DWORD, ids

KEY = tvh.SETTINGS_KEY


def open_menu(app, target):
    app.right_click(target)
    return app.wait_popup("#32768")


def menus_gone(app):
    app.wait_until(lambda: not app.popups("#32768"), message="the menu closed")


def no_menu_opens(app, target):
    app.right_click(target)
    time.sleep(0.6)
    assert app.popups("#32768") == [], f"a menu opened at {target}"


def stored_dword(helper, name):
    value = helper.reg_get(KEY, name)
    return value.dword if value is not None and value.type == REG_DWORD else None


def test_only_the_panes_and_the_delay_box_have_a_menu(app):
    for target in (ids.IDC_RECEIVE_VIEW, ids.IDC_HEX_PANE, ids.IDC_TEXT_PANE, ids.IDC_DELAY_BOX):
        open_menu(app, target)
        app.key("Escape")
        menus_gone(app)

    hex_pane, text_pane = app.rect(ids.IDC_HEX_PANE), app.rect(ids.IDC_TEXT_PANE)
    assert text_pane.top - hex_pane.bottom >= 2
    no_menu_opens(app, (hex_pane.center[0], (hex_pane.bottom + text_pane.top) // 2))
    for target in (ids.IDC_PORT_BUTTON, ids.IDC_TEXT_SEND, ids.IDC_STATUS_VIEW):
        no_menu_opens(app, target)
    assert app.running


def test_port_and_baud_rate_chosen_from_the_line_settings_menu(start_app, helper, virtual_port):
    vp = virtual_port(7)
    virtual_port(12, "Serial Port (COM12)")
    app = start_app()

    # "串口设定" is the last item: Up reaches it from the closed menu.
    open_menu(app, ids.IDC_TEXT_PANE)
    app.key("Up", "Up", "Right", "Right", "Down", "Return")  # 串口设定 > 通讯口 > the second entry
    status = app.wait_text(ids.IDC_STATUS_VIEW, "[2/2]USB-SERIAL CH340 (COM7)")
    assert "波特率:115200" in status
    assert helper.reg_get(KEY, "SelectedPortFileName").string == "COM7"

    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(vp.is_open)
    open_menu(app, ids.IDC_HEX_PANE)
    app.key("Up", "Up", "Right", "Down", "Right", *["Down"] * 7, "Return")  # 串口设定 > 波特率 > 9600
    app.wait_text(ids.IDC_STATUS_VIEW, "波特率:9600")
    assert stored_dword(helper, "Selected_BaudRate") == 2007
    # The open port is set up again at once.
    app.wait_until(lambda: (vp.requested_line() or tvh.LineSettings(0, 0, "", 0, False, False, False, 0, 0)).baud
                   == 9600)
    app.wait_text(ids.IDC_STATUS_VIEW, lambda t: t.startswith("★"))


def test_delay_mode_chosen_from_the_delay_box_menu(app, helper):
    open_menu(app, ids.IDC_DELAY_BOX)
    app.key("Down", "Down", "Down", "Return")  # 循环行间
    app.wait_title(lambda t: t.split(" ")[1] == "LINE")
    assert stored_dword(helper, "Selected_DelayType") == 2102

    open_menu(app, ids.IDC_DELAY_BOX)
    app.key("Up", "Return")  # 单次行间
    app.wait_title(lambda t: t.split(" ")[1] == "ONCE")
    assert stored_dword(helper, "Selected_DelayType") == 2103


def test_greyed_items_do_nothing_in_the_receive_view_menu(app):
    listing = app.wait_text(ids.IDC_RECEIVE_VIEW, "串口列表")
    # The first item, "清空粘贴", is greyed here: choosing it changes nothing.
    open_menu(app, ids.IDC_RECEIVE_VIEW)
    app.key("Down", "Return")
    menus_gone(app)
    time.sleep(0.3)
    assert app.text(ids.IDC_RECEIVE_VIEW) == listing

    open_menu(app, ids.IDC_RECEIVE_VIEW)
    app.key("Down", "Down", "Return")  # 清空
    app.wait_until(lambda: app.text(ids.IDC_RECEIVE_VIEW) == "", message="the receive view cleared")


def test_while_a_text_send_runs_only_the_delay_box_has_a_menu(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app({"SelectedPortFileName": "COM7", "Selected_DelayType": 2101, "DelayTime": 500})
    app.set_text(ids.IDC_TEXT_PANE, "ping")
    app.post_command(ids.IDC_TEXT_SEND)
    app.wait_text(ids.IDC_TEXT_SEND, "取消发送")
    vp.read_until(b"ping")

    for target in (ids.IDC_TEXT_PANE, ids.IDC_HEX_PANE, ids.IDC_RECEIVE_VIEW):
        no_menu_opens(app, target)
    open_menu(app, ids.IDC_DELAY_BOX)
    app.key("Down", "Return")  # 禁用定时: the running send ends after its pass
    app.wait_text(ids.IDC_TEXT_SEND, "文本发送", timeout=10)

    open_menu(app, ids.IDC_TEXT_PANE)
    app.key("Escape")
    menus_gone(app)
