#!/usr/bin/env python3
"""Telling the user things where the user looks.

A program started from the desktop menu has no terminal: what only goes to
stderr is never seen. So a problem the user must act on is also shown in a
dialog: a Wine message box, which works wherever the program itself does
and can stay above the program's window (always on top by default), or
the desktop's own (zenity or kdialog) for what happens before Wine runs.

  tarnvik_desktop.py check-display     says on stderr why no window can be
                                       shown (exit 1), or nothing (exit 0)
  tarnvik_desktop.py tell TITLE TEXT   shows TEXT in a dialog and waits
"""

from __future__ import annotations

import os
import shutil
import socket
import subprocess
import sys
from pathlib import Path
from typing import Callable, Mapping, Optional

Which = Callable[[str], Optional[str]]

# Wine has no message box command of its own; its script host has one.
# The text comes from a UTF-16 file: a command line loses characters the
# locale Wine found cannot express. 48 is the warning icon; 4096 makes the
# box topmost (MB_SYSTEMMODAL), 65536 brings it to the front
# (MB_SETFOREGROUND).
NOTICE_SCRIPT = """\
var fso = new ActiveXObject("Scripting.FileSystemObject");
var file = fso.OpenTextFile(WScript.Arguments(0), 1, false, -1);
var title = file.ReadLine();
var text = file.ReadAll();
file.Close();
new ActiveXObject("WScript.Shell").Popup(text, 0, title, 48 + 4096 + 65536);
"""


def as_root(command: str, which: Which = shutil.which) -> tuple[str, str, str]:
    """How to run a command as root here: (the words before it in English,
    in Chinese, the command line). With sudo where it is installed,
    otherwise the words "as root"."""
    if which("sudo"):
        return "Run:", "请运行：", f"sudo {command}"
    return "Run as root:", "请以 root 身份运行：", command


def join_group_command(user: str, group: str, exists: Callable[[str], bool] = os.path.exists) -> str:
    # adduser is Debian's own; usermod is there on every system.
    if exists("/usr/sbin/adduser"):
        return f"adduser {user} {group}"
    return f"usermod -a -G {group} {user}"


# --------------------------------------------------------------------------
# the display


def display_problem(env: Mapping[str, str], timeout: float = 2.0) -> Optional[str]:
    """Why no window can be shown, or None. Wine draws through X; an X
    server that cannot be reached at all is a problem, anything this check
    does not understand is left to Wine."""
    display = env.get("DISPLAY", "")
    if not display:
        if env.get("WAYLAND_DISPLAY"):
            return ("no X display: DISPLAY is not set. Wine shows its windows through X; "
                    "this Wayland session needs Xwayland.")
        return ("no display: DISPLAY is not set. Tarn#Vik is a window program: start it from the "
                "desktop or a terminal there, or over ssh with X forwarding (ssh -X).")
    host, colon, rest = display.rpartition(":")
    number = rest.split(".")[0]
    if not colon or not number.isdigit() or host.startswith("/"):
        return None
    try:
        if host in ("", "unix"):
            path = f"/tmp/.X11-unix/X{number}"
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                s.settimeout(timeout)
                try:
                    s.connect("\0" + path)  # the server's abstract socket
                    return None
                except OSError:
                    pass
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                s.settimeout(timeout)
                s.connect(path)
        else:
            socket.create_connection((host, 6000 + int(number)), timeout=timeout).close()
    except OSError as e:
        reason = e.strerror or str(e)
        return (f"the display {display} cannot be reached ({reason}). Tarn#Vik is a window program: "
                f"start it from the desktop or a terminal there, or over ssh with X forwarding (ssh -X).")
    return None


# --------------------------------------------------------------------------
# dialogs


def dialog_command(title: str, text: str, env: Mapping[str, str], which: Which = shutil.which) -> Optional[list[str]]:
    """The desktop's own dialog for a warning, or None when it has none.
    KDE's own where the session is KDE, otherwise GTK's first."""
    kde = "KDE" in env.get("XDG_CURRENT_DESKTOP", "").upper().split(":")
    zenity = ["zenity", "--warning", "--no-markup", f"--title={title}", f"--text={text}"]
    kdialog = ["kdialog", "--title", title, "--sorry", text]
    for command in ([kdialog, zenity] if kde else [zenity, kdialog]):
        if which(command[0]):
            return command
    return None


def wine_box(title: str, text: str, prefix: str) -> list[str]:
    """A Wine message box in the prefix: the script and the text are put in
    its temp folder, which has a plain Windows path whatever the prefix's
    Unix path holds."""
    temp = Path(prefix) / "drive_c" / "windows" / "temp"
    temp.mkdir(parents=True, exist_ok=True)
    (temp / "tarnvik-notice.js").write_text(NOTICE_SCRIPT, encoding="ascii")
    (temp / "tarnvik-notice.txt").write_text(f"{title}\n{text}", encoding="utf-16")
    return ["wine", "wscript.exe", "//nologo", r"C:\windows\temp\tarnvik-notice.js",
            r"C:\windows\temp\tarnvik-notice.txt"]


def show(title: str, text: str, env: Mapping[str, str], prefix: Optional[str], prefer: str = "wine",
         which: Which = shutil.which) -> Optional[subprocess.Popen]:
    """Starts a dialog and returns at once; None when none could be shown.
    A Wine message box in the prefix, or with prefer="desktop" the
    desktop's own dialog where it has one."""
    env = dict(env)
    command = dialog_command(title, text, env, which) if prefer == "desktop" else None
    if command is None:
        if not prefix:
            return None
        try:
            command = wine_box(title, text, prefix)
        except OSError:
            return None
        env.update(WINEPREFIX=prefix, LC_ALL="zh_CN.UTF-8")
    try:
        return subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
    except OSError:
        return None


def main(argv: list[str]) -> int:
    if argv[:1] == ["check-display"]:
        problem = display_problem(os.environ)
        if problem:
            print(f"tarnvik: {problem}", file=sys.stderr)
            return 1
        return 0
    if argv[:1] == ["tell"] and len(argv) == 3:
        # Wine may be what failed: the desktop's own dialog first.
        dialog = show(argv[1], argv[2], os.environ, os.environ.get("WINEPREFIX"), prefer="desktop")
        return dialog.wait() if dialog else 1
    print("usage: tarnvik_desktop.py check-display | tell TITLE TEXT", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
