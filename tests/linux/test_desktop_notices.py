"""What a Linux user is told, and where: the advice for an adapter the user
may not open (sudo or "as root", a group joined but not yet in effect, a
device no group opens), once a run, on the terminal, in the log and in a
dialog that waits for the program's window; which dialog; and whether a
display can be reached at all."""
import socket
import sys
import time
from pathlib import Path

LINUX = Path(__file__).resolve().parents[2] / "src" / "linux"
sys.path.insert(0, str(LINUX))
import tarnvik_bridge as bridge  # noqa: E402
import tarnvik_desktop as desktop  # noqa: E402

PORT = "FTDI FT232R USB UART (COM3)"


def advice(mode=0o660, group="dialout", member_now=False, member_on_login=False, sudo=False, adduser=True):
    access = bridge.Access("root", group, mode, "alice", member_now, member_on_login)
    return bridge.access_advice(PORT, "/dev/ttyUSB0", access,
                                which=lambda name: "/usr/bin/sudo" if sudo and name == "sudo" else None,
                                exists=lambda path: adduser)


def test_advice_names_the_command_for_root_as_this_machine_runs_it_and_the_new_login():
    terminal, dialog = advice()
    assert terminal == (f'{PORT} is listed, but you may not open /dev/ttyUSB0: it belongs to the group "dialout", '
                        "which you are not in. Run as root: adduser alice dialout, then log out and in again: "
                        "the group counts from your next login.")
    assert "请以 root 身份运行：\n\n    adduser alice dialout\n" in dialog
    assert "Run as root:\n\n    adduser alice dialout\n" in dialog
    assert "注销并重新登录" in dialog and "sudo" not in terminal + dialog

    terminal, dialog = advice(sudo=True)
    assert "Run: sudo adduser alice dialout, then log out and in again" in terminal
    assert "\n    sudo adduser alice dialout\n" in dialog and "as root" not in terminal + dialog

    # Without Debian's adduser, the command every system has.
    terminal, _ = advice(adduser=False)
    assert "Run as root: usermod -a -G dialout alice," in terminal

    # Joined already, but this session began before: only a new login helps.
    terminal, dialog = advice(member_on_login=True)
    assert "you joined the group \"dialout\" after this login began" in terminal
    assert "Log out and in again" in terminal and "adduser" not in terminal + dialog

    # A device only its owner may open: no group to join.
    terminal, dialog = advice(mode=0o600)
    assert "(owner root, group dialout, mode 0600), and joining a group would not help" in terminal
    assert "adduser" not in terminal + dialog
    terminal, _ = advice(group="root")
    assert "adduser" not in terminal


def test_the_bridge_tells_once_a_run_on_the_terminal_in_the_log_and_in_a_dialog(tmp_path, monkeypatch):
    shown = []
    monkeypatch.setattr(bridge.desktop, "show", lambda title, text, env, prefix, prefer: shown.append((title, text)))
    node = tmp_path / "ttyUSB0"
    node.touch()
    node.chmod(0o000)
    log = tmp_path / "wine.log"

    class Terminal:
        text = ""

        def write(self, s):
            self.text += s

        def flush(self):
            pass

    out = Terminal()
    b = bridge.Bridge(str(tmp_path), "unused.exe", str(tmp_path), str(tmp_path), out=out, log=str(log))
    monkeypatch.setattr(bridge.os, "access", lambda path, mode: False)
    adapter = bridge.Adapter("usb-X", str(node), str(node))
    b._check_access(adapter, "X (COM3)")
    b._check_access(bridge.Adapter("usb-Y", str(node), str(node)), "Y (COM4)")
    assert out.text.count("tarnvik: X (COM3) is listed, but you may not open") == 1 and "COM4" not in out.text
    assert log.read_text().count("tarnvik: X (COM3) is listed") == 1
    assert len(shown) == 1 and shown[0][0].startswith("Tarn#Vik：") and "X (COM3)" in shown[0][1]

    # Met while the bridge starts, before the program's window (always on
    # top) is there: the dialog waits, so as to open above it.
    monkeypatch.setattr(bridge, "DIALOG_DELAY_SECONDS", 0.2)
    b = bridge.Bridge(str(tmp_path), "unused.exe", str(tmp_path), str(tmp_path), out=out)
    b.starting = True
    b._check_access(adapter, "X (COM3)")
    b.starting = False
    b._show_due()
    assert len(shown) == 1
    time.sleep(0.25)
    b._show_due()
    assert len(shown) == 2

    # Asked for none, none is shown; the terminal still hears it.
    b = bridge.Bridge(str(tmp_path), "unused.exe", str(tmp_path), str(tmp_path), out=out, dialogs="none")
    b._check_access(adapter, "X (COM3)")
    assert len(shown) == 2 and out.text.count("X (COM3) is listed") == 3


def test_a_wine_box_by_default_the_desktops_own_dialog_when_asked(tmp_path, monkeypatch):
    def having(*tools):
        return lambda name: f"/usr/bin/{name}" if name in tools else None

    started = []

    class Started:
        def __init__(self, command, env, **_):
            started.append((command, env))

    monkeypatch.setattr(desktop.subprocess, "Popen", Started)
    prefix = tmp_path / "prefix"
    desktop.show("Tarn#Vik：标题", "第一行\n    adduser alice dialout", {"DISPLAY": ":5"}, str(prefix),
                 which=having("zenity"))
    command, env = started[-1]
    assert command[:2] == ["wine", "wscript.exe"] and all(a.isascii() for a in command)
    assert env["WINEPREFIX"] == str(prefix) and env["DISPLAY"] == ":5"
    temp = prefix / "drive_c" / "windows" / "temp"
    assert (temp / "tarnvik-notice.txt").read_bytes()[:2] == b"\xff\xfe"
    assert (temp / "tarnvik-notice.txt").read_text(encoding="utf-16") == (
        "Tarn#Vik：标题\n第一行\n    adduser alice dialout")

    # Asked for the desktop's own: KDE's in KDE, otherwise GTK's first, and
    # Wine's where there is neither.
    desktop.show("T", "<b>", {}, str(prefix), prefer="desktop", which=having("zenity", "kdialog"))
    assert started[-1][0][0] == "zenity" and "--no-markup" in started[-1][0]
    desktop.show("T", "x", {"XDG_CURRENT_DESKTOP": "KDE"}, str(prefix), prefer="desktop",
                 which=having("zenity", "kdialog"))
    assert started[-1][0][0] == "kdialog"
    desktop.show("T", "x", {}, str(prefix), prefer="desktop", which=having("kdialog"))
    assert started[-1][0][0] == "kdialog"
    desktop.show("T", "x", {}, str(prefix), prefer="desktop", which=having())
    assert started[-1][0][0] == "wine"
    # No prefix, no desktop dialog: nothing to show it with.
    assert desktop.show("T", "x", {}, None, prefer="desktop", which=having()) is None


def test_a_display_that_is_not_there_is_named_one_that_answers_is_not(tmp_path):
    assert "no display: DISPLAY is not set" in desktop.display_problem({})
    assert "Xwayland" in desktop.display_problem({"WAYLAND_DISPLAY": "wayland-0"})
    with socket.socket() as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen()
        number = listener.getsockname()[1] - 6000
        assert desktop.display_problem({"DISPLAY": f"127.0.0.1:{number}"}) is None
        assert desktop.display_problem({"DISPLAY": f"127.0.0.1:{number}.0"}) is None
    problem = desktop.display_problem({"DISPLAY": f"127.0.0.1:{number}"})
    assert problem.startswith(f"the display 127.0.0.1:{number} cannot be reached") and "ssh -X" in problem
    assert "cannot be reached" in desktop.display_problem({"DISPLAY": ":31999"})
    # Forms this check does not know are Wine's to judge.
    assert desktop.display_problem({"DISPLAY": "/private/tmp/launch-x/org.xquartz:0"}) is None
    assert desktop.display_problem({"DISPLAY": "weird"}) is None
