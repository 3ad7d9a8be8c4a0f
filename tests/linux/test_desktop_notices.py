"""What a Linux user is told, and where: the advice for an adapter the user
may not open (sudo or "as root", a group joined but not yet in effect, a
device no group opens), the dialog the desktop offers, and whether a
display can be reached at all."""
import socket
import sys
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

    # Asked for none, none is shown; the terminal still hears it.
    b = bridge.Bridge(str(tmp_path), "unused.exe", str(tmp_path), str(tmp_path), out=out, dialogs="none")
    b._check_access(adapter, "X (COM3)")
    assert len(shown) == 1 and out.text.count("X (COM3) is listed") == 2


def test_the_desktops_own_dialog_first_then_wines_in_the_prefix(tmp_path):
    def having(*tools):
        return lambda name: f"/usr/bin/{name}" if name in tools else None

    assert desktop.dialog_command("T", "x", {}, having("zenity", "kdialog"))[0] == "zenity"
    assert desktop.dialog_command("T", "x", {"XDG_CURRENT_DESKTOP": "KDE"}, having("zenity", "kdialog"))[0] == "kdialog"
    assert desktop.dialog_command("T", "x", {"XDG_CURRENT_DESKTOP": "GNOME"}, having("kdialog"))[0] == "kdialog"
    assert desktop.dialog_command("T", "x", {}, having()) is None
    # Text that looks like markup is shown as it is.
    assert "--no-markup" in desktop.dialog_command("T", "<b>", {}, having("zenity"))

    prefix = tmp_path / "prefix"
    command = desktop.wine_box("Tarn#Vik：标题", "第一行\n    adduser alice dialout", str(prefix))
    temp = prefix / "drive_c" / "windows" / "temp"
    assert command[:2] == ["wine", "wscript.exe"] and all(a.isascii() for a in command)
    assert (temp / "tarnvik-notice.txt").read_bytes()[:2] == b"\xff\xfe"
    assert (temp / "tarnvik-notice.txt").read_text(encoding="utf-16") == (
        "Tarn#Vik：标题\n第一行\n    adduser alice dialout")
    assert "Popup" in (temp / "tarnvik-notice.js").read_text()


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
