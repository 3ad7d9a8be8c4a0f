#!/usr/bin/env python3
"""The port bridge: Tarn#Vik's USB-serial adapters under Wine.

Wine lists no serial adapters and tells no program when one is plugged in
or pulled. This bridge watches the host's adapters and keeps, for each, a
COM port in the Wine prefix: a dosdevices/comN link to the device and,
through its Windows half (TarnVikBridge.exe), a Ports-class device named
"<product> (COMn)" with the arrival and removal broadcasts a Windows
program relies on.

Adapters are the entries of /dev/serial/by-id. A ttyUSB or ttyACM device in
/dev without one (no udev) is taken after a second, the time udev needs to
make the entry. An adapter keeps its COM number for good: numbers are
remembered by by-id name in the prefix (tarnvik-ports.txt); new ones start
at COM3. One bridge serves a prefix at a time.

The tarnvik launcher runs it; the directories are options so that tests can
use pretend adapters:

  tarnvik_bridge.py --prefix P [--windows-half EXE] [--by-id DIR]
                    [--dev-dir DIR] [--users-lock FILE] [--log FILE]
                    [--dialogs desktop|wine|none] [--detach]

In the foreground it prints "ready" once the adapters present at its start
are ports, and runs until SIGTERM or SIGINT. --detach returns at that point
instead and goes on in its own session: it prints "started", or "shared"
when another bridge serves the prefix already, and ends 0 (1 when it could
not start).
--users-lock names a file that launchers hold a shared lock on while their
program runs: the bridge stops when none is left. What it tells the user
goes to stderr and, with --log, to that file too; an adapter the user may
not open is also shown in a dialog.
"""

from __future__ import annotations

import argparse
import fcntl
import getpass
import grp
import os
import pwd
import re
import select
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Optional, TextIO

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tarnvik_desktop as desktop  # noqa: E402

POLL_SECONDS = 0.25
SETTLE_SECONDS = 1.0
FIRST_COM, LAST_COM = 3, 256
STATE_FILE = "tarnvik-ports.txt"
LOCK_FILE = "tarnvik-bridge.lock"
# The Windows half waits up to 5 s for each hung window it tells.
ANSWER_SECONDS = 60.0
START_SECONDS = 120.0
BARE_DEVICE = re.compile(r"tty(USB|ACM)\d+")
SERIAL_NUMBER = re.compile(r"[0-9A-Z]*[0-9][0-9A-Z]*")
LONGEST_PRODUCT = 100
# The program is always on top by default and its window comes a second or
# two after the bridge is ready: a dialog about adapters met at the start
# waits this long, so that it opens above the window, not under it.
DIALOG_DELAY_SECONDS = 3.0


class BridgeError(RuntimeError):
    pass


# --------------------------------------------------------------------------
# adapters and their names


@dataclass(frozen=True)
class Adapter:
    key: str  # its by-id name, or the device's own name (ttyUSB0) when it has none
    target: str  # what its COM link points at
    node: str  # the device itself, every link followed


def clean_name(text: str) -> str:
    """A name fit for the port list: one line, printable, not too long."""
    text = "".join(c if c.isprintable() else " " for c in text)
    return " ".join(text.split())[:LONGEST_PRODUCT].strip()


def name_from_by_id(name: str) -> str:
    """The product in a by-id name: udev writes <bus>-<vendor>_<model>
    [_<serial>]-if<NN>[-port<N>] with blanks as underscores, so
    usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 is "FTDI FT232R USB UART".
    A last part that looks like a serial number (capitals and digits, at
    least one digit) after at least two others is dropped."""
    core = re.sub(r"^[a-z]+-", "", name)
    core = re.sub(r"-if[0-9A-Fa-f]{2}(-port\d+)?$", "", core)
    parts = core.split("_")
    if len(parts) >= 3 and SERIAL_NUMBER.fullmatch(parts[-1]):
        parts.pop()
    return clean_name(" ".join(parts))


def name_from_sysfs(node: str, sysfs: str = "/sys") -> str:
    """The USB product string of the device a tty belongs to, or ""."""
    device = os.path.realpath(os.path.join(sysfs, "class", "tty", os.path.basename(node), "device"))
    devices = os.path.join(os.path.realpath(sysfs), "devices") + os.sep
    # ttyUSB sits below its interface, ttyACM is the interface; the USB
    # device (the folder with idVendor) is one or two levels up. A device
    # without a product string has none: the hub above it is not its name.
    for _ in range(4):
        if not device.startswith(devices):
            break
        if os.path.exists(os.path.join(device, "idVendor")):
            try:
                with open(os.path.join(device, "product"), encoding="utf-8", errors="replace") as f:
                    return clean_name(f.read())
            except OSError:
                return ""
        device = os.path.dirname(device)
    return ""


def product_name(adapter: Adapter, sysfs: str = "/sys") -> str:
    by_id = "" if BARE_DEVICE.fullmatch(adapter.key) else adapter.key
    name = name_from_sysfs(adapter.node, sysfs) or (name_from_by_id(by_id) if by_id else "")
    if name:
        return name
    # What Windows calls these when their driver gives no better name.
    acm = "ttyACM" in os.path.basename(adapter.node) or adapter.key.startswith("ttyACM")
    return "USB Serial Device" if acm else "USB Serial Port"


def _entries(folder: str) -> list[str]:
    try:
        return sorted(os.listdir(folder))
    except OSError:
        return []


def scan(by_id_dir: str, dev_dir: str) -> tuple[dict[str, Adapter], dict[str, Adapter]]:
    """The adapters present now: (those with a by-id entry, bare ttyUSB and
    ttyACM devices without one), by key. An entry whose device is gone is
    an adapter being unplugged; a device reached twice counts once."""
    nodes: set[str] = set()

    def collect(folder: str, names: list[str]) -> dict[str, Adapter]:
        found = {}
        for name in names:
            path = os.path.join(folder, name)
            node = os.path.realpath(path)
            if node in nodes or not os.path.exists(node):
                continue
            nodes.add(node)
            found[name] = Adapter(name, path, node)
        return found

    named = collect(by_id_dir, _entries(by_id_dir))
    bare = collect(dev_dir, [n for n in _entries(dev_dir) if BARE_DEVICE.fullmatch(n)])
    return named, bare


# --------------------------------------------------------------------------
# COM numbers


class ComNumbers:
    """The COM number of every adapter this prefix has seen, by key; new
    adapters get the lowest free number from COM3 on. Kept in a text file,
    one "COMn <TAB> key" a line."""

    def __init__(self, path: Path):
        self.path = path
        self.by_key: dict[str, int] = {}
        try:
            lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
        except OSError:
            lines = []
        taken: set[int] = set()
        for line in lines:
            port, _, key = line.partition("\t")
            m = re.fullmatch(r"COM([1-9]\d{0,2})", port)
            if not m or not key or key in self.by_key:
                continue
            number = int(m.group(1))
            if FIRST_COM <= number <= LAST_COM and number not in taken:
                self.by_key[key] = number
                taken.add(number)

    def number_for(self, key: str, unusable: Callable[[int], bool]) -> Optional[int]:
        """The adapter's number; a new one is remembered at once. None when
        every number is taken."""
        if key in self.by_key:
            return self.by_key[key]
        taken = set(self.by_key.values())
        for number in range(FIRST_COM, LAST_COM + 1):
            if number not in taken and not unusable(number):
                self.by_key[key] = number
                self._save()
                return number
        return None

    def _save(self) -> None:
        text = "".join(f"COM{n}\t{k}\n" for k, n in sorted(self.by_key.items(), key=lambda kv: kv[1]))
        tmp = self.path.with_name(self.path.name + ".new")
        tmp.write_text(text, encoding="utf-8")
        os.replace(tmp, self.path)


# --------------------------------------------------------------------------
# devices the user may not open


@dataclass(frozen=True)
class Access:
    """Who may open a device, and what this process has."""
    owner: str
    group: str
    mode: int
    user: str
    member_now: bool  # the group is among this process's groups
    member_on_login: bool  # the group database has the user in it

    @staticmethod
    def of(node: str) -> "Access":
        st = os.stat(node)
        try:
            owner = pwd.getpwuid(st.st_uid).pw_name
        except KeyError:
            owner = str(st.st_uid)
        try:
            entry = grp.getgrgid(st.st_gid)
            group, members = entry.gr_name, entry.gr_mem
        except KeyError:
            group, members = str(st.st_gid), []
        user = getpass.getuser()
        try:
            primary = pwd.getpwnam(user).pw_gid
        except KeyError:
            primary = -1
        return Access(owner, group, st.st_mode & 0o7777, user, st.st_gid in os.getgroups(),
                      user in members or primary == st.st_gid)


def access_advice(port: str, node: str, access: Access,
                  which: desktop.Which = shutil.which,
                  exists: Callable[[str], bool] = os.path.exists) -> tuple[str, str]:
    """What to tell a user who may not open an adapter's device: one line
    for the terminal and the text of a dialog, in Chinese and English.
    The group that may open it is the way in, and counts only from the
    next login; a device no group may open needs its owner's help."""
    group = access.group
    if access.mode & 0o060 == 0o060 and group != "root":
        if access.member_on_login and not access.member_now:
            en = (f"{port} is listed, but you may not open {node} yet: you joined the group \"{group}\" "
                  f"after this login began.", "Log out and in again: the group counts from your next login.")
            zh = (f"已列出 {port}，但您暂时无权打开 {node}：您是在本次登录之后才加入 “{group}” 组的。",
                  "请注销并重新登录：组成员身份从下次登录起生效。")
            return _said_and_shown(en, zh)
        lead_en, lead_zh, command = desktop.as_root(desktop.join_group_command(access.user, group, exists), which)
        what_en = (f"{port} is listed, but you may not open {node}: it belongs to the group \"{group}\", "
                   f"which you are not in.")
        what_zh = f"已列出 {port}，但您无权打开 {node}：它属于 “{group}” 组，而您不在该组中。"
        terminal = f"{what_en} {lead_en} {command}, then log out and in again: the group counts from your next login."
        dialog = (f"{what_zh}\n{lead_zh}\n\n    {command}\n\n然后注销并重新登录：组成员身份从下次登录起生效。\n\n"
                  f"{what_en}\n{lead_en}\n\n    {command}\n\nThen log out and in again: the group counts from your "
                  f"next login.")
        return terminal, dialog
    mode = f"{access.mode & 0o777:04o}"
    en = (f"{port} is listed, but you may not open {node} (owner {access.owner}, group {group}, mode {mode}), "
          f"and joining a group would not help.",
          "Whoever looks after this machine must give the device to a group you can join (a udev rule).")
    zh = (f"已列出 {port}，但您无权打开 {node}（所有者 {access.owner}，组 {group}，权限 {mode}），加入任何组都无济于事。",
          "请本机的管理员把该设备交给一个您可以加入的组（例如用 udev 规则）。")
    return _said_and_shown(en, zh)


def _said_and_shown(en: tuple[str, str], zh: tuple[str, str]) -> tuple[str, str]:
    """A problem and what to do, as one line for the terminal (English)
    and as a dialog's text (Chinese, then English)."""
    return f"{en[0]} {en[1]}", "\n".join(zh) + "\n\n" + "\n".join(en)


# --------------------------------------------------------------------------
# the Windows half


class WindowsHalf:
    """TarnVikBridge.exe under Wine: one request line in, one answer out."""

    def __init__(self, exe: str, env: Optional[dict[str, str]] = None):
        self.exe = exe
        self.env = env
        self.proc: Optional[subprocess.Popen] = None
        self._buffer = b""

    def start(self) -> None:
        self.proc = subprocess.Popen(["wine", self.exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, env=self.env)
        answer = self._read_line(START_SECONDS)
        if answer != "ready":
            raise BridgeError(f"{self.exe} did not start: {answer!r}")

    def request(self, *fields: str) -> str:
        """Sends one request; returns "" for ok, or the reason it failed."""
        if self.proc is None or self.proc.stdin is None:
            raise BridgeError("the Windows half is not running")
        try:
            self.proc.stdin.write(("\t".join(fields) + "\n").encode("utf-8"))
            self.proc.stdin.flush()
        except OSError as e:
            raise BridgeError(f"the Windows half stopped: {e}") from None
        answer = self._read_line(ANSWER_SECONDS)
        return "" if answer == "ok" else answer.partition("\t")[2] or answer

    def _read_line(self, timeout: float) -> str:
        assert self.proc is not None and self.proc.stdout is not None
        fd = self.proc.stdout.fileno()
        deadline = time.monotonic() + timeout
        while b"\n" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise BridgeError("the Windows half does not answer")
            chunk = os.read(fd, 4096)
            if not chunk:
                raise BridgeError("the Windows half ended")
            self._buffer += chunk
        line, self._buffer = self._buffer.split(b"\n", 1)
        return line.decode("utf-8", errors="replace").rstrip("\r")

    def close(self) -> None:
        """Ends its input, on which it removes what is left, and waits."""
        if self.proc is None:
            return
        proc, self.proc = self.proc, None
        try:
            if proc.stdin:
                proc.stdin.close()
            proc.wait(ANSWER_SECONDS)
        except (OSError, subprocess.TimeoutExpired):
            proc.kill()
            proc.wait()
        if proc.stdout:
            proc.stdout.close()


# --------------------------------------------------------------------------
# the bridge


class Bridge:
    """Keeps a COM port in the prefix for every adapter present."""

    def __init__(self, prefix: str, windows_half: str, by_id_dir: str, dev_dir: str,
                 env: Optional[dict[str, str]] = None, out: TextIO = sys.stderr, sysfs: str = "/sys",
                 log: Optional[str] = None, dialogs: str = "desktop"):
        self.prefix = prefix
        self.dosdevices = Path(prefix) / "dosdevices"
        self.by_id_dir = os.path.abspath(by_id_dir)
        self.dev_dir = os.path.abspath(dev_dir)
        self.sysfs = sysfs
        self.out = out
        self.numbers = ComNumbers(Path(prefix) / STATE_FILE)
        # The Windows half runs in this prefix whatever WINEPREFIX says.
        self.windows = WindowsHalf(windows_half, dict(env if env is not None else os.environ, WINEPREFIX=prefix))
        self.ports: dict[str, tuple[Adapter, int]] = {}  # by key
        self.first_seen: dict[str, float] = {}  # bare devices, waiting for a by-id entry
        self.unmapped: set[str] = set()  # adapters no COM port could be made for
        self.told_access = False
        self.log = log
        self.dialogs = dialogs
        self.starting = False
        self.pending: list[tuple[float, str, str]] = []  # dialogs to show: (when, title, text)
        self.shown: list[subprocess.Popen] = []  # dialogs still open

    def say(self, text: str) -> None:
        # The terminal may be gone by now, the log unwritable; nothing else
        # depends on this.
        try:
            print(f"tarnvik: {text}", file=self.out, flush=True)
        except (OSError, ValueError):
            pass
        if self.log:
            try:
                with open(self.log, "a", encoding="utf-8") as f:
                    f.write(f"{time.strftime('%Y-%m-%d %H:%M:%S')} tarnvik: {text}\n")
            except OSError:
                pass

    def show(self, title: str, text: str) -> None:
        if self.dialogs == "none":
            return
        when = time.monotonic() + (DIALOG_DELAY_SECONDS if self.starting else 0.0)
        self.pending.append((when, title, text))
        self._show_due()

    def _show_due(self) -> None:
        self.shown = [d for d in self.shown if d.poll() is None]
        now = time.monotonic()
        for when, title, text in [p for p in self.pending if p[0] <= now]:
            self.pending.remove((when, title, text))
            dialog = desktop.show(title, text, os.environ, self.prefix, prefer=self.dialogs)
            if dialog is not None:
                self.shown.append(dialog)

    def start(self) -> None:
        if not self.dosdevices.is_dir():
            raise BridgeError(f"{self.dosdevices.parent} is not a Wine prefix")
        # Links left by a bridge that was killed, and Wine's own links to
        # adapters (an adapter would otherwise be two ports, one unlisted).
        for link in self.dosdevices.glob("com*"):
            if link.is_symlink() and self._adapter_link(os.readlink(link)):
                link.unlink()
        self.windows.start()
        self.starting = True
        try:
            self.poll(settled=True)
        finally:
            self.starting = False

    def stop(self) -> None:
        for key in list(self.ports):
            try:
                self._remove(key)
            except BridgeError:
                break
        self.windows.close()
        for key in list(self.ports):  # the Windows half has gone: links only
            adapter, number = self.ports.pop(key)
            self._unlink(number, adapter)

    def poll(self, settled: bool = False) -> None:
        self._show_due()
        named, bare = scan(self.by_id_dir, self.dev_dir)
        now = time.monotonic()
        self.first_seen = {k: self.first_seen.get(k, now) for k in bare}
        present = dict(named)
        for key, adapter in bare.items():
            if settled or key in self.ports or now - self.first_seen[key] >= SETTLE_SECONDS:
                present[key] = adapter
        self.unmapped &= set(present)
        # Removals first: an adapter that moved to another device is pulled
        # and plugged, as Windows would see it.
        for key, (adapter, _) in list(self.ports.items()):
            if key not in present or present[key].node != adapter.node:
                self._remove(key)
        for key, adapter in present.items():
            if key in self.ports:
                self._link(self.ports[key][1], adapter)  # put back if Wine replaced it
            elif key not in self.unmapped:
                self._add(adapter)

    # -- one adapter

    def _add(self, adapter: Adapter) -> None:
        number = self.numbers.number_for(adapter.key, self._foreign)
        if number is None:
            self.unmapped.add(adapter.key)
            self.say(f"no COM number is left for {adapter.target}")
            return
        self._link(number, adapter)
        product = product_name(adapter, self.sysfs)
        failed = self.windows.request("add", f"COM{number}", product)
        if failed:
            self._unlink(number, adapter)
            self.unmapped.add(adapter.key)
            self.say(f"{adapter.target} could not be made COM{number}: {failed}")
            return
        self.ports[adapter.key] = (adapter, number)
        self._check_access(adapter, f"{product} (COM{number})")

    def _remove(self, key: str) -> None:
        adapter, number = self.ports.pop(key)
        # The link goes first: the program may reopen the port while it
        # handles the removal, and must not find it.
        self._unlink(number, adapter)
        failed = self.windows.request("remove", f"COM{number}")
        if failed:
            self.say(f"COM{number} could not be removed: {failed}")

    def _check_access(self, adapter: Adapter, port: str) -> None:
        # Once a run: the first adapter met this way says what the others
        # need too.
        if self.told_access or os.access(adapter.node, os.R_OK | os.W_OK):
            return
        self.told_access = True
        try:
            access = Access.of(adapter.node)
        except OSError:
            return  # gone again already
        terminal, dialog = access_advice(port, adapter.node, access)
        self.say(terminal)
        self.show("Tarn#Vik：无权打开串口 / Tarn#Vik: no access to a serial port", dialog)

    # -- links

    def _link_path(self, number: int) -> Path:
        return self.dosdevices / f"com{number}"

    def _adapter_link(self, target: str) -> bool:
        """Whether a COM link leads to an adapter (ours to replace)."""
        target = os.path.abspath(os.path.join(str(self.dosdevices), target))
        folder, name = os.path.split(target)
        return folder == self.by_id_dir or (folder in (self.dev_dir, "/dev") and bool(BARE_DEVICE.fullmatch(name)))

    def _foreign(self, number: int) -> bool:
        """A COM link someone else made (a built-in port, a user's own)."""
        link = self._link_path(number)
        return os.path.lexists(link) and not (link.is_symlink() and self._adapter_link(os.readlink(link)))

    def _link(self, number: int, adapter: Adapter) -> None:
        link = self._link_path(number)
        try:
            if os.readlink(link) == adapter.target:
                return
        except OSError:
            pass
        tmp = link.with_name(f".{link.name}.new")
        if os.path.lexists(tmp):
            tmp.unlink()
        os.symlink(adapter.target, tmp)
        os.replace(tmp, link)

    def _unlink(self, number: int, adapter: Adapter) -> None:
        link = self._link_path(number)
        try:
            if os.readlink(link) == adapter.target:
                link.unlink()
        except OSError:
            pass


# --------------------------------------------------------------------------
# running


def _no_users(users: Optional[TextIO]) -> bool:
    """True once no launcher holds its shared lock; the lock is then kept,
    so a launcher starting now waits until this bridge has finished."""
    if users is None:
        return False
    try:
        fcntl.flock(users, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return True
    except BlockingIOError:
        return False


def run(args: argparse.Namespace, ready: Callable[[bool], None]) -> int:
    """Runs the bridge; ready(True) once its ports are made, ready(False)
    when another bridge serves the prefix already."""
    prefix = Path(args.prefix)
    try:
        lock = open(prefix / LOCK_FILE, "a+")
    except OSError as e:
        print(f"tarnvik: {e}", file=sys.stderr)
        return 1
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        ready(False)
        return 0
    lock.truncate(0)
    lock.write(f"{os.getpid()}\n")
    lock.flush()

    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(1))
    signal.signal(signal.SIGINT, lambda *_: stopping.append(1))
    signal.signal(signal.SIGHUP, signal.SIG_IGN)
    users = open(args.users_lock, "a") if args.users_lock else None
    bridge = Bridge(str(prefix), args.windows_half, args.by_id, args.dev_dir, log=args.log, dialogs=args.dialogs)
    code = 0
    try:
        bridge.start()
        ready(True)
        while not stopping and not _no_users(users):
            time.sleep(POLL_SECONDS)
            bridge.poll()
    except (BridgeError, OSError) as e:
        bridge.say(str(e))
        code = 1
    finally:
        bridge.stop()
    return code


def main(argv: Optional[list[str]] = None) -> int:
    here = Path(__file__).resolve().parent
    p = argparse.ArgumentParser(description="Tarn#Vik's port bridge: USB-serial adapters as COM ports under Wine.")
    p.add_argument("--prefix", default=os.environ.get("WINEPREFIX"), help="the Wine prefix (default: $WINEPREFIX)")
    p.add_argument("--windows-half", default=str(here / "TarnVikBridge.exe"))
    p.add_argument("--by-id", default="/dev/serial/by-id", help="where the adapters' by-id entries are")
    p.add_argument("--dev-dir", default="/dev", help="where ttyUSB and ttyACM devices without one are")
    p.add_argument("--users-lock", help="stop when no process holds a shared lock on this file")
    p.add_argument("--log", help="also write what it tells the user to this file")
    p.add_argument("--dialogs", choices=("wine", "desktop", "none"), default="wine",
                   help="show problems in a Wine message box, which stays above the program's window "
                        "(the default), in the desktop's own dialogs, or not at all")
    p.add_argument("--detach", action="store_true", help="return once ready and go on in the background")
    args = p.parse_args(argv)
    if not args.prefix:
        p.error("no Wine prefix: give --prefix or set WINEPREFIX")

    if not args.detach:
        return run(args, lambda _: (sys.stdout.write("ready\n"), sys.stdout.flush()))
    # Detached, the bridge tells the process that started it on its stdout
    # whether it runs now or another one already did ("started", "shared").
    r, w = os.pipe()
    if os.fork():
        os.close(w)
        with os.fdopen(r, "rb") as f:
            answer = f.read(16).decode("ascii", "replace").strip()
        if answer not in ("started", "shared"):
            return 1
        print(answer, flush=True)
        return 0
    os.close(r)
    os.setsid()
    fd = os.open(os.devnull, os.O_RDWR)
    os.dup2(fd, 0)
    os.dup2(fd, 1)
    os.close(fd)

    def ready(started: bool) -> None:
        os.write(w, b"started\n" if started else b"shared\n")
        os.close(w)

    os._exit(run(args, ready))


if __name__ == "__main__":
    sys.exit(main())
