"""Tarn#Vik on Linux: the port bridge with pretend adapters, and the
launcher as a user installs and starts it."""
import os
import signal
import subprocess

import pytest

import tvharness as tvh
from test_devices import status, wait_receive
from tvharness import ids

FTDI = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
CH340 = "usb-1a86_USB2.0-Serial-if00-port0"
CP2102 = "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0"
PL2303 = "usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0"


def test_adapters_plugged_and_pulled_are_ports_with_their_names(start_app, port_bridge):
    ftdi = port_bridge.adapter(FTDI)
    app = start_app(registry={"SelectedPortFileName": "COM3"})
    app.wait_until(lambda: status(app).startswith("☆[0/0]端口COM3已神秘消失!"), timeout=15)

    # Plugged in: the first number, the product's name, the arrival report.
    ftdi.plug()
    arrival = ">>>发现[COM3]<<<\nFTDI FT232R USB UART (COM3)\n"
    wait_receive(app, lambda t: arrival in t)
    app.wait_until(lambda: status(app).startswith("☆[1/1]FTDI FT232R USB UART (COM3)"), timeout=15)

    # Bytes both ways, Chinese included.
    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(ftdi.is_open, timeout=15)
    ftdi.write("设备：你好\r\n".encode("gbk"))
    wait_receive(app, lambda t: "设备：你好" in t)
    app.set_text(ids.IDC_TEXT_PANE, "AT+测试")
    app.post_command(ids.IDC_TEXT_SEND)
    assert ftdi.read_until("测试".encode("gbk")) == "AT+测试".encode("gbk")

    # Pulled while open: the port is closed and the removal reported.
    ftdi.pull()
    wait_receive(app, lambda t: t.endswith(">>>[COM3]消失<<<\nFTDI FT232R USB UART (COM3)\n"))
    app.wait_until(lambda: not ftdi.is_open(), timeout=15)
    app.wait_until(lambda: status(app).startswith("☆[0/0]端口COM3已神秘消失!"), timeout=15)
    assert port_bridge.com_link(3) is None

    # Another adapter meanwhile gets the next number; the first one back
    # has its own again, and is not reopened by itself.
    port_bridge.adapter(CH340).plug()
    wait_receive(app, lambda t: t.endswith(">>>发现[COM4]<<<\n1a86 USB2.0-Serial (COM4)\n"))
    ftdi.plug()
    wait_receive(app, lambda t: t.endswith(arrival) and t.count(arrival) == 2)
    app.wait_until(lambda: status(app).startswith("☆[2/2]FTDI FT232R USB UART (COM3)"), timeout=15)
    ftdi.expect_silence(0.5)
    assert not ftdi.is_open()
    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(ftdi.is_open, timeout=15)
    ftdi.write(b"back again\r\n")
    wait_receive(app, lambda t: "back again" in t)


def test_ports_across_restarts_and_crashes_bare_devices_and_devices_the_user_may_not_open(port_bridge, helper):
    cp2102_port = "Silicon Labs CP2102 USB to UART Bridge Controller (COM3)"
    cp2102 = port_bridge.adapter(CP2102).plug()
    tvh.wait_until(lambda: cp2102_port in helper.list_ports(), 15)
    assert port_bridge.com_link(3) == str(cp2102.entry)

    # Stopped, it takes its ports with it; the numbers stay remembered.
    port_bridge.stop()
    assert [p for p in helper.list_ports() if "(COM" in p] == []
    assert port_bridge.com_link(3) is None

    # Killed, it leaves them behind: the next start clears them.
    port_bridge.start()
    tvh.wait_until(lambda: cp2102_port in helper.list_ports(), 15)
    port_bridge.kill()
    assert cp2102_port in helper.list_ports()

    # Met at the start: a device without a by-id entry (no udev), named as
    # Windows names such ports, and two the user may not open, listed all
    # the same, with one word about the group to join, on the terminal and
    # in a dialog. A COM link someone else made keeps its number.
    port_bridge.adapter(bare_name="ttyACM0").plug()
    group = port_bridge.adapter(PL2303).plug().lock()
    port_bridge.adapter(CH340).plug().lock()
    foreign = port_bridge.prefix / "dosdevices" / "com4"
    foreign.symlink_to("/dev/ttyS1")
    try:
        port_bridge.start()
        assert sorted(p for p in helper.list_ports() if "(COM" in p) == [
            "1a86 USB2.0-Serial (COM5)", "Prolific Technology Inc. USB-Serial Controller (COM6)", cp2102_port,
            "USB Serial Device (COM7)"]
        assert port_bridge.com_link(4) == "/dev/ttyS1"
        assert port_bridge.com_link(3) == str(cp2102.entry)
        said = port_bridge.said()
        assert said.count("you may not open") == 1, said
        assert f'belongs to the group "{group}"' in said and "adduser " in said and "log out and in again" in said

        box = tvh.wait_until(lambda: helper.find_window("Tarn#Vik：无权打开串口"), 60, message="the dialog")
        text = max((helper.text(c.hwnd) for c in helper.children(box) if c.class_name.lower() == "static"), key=len)
        assert f"“{group}”" in text and "注销并重新登录" in text and f'"{group}"' in text, text
        command = said.split("Run as root: ")[-1].split("Run: ")[-1].split(",")[0]
        assert f"\n    {command}\n" in text, (command, text)
        helper.post_command(box, 1)  # OK
        tvh.wait_until(lambda: not helper.is_window(box), 15, message="the dialog's end")
    finally:
        foreign.unlink()


@pytest.mark.e2e_timeout(900)
def test_installed_tarnvik_runs_the_program_with_the_bridge_beside_it(tv, tmp_path):
    usr, home = tmp_path / "usr", tmp_path / "home"
    installed = subprocess.run([str(tvh.REPO / "scripts" / "install-linux"), "--prefix", str(usr)],
                               stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=900)
    assert installed.returncode == 0, installed.stdout + installed.stderr
    # Not on PATH: the command by its full path.
    assert f"Start it with: {usr}/bin/tarnvik\n" in installed.stdout, installed.stdout
    entry = (usr / "share" / "applications" / "tarnvik.desktop").read_text()
    icon = usr / "share" / "icons" / "hicolor" / "48x48" / "apps" / "tarnvik.png"
    assert f"\nExec={usr}/bin/tarnvik\n" in entry and f"\nIcon={icon}\n" in entry and icon.is_file()
    # Only the two programs were built for it.
    built = tvh.REPO / "build" / "programs-x64"
    assert sorted(p.name for p in built.glob("*.exe")) == ["TarnVik.exe", "TarnVikBridge.exe"]

    by_id, dev = tmp_path / "by-id", tmp_path / "dev"
    by_id.mkdir()
    dev.mkdir()
    adapters = [tvh.PretendAdapter(tv, by_id / FTDI).start().plug()]
    # A user's own environment: no Wine settings, a home never used before.
    env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "XDG_", "LC_", "LD_", "TV_"))}
    env.update(HOME=str(home), DISPLAY=tv.display)
    prefix = home / ".local" / "share" / "tarnvik" / "prefix"
    wine_env = dict(env, WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                    LC_ALL="zh_CN.UTF-8")
    command = [str(usr / "bin" / "tarnvik"), "--by-id", str(by_id), "--dev-dir", str(dev)]
    # Over ssh without X forwarding: said, and nothing made.
    no_display = subprocess.run(command, env={k: v for k, v in env.items() if k != "DISPLAY"}, timeout=60,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True)
    assert no_display.returncode == 1 and no_display.stderr.startswith("tarnvik: no display"), no_display
    assert not prefix.exists()

    log_path = tmp_path / "terminal.txt"
    with open(log_path, "wb") as terminal:
        launcher = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=terminal,
                                    stderr=subprocess.STDOUT)
    helper = None
    bridge_pid = 0
    try:
        # The bridge is ready before the program starts.
        lock = prefix / "tarnvik-bridge.lock"
        tvh.wait_until(lambda: launcher.poll() is not None or (lock.is_file() and lock.read_text().strip()), 600,
                       message="the bridge")
        assert launcher.poll() is None, log_path.read_text()
        bridge_pid = int(lock.read_text())
        helper = tvh.Helper(wine_env).start()
        hwnd = tvh.wait_until(lambda: helper.find_window("Tarn#Vik"), 60, message="the program's window")
        assert "FTDI FT232R USB UART (COM3)" in helper.list_ports()
        assert helper.acp() == 936
        # The desktop entry's StartupWMClass is the window's class.
        wm_class = subprocess.run(["xdotool", "search", "--classname", "^tarnvik\\.exe$"], env=env, timeout=30,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True)
        assert wm_class.stdout.split(), "no window of class tarnvik.exe"
        assert "\nStartupWMClass=tarnvik.exe\n" in entry

        adapters.append(tvh.PretendAdapter(tv, by_id / CH340).start().plug())
        tvh.wait_until(lambda: ">>>发现[COM4]<<<" in helper.text(hwnd, ids.IDC_RECEIVE_VIEW), 20,
                       message="the arrival report")

        # Closed: the launcher ends, and the bridge after it with its ports.
        helper.post_message(hwnd, tvh.WM_SYSCOMMAND, tvh.SC_CLOSE, 0)
        launcher.wait(60)
        tvh.wait_until(lambda: not tvh.pid_alive(bridge_pid), 30, message="the bridge's end")
        assert [p for p in helper.list_ports() if "(COM" in p] == []
        assert not any((prefix / "dosdevices" / f"com{n}").is_symlink() for n in (3, 4))
        assert "preparing Wine" in log_path.read_text()
        # A bug report's first lines.
        wine_log = (prefix.parent / "wine.log").read_text()
        first = wine_log.splitlines()[0]
        assert f"tarnvik {tvh.PROJECT_VERSION} starting: prefix {prefix}, wine-" in first, wine_log
        assert "tarnvik: port bridge started" in wine_log
    finally:
        if helper is not None:
            helper.close()
        tvh.end_process(launcher)
        if bridge_pid and tvh.pid_alive(bridge_pid):
            os.kill(bridge_pid, signal.SIGKILL)
        if prefix.is_dir():
            subprocess.run(["wineserver", "-k"], env=wine_env, timeout=60, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for a in adapters:
            a.close()
