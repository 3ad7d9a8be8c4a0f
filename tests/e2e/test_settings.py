"""Settings that survive a restart: each one is stored the moment it
changes, read back at the next start, and bad stored data never stops the
program from starting."""

from __future__ import annotations

import time


import tvharness as tvh
from tvharness import REG_BINARY, REG_DWORD, REG_SZ, RegValue, ids, windows_path as _windows_path

KEY = tvh.SETTINGS_KEY
DEFAULT_STATUS = "◇波特率:115200 ◇数据位:8 ◇停止位:1 ◇校验:None"


def stored(helper, name):
    value = helper.reg_get(KEY, name)
    if value is None:
        return None
    return value.dword if value.type == REG_DWORD else value.string


def wait_stored(app, helper, name, expected):
    app.wait_until(lambda: stored(helper, name) == expected, message=f"{name} stored as {expected!r}")


def title_tag(app):
    # "Tarn#Vik <tag> <progress> <spinner>"; the tag is empty when pacing is off.
    return app.title().split(" ")[1]


def type_delay(app, text):
    app.click(ids.IDC_DELAY_BOX)
    app.set_sel(ids.IDC_DELAY_BOX, 0, -1)
    app.type_text(text)


def test_first_start_has_an_empty_key_and_the_defaults(app, helper):
    assert helper.reg_key_exists(KEY)
    status = app.wait_text(ids.IDC_STATUS_VIEW, DEFAULT_STATUS)
    assert "端口COM100已神秘消失!" in status
    assert app.checked(ids.IDC_TOPMOST)
    assert app.text(ids.IDC_DELAY_BOX) == "0"
    assert title_tag(app) == ""
    assert "已加载" not in app.text(ids.IDC_RECEIVE_VIEW)
    # Showing the delay box is no change of it.
    time.sleep(0.5)
    assert helper.reg_list(KEY) == []


def test_every_change_is_stored_at_once_and_restored(start_app, helper, virtual_port):
    virtual_port(7)
    virtual_port(8, "Prolific USB-to-Serial Comm Port (COM8)")
    app = start_app()

    # The list is sorted by the whole entry: COM8's comes first.
    app.post_command(ids.ID_PORT_FIRST)
    wait_stored(app, helper, "SelectedPortFileName", "COM8")
    assert helper.reg_get(KEY, "SelectedPortFileName") == RegValue.sz("COM8")  # no terminator
    app.key("alt+c")
    wait_stored(app, helper, "SelectedPortFileName", "COM7")

    app.click(ids.IDC_TOPMOST)
    wait_stored(app, helper, "TopMost", 0)
    app.key("alt+v")
    wait_stored(app, helper, "TopMost", 1)
    app.key("alt+v")
    wait_stored(app, helper, "TopMost", 0)

    for command, name in ((2007, "Selected_BaudRate"), (2043, "Selected_Parity"), (2021, "Selected_DataBits"),
                          (2032, "Selected_StopBits"), (2051, "Selected_FlowControl"), (2102, "Selected_DelayType")):
        app.post_command(command)
        wait_stored(app, helper, name, command)

    type_delay(app, "2")
    wait_stored(app, helper, "DelayTime", 2)
    app.type_text("5")
    wait_stored(app, helper, "DelayTime", 25)
    app.type_text("0")
    wait_stored(app, helper, "DelayTime", 250)
    # Killed straight after the last change: nothing waits for a clean exit.
    app.kill()

    again = start_app(keep_registry=True)
    status = again.wait_text(ids.IDC_STATUS_VIEW, "[2/2]USB-SERIAL CH340 (COM7)")
    assert "◇波特率:9600 ◇数据位:7 ◇停止位:2 ◇校验:Mark" in status
    assert not again.checked(ids.IDC_TOPMOST)
    assert again.text(ids.IDC_DELAY_BOX) == "250"
    assert title_tag(again) == "LINE"


def test_restored_values_are_taken_as_stored(start_app, helper, virtual_port):
    vp = virtual_port(7)
    app = start_app({"SelectedPortFileName": "COM7", "TopMost": 2, "Selected_BaudRate": 5,
                     "Selected_FlowControl": 2051, "Selected_DelayType": 2101, "DelayTime": 0xFFFFFFFF})
    status = app.wait_text(ids.IDC_STATUS_VIEW, "USB-SERIAL CH340 (COM7)")
    assert "◇波特率:0 " in status
    assert not app.checked(ids.IDC_TOPMOST)
    assert app.text(ids.IDC_DELAY_BOX) == "-1"
    assert title_tag(app) == "ALL"

    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(vp.is_open)
    # The port opens before its settings are applied: wait for them.
    line = app.wait_until(lambda: (lambda l: l if l and l.rtscts else None)(vp.requested_line()),
                          message="RTS/CTS flow asked for")
    assert line.rtscts
    # Restoring stores nothing back.
    assert helper.reg_get(KEY, "TopMost").dword == 2
    assert helper.reg_get(KEY, "DelayTime").dword == 0xFFFFFFFF


def test_bad_stored_values_start_the_program_normally(start_app, helper):
    app = start_app({
        "Selected_BaudRate": RegValue(REG_DWORD, b"\x07\x20"),  # too short for a number
        "Selected_DataBits": RegValue(REG_BINARY, b""),
        "Selected_Parity": RegValue(REG_SZ, "2042".encode("utf-16-le")),
        "TopMost": RegValue(REG_DWORD, b"\x00"),
        "Selected_DelayType": RegValue(REG_BINARY, b"\x01"),
        "SelectedPortFileName": "COM" + "9" * 100_000,
        "LoadedFileFullName": "C:\\" + "d" * 696 + ".txt",
        "LoadedFileTitleName": "t" * 5000,
        "存档00": "x" * 200_000,
        "saveIndex00": RegValue(REG_DWORD, b"\x01\x02\x03\x04"),
    })
    status = app.wait_text(ids.IDC_STATUS_VIEW, "◇波特率:115200 ◇数据位:8")
    assert "端口COM999" in status
    assert app.checked(ids.IDC_TOPMOST)
    assert title_tag(app) == ""
    assert "已加载" not in app.text(ids.IDC_RECEIVE_VIEW)
    # The menus read the slots too.
    app.right_click(ids.IDC_TEXT_PANE)
    app.wait_popup("#32768")
    app.key("Escape")
    app.wait_until(lambda: not app.popups("#32768"))
    assert app.running


def _path_of_length(base, length):
    """A file under base whose Windows path is exactly length characters."""
    need = length - len(_windows_path(base)) - 1
    parts = []
    while need > 200:
        parts.append("d" * 150)
        need -= 151
    parts.append("f" * (need - 4) + ".txt")
    path = base.joinpath(*parts)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"12345\r\n")
    assert len(_windows_path(path)) == length
    return path


def test_loaded_file_is_stored_and_reported_at_the_next_start(start_app, helper, tmp_path):
    data = tmp_path / "load me.txt"
    data.write_bytes(b"AT\r\nATI\r\n")
    app = start_app()
    app.post_command(ids.ID_LOAD_FILE)
    app.wait_popup("#32770")
    time.sleep(0.5)
    app.type_text(_windows_path(data))
    app.key("Return")
    app.wait_until(lambda: not app.popups("#32770"), timeout=10)
    app.wait_text(ids.IDC_RECEIVE_VIEW, "已加载:" + _windows_path(data))
    assert helper.reg_get(KEY, "LoadedFileFullName") == RegValue.sz(_windows_path(data))
    assert stored(helper, "LoadedFileTitleName") in ("load me.txt", "load me")
    app.kill()

    again = start_app(keep_registry=True)
    report = again.wait_text(ids.IDC_RECEIVE_VIEW, "已加载:" + _windows_path(data))
    assert "拢共:" in report
    again.kill()

    # Gone, or a folder in its place: nothing is loaded.
    data.unlink()
    for replace in (lambda: None, data.mkdir):
        replace()
        third = start_app(keep_registry=True)
        third.wait_text(ids.IDC_STATUS_VIEW, "波特率")
        time.sleep(0.3)
        assert "已加载" not in third.text(ids.IDC_RECEIVE_VIEW)
        third.kill()


def test_a_stored_path_that_does_not_fit_is_refused_not_cut(start_app, helper, tmp_path):
    longest = _path_of_length(tmp_path, 615)
    app = start_app({"LoadedFileFullName": _windows_path(longest), "LoadedFileTitleName": "f.txt"})
    app.wait_text(ids.IDC_RECEIVE_VIEW, "已加载:" + _windows_path(longest))
    app.kill()

    # Cut to fit, this one would name the file above.
    app = start_app({"LoadedFileFullName": _windows_path(longest) + "x", "LoadedFileTitleName": "f.txt"})
    app.wait_text(ids.IDC_STATUS_VIEW, "波特率")
    time.sleep(0.3)
    assert "已加载" not in app.text(ids.IDC_RECEIVE_VIEW)


CLEAR_CAPTION = "您打算清除软件配置"
CLEAR_TEXT = "按[确定]  清除注册表相关配置,清除完成后将有提示音\n按[取消]或[X]  放弃清除"


def _ask_to_clear(app, helper):
    app.click(ids.IDC_RECEIVE_VIEW)
    app.key("F9")
    box = app.wait_popup("#32770")
    assert box.title == CLEAR_CAPTION
    texts = [helper.text(c.hwnd) for c in helper.children(box.hwnd)]
    assert CLEAR_TEXT.replace("\n", "\r\n") in texts or CLEAR_TEXT in texts
    return box


def test_clearing_asks_first_and_removes_the_whole_key(start_app, helper):
    app = start_app({"Selected_BaudRate": 2007, "TopMost": 0, "存档03": "saved", "Extra": {"Inner": 1}})
    app.wait_text(ids.IDC_STATUS_VIEW, "波特率:9600")

    _ask_to_clear(app, helper)
    app.key("Escape")
    app.wait_until(lambda: not app.popups("#32770"))
    assert stored(helper, "Selected_BaudRate") == 2007
    assert stored(helper, "存档03") == "saved"

    _ask_to_clear(app, helper)
    app.key("Return")
    app.wait_until(lambda: not app.popups("#32770"))
    app.wait_until(lambda: not helper.reg_key_exists(KEY), message="the settings key removed")

    # Changes later in the same run are not stored: the key stays gone.
    app.post_command(2005)
    app.wait_text(ids.IDC_STATUS_VIEW, "波特率:19200")
    app.click(ids.IDC_TOPMOST)
    app.wait_until(lambda: app.checked(ids.IDC_TOPMOST))
    assert not helper.reg_key_exists(KEY)
    app.kill()

    again = start_app(keep_registry=True)
    again.wait_text(ids.IDC_STATUS_VIEW, DEFAULT_STATUS)
    assert again.checked(ids.IDC_TOPMOST)
