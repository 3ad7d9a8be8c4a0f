"""The harness's own tests: each checks something the program's tests rely
on, against Wine itself, the helper's stand-in window, or (where built) the
program's bare main window."""

from __future__ import annotations

import os
import struct
import subprocess

import pytest

import tvharness as tvh
from tvharness import REG_BINARY, REG_DWORD, REG_SZ, RegValue

STAND_IN = dict(exe=tvh.HELPER_EXE, args=["test-window"])
SCRATCH_KEY = r"SOFTWARE\TarnVikHarnessSelfTest"
LOG, RICH, TYPING, BUTTON, DISABLED, CHECK, HANG = 1000, 1005, 1006, 1007, 1009, 1011, 1099


class TestHelper:
    def test_answers_in_a_prefix_with_the_chinese_code_page(self, helper):
        assert helper.ping()
        assert helper.acp() == 936

    def test_errors_are_reported_and_the_helper_goes_on(self, helper):
        with pytest.raises(tvh.HelperError, match="unknown command"):
            helper.request("no-such-command")
        with pytest.raises(tvh.HelperError, match="bad window handle"):
            helper.request("title", "not-a-number")
        with pytest.raises(tvh.HelperError, match="no such window"):
            helper.title(0x7FFF0)
        with pytest.raises(tvh.HelperError, match="usage"):
            helper.request("rect")
        assert helper.ping()

    def test_is_replaced_when_its_process_dies(self, helper):
        old = helper.pid()
        os.kill(helper.proc.pid, 9)
        helper.proc.wait(10)
        assert helper.ping()
        assert helper.pid() != old

    def test_one_shot_mode_for_scripts(self, wine_env):
        ok = subprocess.run(["wine", str(tvh.HELPER_EXE), "reg-get", r"SOFTWARE\NoSuchKeyHere", "x"], env=wine_env,
                            capture_output=True, timeout=60)
        assert (ok.returncode, ok.stdout) == (0, b"absent\n")
        bad = subprocess.run(["wine", str(tvh.HELPER_EXE), "rect", "1"], env=wine_env, capture_output=True,
                             timeout=60)
        assert bad.returncode == 1
        assert b"no such window" in bad.stderr


class TestClipboard:
    def test_text_reaches_another_process(self, helper, wine_env):
        helper.clipboard_set_text("剪贴板\tA\r\nB")
        other = subprocess.run(["wine", str(tvh.HELPER_EXE), "clipboard-get-text"], env=wine_env,
                               capture_output=True, timeout=60)
        assert other.stdout == "text\t剪贴板\\tA\\r\\nB\n".encode()

    def test_ansi_text_is_read_in_the_chinese_code_page(self, helper):
        helper.clipboard_set(1, "汉字".encode("gbk") + b"\0")  # CF_TEXT
        assert helper.clipboard_get_text() == "汉字"
        helper.clipboard_clear()
        assert helper.clipboard_get_text() is None


class TestRegistry:
    @pytest.fixture(autouse=True)
    def scratch_key(self, helper):
        helper.reg_delete_key(SCRATCH_KEY)
        yield
        helper.reg_delete_key(SCRATCH_KEY)

    def test_dwords_round_trip(self, helper):
        for value in (0, 1, 0x7FFFFFFF, 0xFFFFFFFF, -2):
            helper.reg_set_dword(SCRATCH_KEY, "N", value)
            stored = helper.reg_get(SCRATCH_KEY, "N")
            assert stored.type == REG_DWORD
            assert stored.dword == value & 0xFFFFFFFF

    def test_strings_are_stored_without_terminator_unless_asked(self, helper):
        helper.reg_set_sz(SCRATCH_KEY, "S", "COM7 波特率\t\\")
        assert helper.reg_get(SCRATCH_KEY, "S") == RegValue(REG_SZ, "COM7 波特率\t\\".encode("utf-16-le"))
        helper.reg_set_sz(SCRATCH_KEY, "T", "abc", terminated=True)
        assert helper.reg_get(SCRATCH_KEY, "T").data == "abc\0".encode("utf-16-le")
        helper.reg_set_sz(SCRATCH_KEY, "E", "")
        assert helper.reg_get(SCRATCH_KEY, "E") == RegValue(REG_SZ, b"")

    def test_raw_values_of_any_type_and_size(self, helper):
        helper.reg_set_binary(SCRATCH_KEY, "ShortDword", b"\x01\x02\x03", REG_DWORD)
        helper.reg_set_binary(SCRATCH_KEY, "OddString", b"A\x00B", REG_SZ)
        helper.reg_set_binary(SCRATCH_KEY, "Empty", b"")
        assert helper.reg_get(SCRATCH_KEY, "ShortDword") == RegValue(REG_DWORD, b"\x01\x02\x03")
        assert helper.reg_get(SCRATCH_KEY, "OddString") == RegValue(REG_SZ, b"A\x00B")
        assert helper.reg_get(SCRATCH_KEY, "Empty") == RegValue(REG_BINARY, b"")

    def test_listing_and_deleting_a_tree(self, helper):
        helper.reg_load(SCRATCH_KEY, {"A": 1, "B": "x", "Sub": {"C": b"\xff"}})
        assert sorted(helper.reg_list(SCRATCH_KEY)) == ["A", "B"]
        assert helper.reg_list_keys(SCRATCH_KEY) == ["Sub"]
        assert helper.reg_dump(SCRATCH_KEY + r"\Sub") == {"C": RegValue(REG_BINARY, b"\xff")}
        assert helper.reg_delete_value(SCRATCH_KEY, "A")
        assert helper.reg_get(SCRATCH_KEY, "A") is None
        assert helper.reg_delete_key(SCRATCH_KEY)
        assert not helper.reg_key_exists(SCRATCH_KEY)
        assert not helper.reg_delete_key(SCRATCH_KEY)
        assert helper.reg_get(SCRATCH_KEY, "B") is None
        with pytest.raises(tvh.HelperError, match="no such key"):
            helper.reg_list(SCRATCH_KEY)

    def test_writes_go_to_the_64_bit_view(self, helper, wine_env):
        helper.reg_set_dword(SCRATCH_KEY, "View", 64)
        assert not helper.reg_key_exists(r"SOFTWARE\Wow6432Node\TarnVikHarnessSelfTest")
        out = subprocess.run(["wine", "reg.exe", "query", "HKLM\\" + SCRATCH_KEY, "/v", "View", "/reg:64"],
                             env=wine_env, capture_output=True, timeout=60)
        assert b"0x40" in out.stdout


class TestDevices:
    def test_virtual_port_is_listed_while_registered(self, helper, virtual_port):
        vp = virtual_port(7)
        assert "USB-SERIAL CH340 (COM7)" in helper.list_ports()
        vp.unregister()
        assert "USB-SERIAL CH340 (COM7)" not in helper.list_ports()
        vp.register()
        assert "USB-SERIAL CH340 (COM7)" in helper.list_ports()

    def test_devices_without_a_port_behind_them(self, helper, port_device, disk_device):
        port_device("Serial Port (COM10)")
        port_device("ECP Printer Port (LPT1)")
        disk_device("Generic USB Flash Disk")
        ports = helper.list_ports()
        assert {"Serial Port (COM10)", "ECP Printer Port (LPT1)"} <= set(ports)
        assert "Generic USB Flash Disk" not in ports
        assert "Generic USB Flash Disk" in helper.list_disks()

    def test_removed_devices_leave_the_list(self, helper):
        iid = helper.port_add("Serial Port (COM11)")
        helper.port_remove(iid)
        assert "Serial Port (COM11)" not in helper.list_ports()
        with pytest.raises(tvh.HelperError):
            helper.port_remove(iid)

    def test_port_name_value_in_the_device_key(self, helper, virtual_port):
        vp = virtual_port(8, "Prolific USB-to-Serial Comm Port (COM8)", port_name="COM8")
        stored = helper.reg_get(rf"SYSTEM\CurrentControlSet\Enum\{vp.instance_id}\Device Parameters", "PortName")
        assert stored.string == "COM8"


class TestSerialPorts:
    def test_bytes_cross_both_ways_unchanged(self, helper, virtual_port):
        vp = virtual_port(7)
        every_byte = bytes(range(256))
        helper.com_open("COM7", 115200)
        assert helper.com_write("COM7", every_byte) == 256
        assert vp.read_exactly(256) == every_byte
        vp.write(every_byte[::-1])
        assert helper.com_read("COM7", 256, timeout=5) == every_byte[::-1]
        vp.expect_silence(0.1)
        assert helper.com_read("COM7", 10, timeout=0.1) == b""

    def test_line_settings_requested_through_wine(self, helper, virtual_port):
        vp = virtual_port(7)
        helper.com_open("COM7", 9600)
        cases = [
            ((115200, 7, "E", 2), (115200, 7, "E", 2)),
            ((9600, 8, "O", 1), (9600, 8, "O", 1)),
            ((14400, 5, "M", "1.5"), (14400, 5, "M", 2)),  # termios has no 1.5
            ((256000, 6, "S", 1), (256000, 6, "S", 1)),
            ((38400, 8, "N", 1), (38400, 8, "N", 1)),  # a custom rate before must not linger
            ((7200, 7, "N", 1), (7200, 7, "N", 1)),
            ((7200, 8, "N", 1), (7200, 8, "N", 1)),  # data bits alone: the pty refuses, the spy passes it
        ]
        for request, (baud, bits, parity, stop) in cases:
            helper.com_config("COM7", *request)
            got = vp.requested_line()
            assert (got.baud, got.data_bits, got.parity, got.stop_bits) == (baud, bits, parity, stop), request
        helper.com_config("COM7", 19200, 8, "N", 2)
        kernel = vp.termios()
        assert (kernel.baud, kernel.stop_bits) == (19200, 2)

    def test_busy_port_refuses_to_open_like_windows(self, helper, virtual_port):
        vp = virtual_port(7)
        with vp.busy():
            with pytest.raises(tvh.HelperError, match="error 5 "):
                helper.com_open("COM7")
        helper.com_open("COM7")

    def test_holders_tell_whether_the_port_is_open(self, helper, virtual_port):
        vp = virtual_port(7)
        assert vp.app_end_holders() == set()
        helper.com_open("COM7")
        assert vp.app_end_holders()
        helper.com_close("COM7")
        assert vp.app_end_holders() == set()

    def test_unplugged_port_fails_like_a_pulled_adapter(self, helper, virtual_port):
        vp = virtual_port(7)
        helper.com_open("COM7")
        vp.unplug()
        assert "USB-SERIAL CH340 (COM7)" not in helper.list_ports()
        with pytest.raises(tvh.HelperError):
            helper.com_write("COM7", b"x")
        helper.com_close("COM7")
        with pytest.raises(tvh.HelperError, match="error 2 "):
            helper.com_open("COM7")

    def test_modem_lines_behave_like_hardware(self, helper, virtual_port):
        vp = virtual_port(7)
        helper.com_open("COM7", 9600)
        assert vp.modem_outputs() == {"dtr": True, "rts": True}
        helper.com_escape("COM7", 6)  # CLRDTR
        assert vp.modem_outputs() == {"dtr": False, "rts": True}
        helper.com_escape("COM7", 4)  # CLRRTS
        helper.com_escape("COM7", 5)  # SETDTR
        assert vp.modem_outputs() == {"dtr": True, "rts": False}
        assert helper.com_modem_status("COM7") == 0
        vp.set_modem_inputs(cts=True, cd=True)
        assert helper.com_modem_status("COM7") == 0x10 | 0x80
        vp.set_modem_inputs(dsr=True, ring=True)
        assert helper.com_modem_status("COM7") == 0x20 | 0x40

    def test_two_ports_at_once(self, helper, virtual_port):
        a, b = virtual_port(3, "Serial Port (COM3)"), virtual_port(12, "Serial Port (COM12)")
        helper.com_open("COM3")
        helper.com_open("COM12")
        helper.com_write("COM3", b"three")
        helper.com_write("COM12", b"twelve")
        assert a.read_exactly(5) == b"three"
        assert b.read_exactly(6) == b"twelve"


class TestStandInWindow:
    def test_finds_the_window_and_reads_its_controls(self, start_app):
        app = start_app(**STAND_IN)
        assert app.title() == "Tarn#Vik    "
        assert {c.id for c in app.children()} >= {LOG, RICH, TYPING, BUTTON, DISABLED, CHECK}
        assert app.text(RICH) == "第一行\r\nsecond line"
        assert app.checked(CHECK) == 1
        assert not app.enabled(DISABLED) and app.enabled(BUTTON)
        outer, client, button = app.rect(), app.client_rect(), app.rect(BUTTON)
        assert outer.left <= client.left < button.left < button.right <= client.right <= outer.right

    def test_text_and_selection_round_trip(self, start_app):
        app = start_app(**STAND_IN)
        tricky = "tab\there\\back\r\nline 二 \\t"
        app.set_text(TYPING, tricky)
        assert app.text(TYPING) == tricky
        app.set_sel(RICH, 1, 4)
        assert app.get_sel(RICH) == (1, 4)
        app.set_sel(TYPING, 0, 3)
        app.replace_sel(TYPING, "TAB")
        assert app.text(TYPING).startswith("TAB\there")

    def test_commands_and_device_messages_arrive(self, start_app):
        app = start_app(**STAND_IN)
        app.post_command(BUTTON)
        # A sent message overtakes a posted one still in the queue.
        app.wait_text(LOG, "command 1007 0\r\n")
        app.send_command(BUTTON, 5)
        assert app.devchange_port("arrival", "COM7") == 1
        app.devchange_port("removal", "COM12")
        app.devchange_volume("arrival", 1 << 4, 1)
        app.wait_text(LOG, "command 1007 0\r\ncommand 1007 5\r\n"
                           "devchange 32768 port COM7\r\ndevchange 32772 port COM12\r\n"
                           "devchange 32768 volume 16 1\r\n")

    def test_mouse_and_keyboard_reach_the_controls(self, start_app):
        app = start_app(**STAND_IN)
        app.click(BUTTON)
        app.wait_text(LOG, "command 1007 0")
        app.click(TYPING)
        app.wait_until(lambda: app.focused_id() == TYPING)
        app.key("ctrl+a", "BackSpace")
        app.type_text("abc 123")
        app.key("Return")
        app.wait_text(TYPING, lambda t: t == "abc 123\r\n")

    def test_close_and_close_box_give_the_exit_code(self, start_app):
        first = start_app(**STAND_IN)
        second = start_app(**STAND_IN)
        assert first.hwnd != second.hwnd and first.wpid != second.wpid
        first.close()
        second.close_box()
        assert (first.wait_exit(), second.wait_exit()) == (2, 2)

    def test_hung_window_gives_an_error_not_a_hang(self, start_app, helper):
        app = start_app(**STAND_IN)
        helper.post_command(app.hwnd, HANG, 0, 4000)
        # A message sent to a window is handled before one posted to it: the
        # query must wait until the hang has begun, or it is answered first.
        tvh.wait_until(lambda: app.title().endswith(" (hung)"), timeout=5, message="the stand-in did not hang")
        old = helper.set_send_timeout(800)
        try:
            with pytest.raises(tvh.HelperError, match="timeout"):
                app.text(RICH)
        finally:
            helper.set_send_timeout(old)

    def test_program_ending_before_its_window_fails_fast(self, start_app):
        with pytest.raises(tvh.AppExited, match="code 0"):
            start_app(exe=tvh.HELPER_EXE, args=["ping"])

    def test_settings_key_is_cleared_or_preloaded_before_each_start(self, start_app, helper):
        key = tvh.SETTINGS_KEY
        helper.reg_set_dword(key, "Left", 5)
        start_app(**STAND_IN)
        assert not helper.reg_key_exists(key)
        start_app(registry={"Baud": 9600, "Port": "COM7", "Bad": RegValue(REG_DWORD, b"\x01")}, **STAND_IN)
        assert helper.reg_dump(key) == {"Baud": RegValue.dword_value(9600), "Port": RegValue.sz("COM7"),
                                        "Bad": RegValue(REG_DWORD, b"\x01")}
        start_app(keep_registry=True, **STAND_IN)
        assert helper.reg_get(key, "Baud").dword == 9600
        helper.reg_delete_key(key)

    def test_ending_leaves_no_process_and_no_window(self, tv, tmp_path):
        launcher = tv.launcher(tmp_path)
        app = launcher.start(**STAND_IN)
        pid, hwnd = app.pid, app.hwnd
        assert tvh.pid_alive(pid)
        launcher.close_all()
        assert not tvh.pid_alive(pid)
        assert app.exit_code == -9
        assert not tv.helper.is_window(hwnd)


class TestProgram:
    """Only that the program starts and is found; its behaviour is tested
    elsewhere."""

    def test_is_found_by_its_title_and_ended_by_pid(self, tv, tmp_path):
        if not tvh.APP_EXE.is_file():
            pytest.skip(f"{tvh.APP_EXE} not built yet")
        launcher = tv.launcher(tmp_path)
        app = launcher.start()
        assert app.title().startswith("Tarn#Vik")
        assert tv.helper.window_pid(app.hwnd) == app.wpid
        launcher.close_all()
        assert not tvh.pid_alive(app.pid)
        assert not tv.helper.is_window(app.hwnd)


def test_screenshot_is_a_png_of_the_whole_screen(take_screenshot, helper):
    path = take_screenshot("whole")
    head = path.read_bytes()[:24]
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    assert struct.unpack(">II", head[16:24]) == helper.screen_size() == (1280, 1024)
