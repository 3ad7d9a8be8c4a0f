"""Driving the Windows program under Wine and Xvfb from Linux tests.

The pieces, from the bottom up:

* ``Xvfb``: a private X display.
* ``WinePrefix``: a fresh Wine prefix with its own wineserver.
* ``Helper``: one long-lived ``tvhelper.exe serve`` process that does the
  Windows-side work (windows, controls, registry, devices, COM ports);
  one Python method per helper command.
* ``App``: one running instance of the program with its main window.
* ``VirtualPort``: a socat pty pair mapped to ``COMn`` in the prefix, with
  the Linux "device end" in the test's hands.
* termios_spy.c: preloaded into the program's Wine process, it makes the
  pty behave like a UART (data bits, parity, custom rates, modem lines)
  and records what the program asked for, which the pty cannot show.

conftest.py turns these into pytest fixtures; everything here can also be
used from a Python prompt for poking at the program by hand (see
``Session``).
"""

from __future__ import annotations

import contextlib
import errno
import fcntl
import grp
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import termios
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable, Iterable, Iterator, Optional

REPO = Path(__file__).resolve().parents[2]
BUILD_ROOT = REPO / "build"
BUILD_DIR = Path(os.environ.get("TV_BUILD_DIR", BUILD_ROOT / "windows-x64"))
APP_EXE = Path(os.environ.get("TV_APP_EXE", BUILD_DIR / "TarnVik.exe"))
HELPER_EXE = Path(os.environ.get("TV_HELPER_EXE", BUILD_DIR / "tvhelper.exe"))
FAILURE_DIR = BUILD_ROOT / "e2e-failures"
LOG_DIR = BUILD_ROOT / "e2e-logs"

SETTINGS_KEY = r"SOFTWARE\TarnVik"


def _project_version() -> str:
    """The CMake project version the program was built with."""
    try:
        cache = (BUILD_DIR / "CMakeCache.txt").read_text(encoding="utf-8", errors="replace")
    except OSError:
        return ""
    m = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M)
    return m.group(1).strip() if m else ""


PROJECT_VERSION = _project_version()
APP_TITLE_PREFIXES = ("Tarn#Vik", "Tarn Vik")
IDCANCEL = 2

WM_CLOSE = 0x0010
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
WM_COMMAND = 0x0111
BN_CLICKED = 0

REG_SZ = 1
REG_EXPAND_SZ = 2
REG_BINARY = 3
REG_DWORD = 4
REG_MULTI_SZ = 7
REG_QWORD = 11

DBT_DEVICEARRIVAL = 0x8000
DBT_DEVICEREMOVECOMPLETE = 0x8004
DBT_DEVNODES_CHANGED = 0x0007
WM_DEVICECHANGE = 0x0219


class _ResourceIds:
    """The program's command and control ids, read from its resource
    header, so tests say ``ids.IDC_RECEIVE_VIEW`` rather than 1005."""

    HEADER = REPO / "src" / "resources" / "resource.h"

    def __init__(self) -> None:
        self._values: Optional[dict[str, int]] = None

    def _load(self) -> dict[str, int]:
        if self._values is None:
            text = self.HEADER.read_text(encoding="utf-8", errors="replace") if self.HEADER.is_file() else ""
            self._values = {m.group(1): int(m.group(2), 0)
                            for m in re.finditer(r"^\s*#define\s+(\w+)\s+(0x[0-9A-Fa-f]+|\d+)\b", text, re.M)}
        return self._values

    def __getattr__(self, name: str) -> int:
        if name.startswith("_"):
            raise AttributeError(name)
        try:
            return self._load()[name]
        except KeyError:
            raise AttributeError(f"{name} is not defined in {self.HEADER.name}") from None

    def __dir__(self) -> list[str]:
        return sorted(self._load())


ids = _ResourceIds()


class HarnessError(RuntimeError):
    """The test environment itself failed (not the program under test)."""


class HelperError(RuntimeError):
    """tvhelper answered ``err``; the message is the helper's."""


# --------------------------------------------------------------------------
# processes


def end_process(proc: Optional[subprocess.Popen], sig: int = signal.SIGKILL, timeout: float = 10.0) -> Optional[int]:
    """Ends one process we started, by its pid, and reaps it."""
    if proc is None:
        return None
    if proc.poll() is None:
        try:
            os.kill(proc.pid, sig)
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            os.kill(proc.pid, signal.SIGKILL)
            proc.wait(timeout)
    return proc.returncode


def pid_alive(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A zombie still answers kill(0); it is gone for our purposes.
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(") ", 1)[1][:1] != "Z"
    except (FileNotFoundError, IndexError):
        return False


def wait_until(predicate: Callable[[], Any], timeout: float = 5.0, interval: float = 0.05,
               message: str | Callable[[], str] | None = None) -> Any:
    """Polls ``predicate`` until it returns something truthy and returns that.

    Raises AssertionError after ``timeout`` seconds, naming the last value
    seen, so a test can write ``wait_until(lambda: "OK" in app.text(1000))``.
    """
    deadline = time.monotonic() + timeout
    last: Any = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() >= deadline:
            text = message() if callable(message) else message
            raise AssertionError(f"{text or 'condition not met'} within {timeout:g} s (last value: {last!r})")
        time.sleep(interval)


def windows_path(path: Path | str) -> str:
    """The name the program sees for a Linux path: Wine's Z: drive maps /."""
    return "Z:" + str(path).replace("/", "\\")


def parse_byte_size(text: str) -> int:
    """The byte count of a size text such as " 1MB 512B"."""
    units = {"TB": 1 << 40, "GB": 1 << 30, "MB": 1 << 20, "kB": 1 << 10, "B": 1}
    total = 0
    for field in text.split():
        number = field.rstrip("TGMkB")
        total += int(number) * units[field[len(number):]]
    return total


# --------------------------------------------------------------------------
# X display


class Xvfb:
    """A private X server; the display number is chosen by the server."""

    def __init__(self, size: str = "1280x1024x24"):
        self.size = size
        self.proc: Optional[subprocess.Popen] = None
        self.display: Optional[str] = None

    def start(self, timeout: float = 20.0) -> str:
        if not shutil.which("Xvfb"):
            raise HarnessError("Xvfb is not installed (Debian package xvfb)")
        rfd, wfd = os.pipe()
        try:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(wfd), "-screen", "0", self.size, "-nolisten", "tcp", "-noreset"],
                pass_fds=(wfd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(wfd)
            wfd = -1
            data = b""
            deadline = time.monotonic() + timeout
            while not data.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([rfd], [], [], left)[0]:
                    raise HarnessError("Xvfb did not report a display")
                chunk = os.read(rfd, 64)
                if not chunk:
                    raise HarnessError(f"Xvfb exited ({self.proc.poll()})")
                data += chunk
        except BaseException:
            self.stop()
            raise
        finally:
            if wfd >= 0:
                os.close(wfd)
            os.close(rfd)
        self.display = ":" + data.decode().strip()
        return self.display

    def stop(self) -> None:
        end_process(self.proc, signal.SIGTERM)
        self.proc = None


def screenshot(path: Path | str, display: str, timeout: float = 30.0) -> Path:
    """Saves the whole screen as PNG."""
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    env = dict(os.environ, DISPLAY=display)
    subprocess.run(["import", "-window", "root", str(path)], env=env, check=True, timeout=timeout,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return path


def minding_file_modes(command: list[str]) -> list[str]:
    """The command, run so that file modes stop it even when we are root
    (without the capabilities that bypass them), where setpriv allows."""
    if os.geteuid() == 0 and shutil.which("setpriv"):
        return ["setpriv", "--bounding-set=-dac_override,-dac_read_search"] + command
    return command


# --------------------------------------------------------------------------
# Wine prefix


_PREFIX_NAME = re.compile(r"^e2e-(wine|tmp)-(\d+)-")


def _remove_stale_prefixes(parent: Path) -> None:
    """Removes prefixes left by earlier runs that were killed."""
    if not parent.is_dir():
        return
    for entry in parent.iterdir():
        m = _PREFIX_NAME.match(entry.name)
        if not m or not entry.is_dir() or pid_alive(int(m.group(2))):
            continue
        if m.group(1) == "tmp":
            shutil.rmtree(entry, ignore_errors=True)
            continue
        # Its wineserver was started persistent and may still be waiting.
        env = dict(os.environ, WINEPREFIX=str(entry))
        try:
            subprocess.run(["wineserver", "-k"], env=env, timeout=20, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except (subprocess.TimeoutExpired, OSError):
            pass
        shutil.rmtree(entry, ignore_errors=True)


class WinePrefix:
    """A fresh prefix with its own wineserver, for one test session.

    The server is started first, with its output to /dev/null, and wineboot
    too: the services they start inherit those descriptors, and a pipe held
    by them would make every later captured wine call wait for them.
    """

    def __init__(self, display: str, parent: Path = BUILD_ROOT):
        self.display = display
        self.parent = parent
        self.path: Optional[Path] = None
        self.server: Optional[subprocess.Popen] = None
        self.env: dict[str, str] = {}
        self.file_modes_apply = False

    def start(self, timeout: float = 180.0) -> dict[str, str]:
        for tool in ("wine", "wineserver", "wineboot"):
            if not shutil.which(tool):
                raise HarnessError(f"{tool} is not installed (Debian package wine64)")
        self.parent.mkdir(parents=True, exist_ok=True)
        _remove_stale_prefixes(self.parent)
        self.path = Path(tempfile.mkdtemp(prefix=f"e2e-wine-{os.getpid()}-", dir=self.parent))
        env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
        env.update(WINEPREFIX=str(self.path), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                   LC_ALL="zh_CN.UTF-8", DISPLAY=self.display)
        self.env = env
        quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The wineserver opens the devices for its clients. As root it
        # could open a pty whose mode we set to 0, so it loses the
        # capabilities that bypass file modes: that is how a test makes a
        # port "held by another program" (Wine itself does not refuse a
        # second CreateFile on a COM port).
        server = minding_file_modes(["wineserver", "-f", "-p"])
        self.file_modes_apply = server[0] == "setpriv" or os.geteuid() != 0
        try:
            self.server = subprocess.Popen(server, **quiet)
            # A wine command finding no server socket would start its own
            # server, without the settings above. The server's directory
            # is its working directory (its name varies between builds).
            sock = Path(f"/proc/{self.server.pid}/cwd/socket")
            wait_until(lambda: sock.exists() or self.server.poll() is not None, 20.0, 0.01,
                       message="the wineserver socket")
            if self.server.poll() is not None:
                raise HarnessError(f"wineserver exited ({self.server.returncode})")
            subprocess.run(["wineboot", "-i"], timeout=timeout, check=True, **quiet)
            subprocess.run(["wine", "cmd.exe", "/c", "exit"], timeout=60, **quiet)
            self._own_shell_folders()
        except BaseException:
            self.stop()
            raise
        return env

    def _own_shell_folders(self) -> None:
        """Wine links the profile's Documents, Desktop and the like to the
        user's home: the program writes its logs under Documents, and a
        test must never write there. Each becomes a folder of the prefix."""
        assert self.path is not None
        for profile in (self.path / "drive_c" / "users").iterdir():
            if not profile.is_dir() or profile.is_symlink():
                continue
            for entry in profile.iterdir():
                if entry.is_symlink():
                    entry.unlink()
                    entry.mkdir()

    @property
    def dosdevices(self) -> Path:
        assert self.path is not None
        return self.path / "dosdevices"

    def stop(self) -> None:
        if self.path is not None:
            try:
                subprocess.run(["wineserver", "-k"], env=self.env, timeout=30, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                pass
        if self.server is not None:
            try:
                self.server.wait(15)
            except subprocess.TimeoutExpired:
                end_process(self.server)
            self.server = None
        if self.path is not None:
            shutil.rmtree(self.path, ignore_errors=True)
            self.path = None


# --------------------------------------------------------------------------
# helper protocol


def escape_field(s: str) -> str:
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def unescape_field(s: str) -> str:
    out = []
    i = 0
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            n = s[i + 1]
            out.append({"t": "\t", "r": "\r", "n": "\n", "\\": "\\"}.get(n, "\\" + n))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def encode_request(command: str, args: Iterable[Any]) -> bytes:
    fields = [command] + [_arg(a) for a in args]
    return ("\t".join(escape_field(f) for f in fields) + "\n").encode("utf-8")


def decode_answer(line: bytes) -> tuple[bool, list[str]]:
    text = line.decode("utf-8", errors="replace").rstrip("\r\n")
    parts = text.split("\t")
    return parts[0] == "ok", [unescape_field(p) for p in parts[1:]]


def _arg(a: Any) -> str:
    if isinstance(a, bool):
        return "1" if a else "0"
    if isinstance(a, (bytes, bytearray)):
        return a.hex()
    return str(a)


def _records(fields: list[str], size: int) -> list[list[str]]:
    return [fields[i:i + size] for i in range(0, len(fields) - size + 1, size)]


@dataclass(frozen=True)
class Rect:
    left: int
    top: int
    right: int
    bottom: int

    @property
    def width(self) -> int:
        return self.right - self.left

    @property
    def height(self) -> int:
        return self.bottom - self.top

    @property
    def center(self) -> tuple[int, int]:
        return (self.left + self.right) // 2, (self.top + self.bottom) // 2


@dataclass(frozen=True)
class WindowInfo:
    hwnd: int
    pid: int
    visible: bool
    class_name: str
    title: str


@dataclass(frozen=True)
class ChildInfo:
    hwnd: int
    id: int
    class_name: str
    visible: bool
    enabled: bool


@dataclass(frozen=True)
class DeviceInfo:
    instance_id: str
    class_guid: str
    friendly_name: str


@dataclass(frozen=True)
class RegValue:
    """A stored registry value: its type and raw bytes."""

    type: int
    data: bytes

    @property
    def dword(self) -> int:
        if self.type != REG_DWORD or len(self.data) != 4:
            raise ValueError(f"not a DWORD: {self!r}")
        return int.from_bytes(self.data, "little")

    @property
    def string(self) -> str:
        """A REG_SZ's text, without the terminator when one is stored."""
        if self.type not in (REG_SZ, REG_EXPAND_SZ):
            raise ValueError(f"not a string: {self!r}")
        text = self.data[: len(self.data) // 2 * 2].decode("utf-16-le", errors="replace")
        return text.split("\0", 1)[0]

    @staticmethod
    def dword_value(v: int) -> "RegValue":
        return RegValue(REG_DWORD, (v & 0xFFFFFFFF).to_bytes(4, "little"))

    @staticmethod
    def sz(text: str, terminated: bool = False) -> "RegValue":
        return RegValue(REG_SZ, (text + ("\0" if terminated else "")).encode("utf-16-le"))


@dataclass(frozen=True)
class FocusInfo:
    hwnd: int
    id: int
    active: int
    capture: int


class Helper:
    """A ``tvhelper.exe serve`` process and a method per command.

    Window handles are plain ints; a control is addressed by (hwnd, id),
    with id 0 meaning the window itself. Errors from the helper raise
    HelperError. A helper that stops answering is ended and replaced on
    the next call, so one bad test does not take the session with it.
    """

    def __init__(self, env: dict[str, str], exe: Path = HELPER_EXE, log_path: Optional[Path] = None,
                 answer_timeout: float = 20.0):
        self.env = env
        self.exe = Path(exe)
        self.log_path = log_path
        self.answer_timeout = answer_timeout
        self.proc: Optional[subprocess.Popen] = None
        self._buf = b""
        self._log = None

    # -- process

    def start(self) -> "Helper":
        self._spawn()
        if self.request("ping") != ["pong"]:
            raise HarnessError("helper did not answer ping")
        return self

    def _spawn(self) -> None:
        if not self.exe.is_file():
            raise HarnessError(f"helper not built: {self.exe} (cmake --build --preset windows-x64 --target tvhelper)")
        stderr: Any = subprocess.DEVNULL
        if self.log_path is not None:
            self.log_path.parent.mkdir(parents=True, exist_ok=True)
            self._log = open(self.log_path, "ab")
            stderr = self._log
        self.proc = subprocess.Popen(["wine", str(self.exe), "serve"], env=self.env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=stderr, bufsize=0)
        self._buf = b""

    def close(self) -> None:
        if self.proc is None:
            return
        if self.proc.poll() is None:
            try:
                self._send(encode_request("exit", ()))
                self._read_line(5.0)
                self.proc.wait(5)
            except (OSError, HarnessError, subprocess.TimeoutExpired):
                pass
        end_process(self.proc)
        for f in (self.proc.stdin, self.proc.stdout):
            if f:
                f.close()
        self.proc = None
        if self._log:
            self._log.close()
            self._log = None

    @property
    def running(self) -> bool:
        return self.proc is not None and self.proc.poll() is None

    def _send(self, data: bytes) -> None:
        assert self.proc is not None and self.proc.stdin is not None
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def _read_line(self, timeout: float) -> bytes:
        assert self.proc is not None and self.proc.stdout is not None
        fd = self.proc.stdout.fileno()
        deadline = time.monotonic() + timeout
        while b"\n" not in self._buf:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise HarnessError(f"helper did not answer within {timeout:g} s")
            chunk = os.read(fd, 1 << 16)
            if not chunk:
                raise HarnessError(f"helper exited ({self.proc.poll()})")
            self._buf += chunk
        line, self._buf = self._buf.split(b"\n", 1)
        return line

    def request(self, command: str, *args: Any, timeout: Optional[float] = None) -> list[str]:
        """Sends one request and returns the answer's fields."""
        if not self.running:
            self.close()
            self._spawn()
        try:
            self._send(encode_request(command, args))
            line = self._read_line(timeout or self.answer_timeout)
        except (OSError, HarnessError) as e:
            self.close()  # replaced on the next request
            raise HarnessError(f"helper failed on {command!r}: {e}") from None
        except BaseException:
            # Interrupted between request and answer (a test's time limit,
            # Ctrl-C): the answer still due would be read as the next one's.
            self.close()
            raise
        ok, fields = decode_answer(line)
        if not ok:
            raise HelperError(f"{command}: {fields[0] if fields else '?'}")
        return fields

    def _one(self, command: str, *args: Any, **kw: Any) -> str:
        f = self.request(command, *args, **kw)
        return f[0] if f else ""

    def _int(self, command: str, *args: Any) -> int:
        return int(self._one(command, *args))

    def _bool(self, command: str, *args: Any) -> bool:
        return self._one(command, *args) == "1"

    # -- session

    def ping(self) -> bool:
        return self.request("ping") == ["pong"]

    def pid(self) -> int:
        return self._int("pid")

    def acp(self) -> int:
        return self._int("acp")

    def set_send_timeout(self, ms: int) -> int:
        """Sets how long the helper waits for the program to answer a
        message; returns the limit it had, for putting back."""
        old = self._int("timeout")
        self._int("timeout", ms)
        return old

    def screen_size(self) -> tuple[int, int]:
        w, h = self.request("screen-size")
        return int(w), int(h)

    def commands(self) -> list[str]:
        return self.request("help")

    # -- windows

    def find_window(self, title_prefix: str, pid: Optional[int] = None) -> Optional[int]:
        args = [title_prefix] + ([pid] if pid is not None else [])
        h = self._one("find-window", *args)
        return int(h) if h else None

    def list_windows(self, pid: Optional[int] = None) -> list[WindowInfo]:
        f = self.request("list-windows", *([pid] if pid is not None else []))
        return [WindowInfo(int(h), int(p), v == "1", c, t) for h, p, v, c, t in _records(f, 5)]

    def children(self, hwnd: int) -> list[ChildInfo]:
        f = self.request("children", hwnd)
        return [ChildInfo(int(h), int(i), c, v == "1", e == "1") for h, i, c, v, e in _records(f, 5)]

    def is_window(self, hwnd: int) -> bool:
        return self._bool("is-window", hwnd)

    def window_pid(self, hwnd: int) -> int:
        return self._int("window-pid", hwnd)

    def title(self, hwnd: int) -> str:
        return self._one("title", hwnd)

    def class_name(self, hwnd: int, id: int = 0) -> str:
        return self._one("class", hwnd, id)

    def control_hwnd(self, hwnd: int, id: int) -> int:
        return self._int("control-hwnd", hwnd, id)

    def rect(self, hwnd: int, id: int = 0) -> Rect:
        return Rect(*map(int, self.request("rect", hwnd, id)))

    def client_rect(self, hwnd: int, id: int = 0) -> Rect:
        """The client area in screen coordinates."""
        return Rect(*map(int, self.request("client-rect", hwnd, id)))

    def style(self, hwnd: int, id: int = 0) -> int:
        return self._int("style", hwnd, id)

    def exstyle(self, hwnd: int, id: int = 0) -> int:
        return self._int("exstyle", hwnd, id)

    def enabled(self, hwnd: int, id: int = 0) -> bool:
        return self._bool("enabled", hwnd, id)

    def visible(self, hwnd: int, id: int = 0) -> bool:
        return self._bool("visible", hwnd, id)

    def checked(self, hwnd: int, id: int = 0) -> int:
        """BM_GETCHECK: 0 unchecked, 1 checked, 2 indeterminate."""
        return self._int("checked", hwnd, id)

    def focus(self, hwnd: int) -> FocusInfo:
        """Keyboard focus, active and capture window of hwnd's thread."""
        return FocusInfo(*map(int, self.request("focus", hwnd)))

    def foreground(self) -> int:
        return self._int("foreground")

    def text(self, hwnd: int, id: int = 0) -> str:
        """WM_GETTEXT; a rich edit's paragraph breaks come back as CR LF."""
        return self._one("text", hwnd, id)

    def text_length(self, hwnd: int, id: int = 0) -> int:
        return self._int("text-length", hwnd, id)

    def set_text(self, hwnd: int, id: int, text: str) -> int:
        return self._int("set-text", hwnd, id, text)

    def replace_sel(self, hwnd: int, id: int, text: str) -> int:
        """EM_REPLACESEL (undoable), as typing or pasting would insert text."""
        return self._int("replace-sel", hwnd, id, text)

    def set_sel(self, hwnd: int, id: int, start: int, end: int) -> None:
        self.request("set-sel", hwnd, id, start, end)

    def get_sel(self, hwnd: int, id: int) -> tuple[int, int]:
        s, e = self.request("get-sel", hwnd, id)
        return int(s), int(e)

    def post_command(self, hwnd: int, id: int, code: int = 0, lparam: int | str | None = None) -> None:
        """PostMessage WM_COMMAND; lparam "child" passes the control's handle."""
        self.request("post-command", hwnd, id, code, *([lparam] if lparam is not None else []))

    def send_command(self, hwnd: int, id: int, code: int = 0, lparam: int | str | None = None) -> int:
        """SendMessage WM_COMMAND (bounded). Commands that open a modal
        dialog do not return until it closes: post those instead."""
        return int(self._one("send-command", hwnd, id, code, *([lparam] if lparam is not None else [])))

    def post_message(self, hwnd: int, msg: int, wparam: int = 0, lparam: int = 0) -> None:
        self.request("post-message", hwnd, msg, wparam, lparam)

    def send_message(self, hwnd: int, msg: int, wparam: int = 0, lparam: int = 0) -> int:
        return self._int("send-message", hwnd, msg, wparam, lparam)

    def devchange_port(self, hwnd: int, event: str | int, port_name: str) -> int:
        """WM_DEVICECHANGE with a DEV_BROADCAST_PORT; event "arrival"/"removal"."""
        return self._int("devchange-port", hwnd, event, port_name)

    def devchange_volume(self, hwnd: int, event: str | int, unitmask: int, flags: int = 0) -> int:
        return self._int("devchange-volume", hwnd, event, unitmask, flags)

    # -- registry (64-bit view; paths are under HKLM unless they start with HKCU\ etc.)

    def reg_delete_key(self, path: str) -> bool:
        """Deletes the key and everything below; False when it was absent."""
        return self._one("reg-delete-key", path) == "deleted"

    def reg_delete_value(self, path: str, name: str) -> bool:
        return self._one("reg-delete-value", path, name) == "deleted"

    def reg_create_key(self, path: str) -> None:
        self.request("reg-create-key", path)

    def reg_set_dword(self, path: str, name: str, value: int) -> None:
        self.request("reg-set-dword", path, name, value & 0xFFFFFFFF)

    def reg_set_sz(self, path: str, name: str, text: str, terminated: bool = False) -> None:
        """A REG_SZ; by default stored without the terminating NUL, as
        some writers do, so the reader's handling of that is exercised."""
        if terminated:
            self.reg_set_binary(path, name, (text + "\0").encode("utf-16-le"), REG_SZ)
        else:
            self.request("reg-set-sz", path, name, text)

    def reg_set_binary(self, path: str, name: str, data: bytes, type: int = REG_BINARY) -> None:
        """Raw bytes under any type: for values of the wrong type or size."""
        self.request("reg-set-binary", path, name, bytes(data).hex(), type)

    def reg_set(self, path: str, name: str, value: int | str | bytes | RegValue) -> None:
        """int -> REG_DWORD, str -> REG_SZ without NUL, bytes -> REG_BINARY,
        RegValue -> its type and bytes as given."""
        if isinstance(value, bool):
            value = int(value)
        if isinstance(value, int):
            self.reg_set_dword(path, name, value)
        elif isinstance(value, str):
            self.reg_set_sz(path, name, value)
        elif isinstance(value, (bytes, bytearray)):
            self.reg_set_binary(path, name, bytes(value))
        elif isinstance(value, RegValue):
            self.reg_set_binary(path, name, value.data, value.type)
        else:
            raise TypeError(f"no registry form for {value!r}")

    def reg_get(self, path: str, name: str) -> Optional[RegValue]:
        f = self.request("reg-get", path, name)
        if f == ["absent"]:
            return None
        return RegValue(int(f[0]), bytes.fromhex(f[1]))

    def reg_list(self, path: str) -> list[str]:
        """Value names; HelperError when the key does not exist."""
        return self.request("reg-list", path)

    def reg_dump(self, path: str) -> dict[str, RegValue]:
        f = self.request("reg-dump", path)
        return {n: RegValue(int(t), bytes.fromhex(d)) for n, t, d in _records(f, 3)}

    def reg_list_keys(self, path: str) -> list[str]:
        return self.request("reg-list-keys", path)

    def reg_key_exists(self, path: str) -> bool:
        return self._bool("reg-key-exists", path)

    def reg_load(self, path: str, values: dict[str, Any]) -> None:
        """Writes values (see reg_set); a dict value is a subkey."""
        for name, value in values.items():
            if isinstance(value, dict):
                self.reg_create_key(path + "\\" + name)
                self.reg_load(path + "\\" + name, value)
            else:
                self.reg_set(path, name, value)

    # -- devices

    def port_add(self, friendly_name: str, port_name: Optional[str] = None) -> str:
        """Registers a Ports-class device; returns its instance id. With
        port_name, its device key also gets a PortName value."""
        return self._one("port-add", friendly_name, *([port_name] if port_name else []))

    def port_remove(self, instance_id: str) -> None:
        self.request("port-remove", instance_id)

    def disk_add(self, friendly_name: str) -> str:
        return self._one("disk-add", friendly_name)

    def disk_remove(self, instance_id: str) -> None:
        self.request("disk-remove", instance_id)

    def list_ports(self) -> list[str]:
        return self.request("list-ports")

    def list_disks(self) -> list[str]:
        return self.request("list-disks")

    def list_devices(self) -> list[DeviceInfo]:
        return [DeviceInfo(*r) for r in _records(self.request("list-devices"), 3)]

    # -- COM ports seen from Windows (held by the helper until com_close)

    def com_open(self, name: str, baud: Optional[int] = None) -> None:
        """Opens for reading and writing; with baud, sets baud/8N1."""
        self.request("com-open", name, *([baud] if baud else []))

    def com_busy(self, name: str) -> None:
        """Opens and holds the port without touching the line settings."""
        self.request("com-busy", name)

    def com_config(self, name: str, baud: int, data_bits: int = 8, parity: str = "N", stop_bits: str | int = 1) -> None:
        self.request("com-config", name, baud, data_bits, parity, stop_bits)

    def com_write(self, name: str, data: bytes) -> int:
        return self._int("com-write", name, bytes(data).hex())

    def com_read(self, name: str, max_bytes: int, timeout: float = 1.0) -> bytes:
        """Waits until max_bytes came or timeout passed; returns what came."""
        ms = int(timeout * 1000)
        return bytes.fromhex(self._one("com-read", name, max_bytes, ms, timeout=timeout + self.answer_timeout))

    def com_close(self, name: Optional[str] = None) -> None:
        """Closes one port, or all that the helper holds."""
        self.request("com-close", *([name] if name else []))

    def com_open_ports(self) -> list[str]:
        return self.request("com-list-open")

    def com_escape(self, name: str, function: int) -> None:
        """EscapeCommFunction: SETRTS 3, CLRRTS 4, SETDTR 5, CLRDTR 6,
        SETBREAK 8, CLRBREAK 9."""
        self.request("com-escape", name, function)

    def com_modem_status(self, name: str) -> int:
        """GetCommModemStatus: CTS 0x10, DSR 0x20, RING 0x40, RLSD 0x80."""
        return self._int("com-modem", name)

    # -- clipboard

    def clipboard_set_text(self, text: str) -> None:
        self.request("clipboard-set-text", text)

    def clipboard_get_text(self) -> Optional[str]:
        """CF_UNICODETEXT up to its NUL; None when there is none."""
        f = self.request("clipboard-get-text")
        return f[1] if f[0] == "text" else None

    def clipboard_set(self, format: int, data: bytes) -> None:
        """Raw bytes under a clipboard format (CF_TEXT 1 wants a NUL at the end)."""
        self.request("clipboard-set", format, bytes(data).hex())

    def clipboard_get(self, format: int) -> Optional[bytes]:
        f = self.request("clipboard-get", format)
        return bytes.fromhex(f[1]) if f[0] == "data" else None

    def clipboard_clear(self) -> None:
        self.request("clipboard-clear")


# --------------------------------------------------------------------------
# X input


class Input:
    """Mouse and keyboard through xdotool on the test display."""

    def __init__(self, display: str):
        self.env = dict(os.environ, DISPLAY=display)

    def xdotool(self, *args: Any, timeout: float = 20.0) -> str:
        if not shutil.which("xdotool"):
            raise HarnessError("xdotool is not installed")
        r = subprocess.run(["xdotool", *map(str, args)], env=self.env, timeout=timeout, stdin=subprocess.DEVNULL,
                           capture_output=True, text=True)
        if r.returncode != 0:
            raise HarnessError(f"xdotool {' '.join(map(str, args))} failed: {r.stderr.strip()}")
        return r.stdout

    def key(self, *keys: str, delay_ms: int = 30) -> None:
        """Key combinations in xdotool syntax, e.g. key("ctrl+a", "Return")."""
        self.xdotool("key", "--delay", delay_ms, *keys)

    def type_text(self, text: str, delay_ms: int = 20) -> None:
        self.xdotool("type", "--delay", delay_ms, "--", text)

    def move(self, x: int, y: int) -> None:
        self.xdotool("mousemove", x, y)

    def click(self, x: int, y: int, button: int = 1, repeat: int = 1) -> None:
        self.xdotool("mousemove", x, y, "click", "--repeat", repeat, button)


# --------------------------------------------------------------------------
# the program


class AppExited(AssertionError):
    pass


class App:
    """One running instance of the program and its main window.

    Control ids are those of the program's resource header. Everything the
    program does in answer to input happens asynchronously: use
    ``wait_until`` / ``wait_text`` for results rather than reading once.
    """

    def __init__(self, proc: subprocess.Popen, hwnd: Optional[int], helper: Helper, inp: Input, display: str):
        self.proc = proc
        self.h = helper
        self.input = inp
        self.display = display
        self.hwnd: int = 0
        self.wpid: int = 0
        if hwnd:
            self.attach(hwnd)

    def attach(self, hwnd: int) -> None:
        self.hwnd = hwnd
        self.wpid = self.h.window_pid(hwnd)

    # -- process

    @property
    def pid(self) -> int:
        """The Linux pid of the program's process."""
        return self.proc.pid

    @property
    def running(self) -> bool:
        return self.proc.poll() is None

    @property
    def exit_code(self) -> Optional[int]:
        """The exit code once it has ended (negative: killed by that signal)."""
        return self.proc.poll()

    def wait_exit(self, timeout: float = 10.0) -> int:
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"program still running {timeout:g} s later") from None

    def kill(self) -> Optional[int]:
        return end_process(self.proc)

    def close(self) -> None:
        """Posts IDCANCEL, as Esc does; see also close_box()."""
        self.h.post_command(self.hwnd, IDCANCEL)

    def close_box(self) -> None:
        """The caption's close button: WM_SYSCOMMAND SC_CLOSE."""
        self.h.post_message(self.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0)

    # -- reading

    def title(self) -> str:
        return self.h.title(self.hwnd)

    def text(self, id: int) -> str:
        return self.h.text(self.hwnd, id)

    def enabled(self, id: int = 0) -> bool:
        return self.h.enabled(self.hwnd, id)

    def visible(self, id: int = 0) -> bool:
        return self.h.visible(self.hwnd, id)

    def checked(self, id: int) -> int:
        return self.h.checked(self.hwnd, id)

    def rect(self, id: int = 0) -> Rect:
        return self.h.rect(self.hwnd, id)

    def client_rect(self, id: int = 0) -> Rect:
        return self.h.client_rect(self.hwnd, id)

    def style(self, id: int = 0) -> int:
        return self.h.style(self.hwnd, id)

    def exstyle(self, id: int = 0) -> int:
        return self.h.exstyle(self.hwnd, id)

    def get_sel(self, id: int) -> tuple[int, int]:
        return self.h.get_sel(self.hwnd, id)

    def focused_id(self) -> int:
        return self.h.focus(self.hwnd).id

    def children(self) -> list[ChildInfo]:
        return self.h.children(self.hwnd)

    def windows(self) -> list[WindowInfo]:
        """All top-level windows of the program (message boxes, menus...)."""
        return self.h.list_windows(self.wpid)

    def popups(self, class_name: Optional[str] = None) -> list[WindowInfo]:
        """Visible top-level windows of the program other than the main
        one: message boxes and dialogs ("#32770"), popup menus ("#32768")."""
        return [w for w in self.windows() if w.visible and w.hwnd != self.hwnd
                and (class_name is None or w.class_name == class_name)]

    def wait_popup(self, class_name: Optional[str] = "#32770", timeout: float = 5.0) -> WindowInfo:
        """The first popup of that class to appear (a message box by default)."""
        return self.wait_until(lambda: (self.popups(class_name) or [None])[0], timeout,
                               message=f"a {class_name or 'popup'} window")

    # -- acting through messages

    def post_command(self, id: int, code: int = 0, from_control: bool = False) -> None:
        self.h.post_command(self.hwnd, id, code, "child" if from_control else None)

    def send_command(self, id: int, code: int = 0, from_control: bool = False) -> int:
        return self.h.send_command(self.hwnd, id, code, "child" if from_control else None)

    def post_message(self, msg: int, wparam: int = 0, lparam: int = 0) -> None:
        self.h.post_message(self.hwnd, msg, wparam, lparam)

    def send_message(self, msg: int, wparam: int = 0, lparam: int = 0) -> int:
        return self.h.send_message(self.hwnd, msg, wparam, lparam)

    def set_text(self, id: int, text: str) -> int:
        return self.h.set_text(self.hwnd, id, text)

    def replace_sel(self, id: int, text: str) -> int:
        return self.h.replace_sel(self.hwnd, id, text)

    def set_sel(self, id: int, start: int, end: int) -> None:
        self.h.set_sel(self.hwnd, id, start, end)

    def devchange_port(self, event: str, port_name: str) -> int:
        return self.h.devchange_port(self.hwnd, event, port_name)

    def devchange_volume(self, event: str, unitmask: int, flags: int = 0) -> int:
        return self.h.devchange_volume(self.hwnd, event, unitmask, flags)

    # -- acting through X input

    def _point(self, target: int | tuple[int, int] | None) -> tuple[int, int]:
        if target is None:
            return self.client_rect().center
        if isinstance(target, tuple):
            return target
        return self.rect(target).center

    def click(self, target: int | tuple[int, int] | None = None, button: int = 1, repeat: int = 1) -> None:
        """Clicks the centre of a control (by id), a screen point (x, y),
        or the client area's centre."""
        x, y = self._point(target)
        self.input.click(x, y, button, repeat)

    def right_click(self, target: int | tuple[int, int] | None = None) -> None:
        self.click(target, button=3)

    def double_click(self, target: int | tuple[int, int] | None = None) -> None:
        self.click(target, repeat=2)

    def key(self, *keys: str) -> None:
        """xdotool key names: "ctrl+a", "Return", "alt+x", "Down"."""
        self.input.key(*keys)

    def type_text(self, text: str) -> None:
        self.input.type_text(text)

    def screenshot(self, path: Path | str) -> Path:
        return screenshot(path, self.display)

    # -- waiting

    def wait_until(self, predicate: Callable[[], Any], timeout: float = 5.0, interval: float = 0.05,
                   message: str | None = None) -> Any:
        """wait_until(), failing early with the exit code if the program ends."""

        def check() -> Any:
            v = predicate()
            if not v and not self.running:
                raise AppExited(f"program exited with code {self.exit_code} while waiting"
                                + (f" for {message}" if message else ""))
            return v

        return wait_until(check, timeout, interval, message)

    def wait_text(self, id: int, expected: str | Callable[[str], bool], timeout: float = 5.0) -> str:
        """Waits until control id's text contains ``expected`` (or the
        predicate accepts it); returns the text."""
        pred = expected if callable(expected) else (lambda t: expected in t)
        last = [""]

        def check() -> Optional[str]:
            try:
                last[0] = self.text(id)
            except HelperError as e:
                # A window busy for a moment (a modal dialog finishing under
                # load) is not yet a failure; one busy for the whole wait is.
                if "timeout" not in str(e):
                    raise
                last[0] = f"<no answer: {e}>"
                return None
            return last[0] if pred(last[0]) else None

        try:
            return self.wait_until(check, timeout)
        except AppExited:
            raise
        except AssertionError:
            raise AssertionError(f"control {id} text did not match {expected!r} within {timeout:g} s; "
                                 f"it is {last[0]!r}") from None

    def wait_title(self, expected: str | Callable[[str], bool], timeout: float = 5.0) -> str:
        pred = expected if callable(expected) else (lambda t: t == expected)
        return self.wait_until(lambda: (lambda t: t if pred(t) else None)(self.title()), timeout,
                               message=f"title {expected!r}")

    def __repr__(self) -> str:
        return f"<App pid={self.pid} hwnd={self.hwnd} running={self.running}>"


class AppLauncher:
    """Starts program instances and ends them all at the end of a test."""

    def __init__(self, session: "Session", cwd: Path):
        self.session = session
        self.cwd = cwd
        self.apps: list[App] = []
        self.procs: list[subprocess.Popen] = []

    def start(self, registry: Optional[dict[str, Any]] = None, *, keep_registry: bool = False,
              args: Iterable[str] = (), exe: Optional[Path] = None, cwd: Optional[Path] = None,
              title_prefixes: Iterable[str] = APP_TITLE_PREFIXES, timeout: float = 20.0,
              wait_window: bool = True) -> App:
        """Starts the program and waits for its main window.

        With ``wait_window=False`` it returns at once, with no window
        attached (for a program expected to end by itself; wait_exit()).

        The settings key is deleted first and, when ``registry`` is given,
        filled with those values (see Helper.reg_set: int, str, bytes,
        RegValue; a dict is a subkey). ``keep_registry`` leaves it as it is,
        for tests of what a previous run stored.
        """
        s = self.session
        exe = Path(exe or APP_EXE)
        if not exe.is_file():
            raise HarnessError(f"program not built: {exe} (cmake --build --preset windows-x64)")
        if not keep_registry:
            s.helper.reg_delete_key(SETTINGS_KEY)
            if registry:
                s.helper.reg_create_key(SETTINGS_KEY)
                s.helper.reg_load(SETTINGS_KEY, registry)
        prefixes = tuple(title_prefixes)
        # Windows of instances this test already runs are not the new one's.
        taken = {a.wpid for a in self.apps if a.running and a.wpid}
        before = {w.hwnd for w in s.helper.list_windows() if w.title.startswith(prefixes)}
        proc = subprocess.Popen(["wine", str(exe), *args], env=s.app_env, cwd=str(cwd or self.cwd),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=s.app_log())
        self.procs.append(proc)
        if not wait_window:
            app = App(proc, None, s.helper, s.input, s.display)
            self.apps.append(app)
            return app

        def find() -> Optional[int]:
            if proc.poll() is not None:
                raise AppExited(f"{exe.name} exited with code {proc.returncode} before showing its window")
            for w in s.helper.list_windows():
                if w.visible and w.title.startswith(prefixes) and w.pid not in taken and w.hwnd not in before:
                    return w.hwnd
            return None

        hwnd = wait_until(find, timeout, message=f"a window titled {' or '.join(map(repr, prefixes))}")
        app = App(proc, hwnd, s.helper, s.input, s.display)
        self.apps.append(app)
        return app

    def close_all(self) -> None:
        for proc in self.procs:
            end_process(proc)
        # The next test must not see this test's windows, which the
        # wineserver takes away shortly after their process ends.
        for app in self.apps:
            if not app.hwnd:
                continue
            try:
                wait_until(lambda: not self.session.helper.is_window(app.hwnd), 5.0)
            except (AssertionError, HarnessError, HelperError):
                pass
        self.apps.clear()
        self.procs.clear()


# --------------------------------------------------------------------------
# serial ports


# struct termios2 from <asm-generic/termbits.h>: the actual speed even for
# rates that have no Bnnn constant.
_TCGETS2 = 0x802C542A
_TERMIOS2 = struct.Struct("4I B 19s 2I")
_CMSPAR = 0o10000000000


@dataclass(frozen=True)
class LineSettings:
    """The app end's line as the program set it, read from Linux termios."""

    baud: int
    data_bits: int
    parity: str  # N O E M S
    stop_bits: int  # 1 or 2 (termios has no 1.5)
    rtscts: bool
    xon_out: bool  # IXON: output stops on XOFF
    xon_in: bool  # IXOFF: sends XOFF when full
    cflag: int
    iflag: int


def read_line_settings(path: Path | str) -> LineSettings:
    fd = os.open(str(path), os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        iflag, oflag, cflag, lflag = termios.tcgetattr(fd)[:4]
        try:
            buf = fcntl.ioctl(fd, _TCGETS2, bytes(_TERMIOS2.size))
            baud = _TERMIOS2.unpack(buf)[-1]
        except OSError:
            baud = _SPEEDS.get(termios.tcgetattr(fd)[5], 0)
    finally:
        os.close(fd)
    return _settings_from_flags(cflag, iflag, baud)


SPY_SOURCE = Path(__file__).resolve().parent / "termios_spy.c"
SPY_LIBRARY = BUILD_ROOT / "e2e-termios-spy.so"
_ASYNC_SPD_MASK = 0x1030
_ASYNC_SPD_CUST = 0x0030
_SPEEDS = {getattr(termios, n): int(n[1:]) for n in dir(termios) if re.fullmatch(r"B\d+", n)}


def build_termios_spy() -> Optional[Path]:
    """Compiles termios_spy.c (native) into build/; None without a compiler."""
    cc = shutil.which("cc") or shutil.which("gcc")
    if not cc:
        return None
    if SPY_LIBRARY.is_file() and SPY_LIBRARY.stat().st_mtime >= SPY_SOURCE.stat().st_mtime:
        return SPY_LIBRARY
    SPY_LIBRARY.parent.mkdir(parents=True, exist_ok=True)
    tmp = SPY_LIBRARY.with_name(f"{SPY_LIBRARY.name}.{os.getpid()}")
    r = subprocess.run([cc, "-shared", "-fPIC", "-O2", "-Wall", "-o", str(tmp), str(SPY_SOURCE), "-ldl"],
                       stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        raise HarnessError(f"building the termios spy failed:\n{r.stderr}")
    os.replace(tmp, SPY_LIBRARY)
    return SPY_LIBRARY


def _settings_from_flags(cflag: int, iflag: int, baud: int) -> LineSettings:
    bits = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}[cflag & termios.CSIZE]
    if not cflag & termios.PARENB:
        parity = "N"
    elif cflag & _CMSPAR:
        parity = "M" if cflag & termios.PARODD else "S"
    else:
        parity = "O" if cflag & termios.PARODD else "E"
    return LineSettings(baud=baud, data_bits=bits, parity=parity, stop_bits=2 if cflag & termios.CSTOPB else 1,
                        rtscts=bool(cflag & termios.CRTSCTS), xon_out=bool(iflag & termios.IXON),
                        xon_in=bool(iflag & termios.IXOFF), cflag=cflag, iflag=iflag)


TIOCM_DTR, TIOCM_RTS = 0x002, 0x004
TIOCM_CTS, TIOCM_CD, TIOCM_RI, TIOCM_DSR = 0x020, 0x040, 0x080, 0x100


def requested_modem_outputs(log: Path, device: str) -> Optional[dict[str, bool]]:
    """DTR and RTS as last set on ``device`` through the spy; None if never."""
    try:
        lines = log.read_text(errors="replace").splitlines()
    except FileNotFoundError:
        return None
    bits = None
    for line in lines:
        parts = line.split(" ")
        if len(parts) == 3 and parts[0] == "M" and parts[1] == device:
            bits = int(parts[2])
    if bits is None:
        return None
    return {"dtr": bool(bits & TIOCM_DTR), "rts": bool(bits & TIOCM_RTS)}


def requested_line_settings(log: Path, device: str) -> Optional[LineSettings]:
    """The line settings last requested for ``device`` (a /dev/pts path)
    according to the spy's log, with Wine's custom-divisor rates resolved."""
    try:
        lines = log.read_text(errors="replace").splitlines()
    except FileNotFoundError:
        return None
    custom: Optional[int] = None
    result: Optional[LineSettings] = None
    for line in lines:
        parts = line.split(" ")
        if len(parts) != 5 or parts[1] != device:
            continue  # M records have 3 fields
        if parts[0] == "S":
            base, divisor, flags = int(parts[2]), int(parts[3]), int(parts[4])
            custom = base // divisor if divisor and flags & _ASYNC_SPD_MASK == _ASYNC_SPD_CUST else None
        elif parts[0] == "T":
            iflag, cflag, speed = int(parts[2]), int(parts[3]), int(parts[4])
            baud = _SPEEDS.get(speed, 0)
            if speed == termios.B38400 and custom:
                baud = custom
            result = _settings_from_flags(cflag, iflag, baud)
    return result


class VirtualPort:
    """COMn inside the prefix, backed by a socat pty pair.

    The program opens the "app end" as COMn; the test holds the "device
    end" and plays the device: ``write`` sends to the program, ``read*``
    returns what the program sent. Bytes written while the program has the
    port closed wait in the pty until it is opened again.
    """

    # Whether start() maps the app end to COMn itself (the port bridge's
    # pretend adapters leave that to the bridge).
    maps_com = True

    def __init__(self, session: "Session", number: int = 7, friendly: Optional[str] = None,
                 register: bool = True, port_name: Optional[str] = None):
        self.session = session
        self.number = number
        self.name = f"COM{number}"
        self.friendly = friendly if friendly is not None else f"USB-SERIAL CH340 ({self.name})"
        self.port_name = port_name
        self.instance_id: Optional[str] = None
        self.socat: Optional[subprocess.Popen] = None
        self.fd = -1
        self.dir = Path(tempfile.mkdtemp(prefix=f"com{number}-", dir=session.tmp_root))
        self.app_end = self.dir / "app"
        self.dev_end = self.dir / "dev"
        self.link = session.prefix.dosdevices / f"com{number}"
        self._old_link: Optional[str] = None
        self._want_register = register
        self._mode: Optional[int] = None

    def start(self) -> "VirtualPort":
        if not shutil.which("socat"):
            raise HarnessError("socat is not installed")
        try:
            self.socat = subprocess.Popen(
                ["socat", f"pty,raw,echo=0,link={self.app_end}", f"pty,raw,echo=0,link={self.dev_end}"],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_until(lambda: self.app_end.exists() and self.dev_end.exists(), 10.0, 0.01,
                       message="socat's pty links")
            self.fd = os.open(self.dev_end, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            self._clear_modem_inputs()  # pty numbers are reused
            if self.maps_com:
                if os.path.lexists(self.link):
                    self._old_link = os.readlink(self.link) if self.link.is_symlink() else None
                    self.link.unlink()
                self.link.symlink_to(self.app_end)
            if self._want_register:
                self.register()
        except BaseException:
            self.close()
            raise
        return self

    # -- the device list

    def register(self) -> str:
        """Adds the Ports-class device (as plugging the adapter in would)."""
        if self.instance_id is None:
            self.instance_id = self.session.helper.port_add(self.friendly, self.port_name)
        return self.instance_id

    def unregister(self) -> None:
        """Removes the Ports-class device; the pty stays."""
        if self.instance_id is not None:
            iid, self.instance_id = self.instance_id, None
            self.session.helper.port_remove(iid)

    @property
    def registered(self) -> bool:
        return self.instance_id is not None

    # -- the device end

    def write(self, data: bytes | str) -> None:
        if self.fd < 0:
            raise HarnessError(f"{self.name} is unplugged")
        if isinstance(data, str):
            data = data.encode("latin-1")
        view = memoryview(data)
        deadline = time.monotonic() + 10
        while view:
            try:
                n = os.write(self.fd, view)
                view = view[n:]
            except BlockingIOError:
                if time.monotonic() > deadline:
                    raise AssertionError("device end: the program does not take data (pty full)") from None
                select.select([], [self.fd], [], 0.1)

    def _read_some(self, timeout: float) -> bytes:
        if self.fd < 0:
            raise HarnessError(f"{self.name} is unplugged")
        if not select.select([self.fd], [], [], max(timeout, 0))[0]:
            return b""
        try:
            return os.read(self.fd, 1 << 16)
        except BlockingIOError:
            return b""
        except OSError as e:
            if e.errno == errno.EIO:
                return b""
            raise

    def read(self, timeout: float = 1.0, quiet: float = 0.1) -> bytes:
        """What the program sends: waits up to timeout for the first byte,
        then collects until the line has been quiet for ``quiet`` s."""
        data = self._read_some(timeout)
        if not data:
            return b""
        while True:
            more = self._read_some(quiet)
            if not more:
                return data
            data += more

    def read_exactly(self, n: int, timeout: float = 5.0) -> bytes:
        """Exactly n bytes, or AssertionError with what did come."""
        data = b""
        deadline = time.monotonic() + timeout
        while len(data) < n:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"device end got {len(data)} of {n} bytes within {timeout:g} s: {data!r}")
            # Never read past n: what follows belongs to the next read.
            if select.select([self.fd], [], [], left)[0]:
                try:
                    data += os.read(self.fd, n - len(data))
                except BlockingIOError:
                    pass
        return data

    def read_until(self, terminator: bytes, timeout: float = 5.0) -> bytes:
        """Bytes up to and including terminator (one byte at a time, so
        nothing after it is consumed)."""
        data = b""
        deadline = time.monotonic() + timeout
        while not data.endswith(terminator):
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"device end: no {terminator!r} within {timeout:g} s; got {data!r}")
            if select.select([self.fd], [], [], left)[0]:
                try:
                    data += os.read(self.fd, 1)
                except BlockingIOError:
                    pass
        return data

    def drain(self, quiet: float = 0.05) -> bytes:
        """Discards (and returns) whatever is waiting at the device end."""
        return self.read(timeout=quiet, quiet=quiet)

    def expect_silence(self, duration: float = 0.3) -> None:
        data = self.read(timeout=duration)
        if data:
            raise AssertionError(f"device end expected nothing, got {data!r}")

    def termios(self) -> LineSettings:
        """The app end's termios as the kernel keeps it. A pty keeps only
        the speed (standard rates), stop bits and flow control: it forces
        CS8 and no parity. See requested_line() for the rest."""
        return read_line_settings(self.app_end)

    def requested_line(self) -> Optional[LineSettings]:
        """The line settings the program (through Wine) last asked for on
        this port, data bits, parity and non-standard rates included; None
        if it set none. Needs the termios spy (a C compiler)."""
        if self.session.termios_log is None:
            raise HarnessError("termios spy not available (no C compiler?)")
        return requested_line_settings(self.session.termios_log, os.path.realpath(self.app_end))

    def modem_outputs(self) -> Optional[dict[str, bool]]:
        """{"dtr": bool, "rts": bool} as the program last set them with
        EscapeCommFunction (or Wine for it); None if it never did. A port
        starts with both raised."""
        if self.session.termios_log is None:
            raise HarnessError("termios spy not available (no C compiler?)")
        return requested_modem_outputs(self.session.termios_log, os.path.realpath(self.app_end))

    def set_modem_inputs(self, cts: bool = False, dsr: bool = False, ring: bool = False, cd: bool = False) -> None:
        """What GetCommModemStatus reports to the program from now on. (No
        WaitCommEvent event is raised for the change.)"""
        if self.session.modem_dir is None:
            raise HarnessError("termios spy not available (no C compiler?)")
        bits = (TIOCM_CTS if cts else 0) | (TIOCM_DSR if dsr else 0) | (TIOCM_RI if ring else 0) | \
            (TIOCM_CD if cd else 0)
        name = os.path.basename(os.path.realpath(self.app_end))
        tmp = self.session.modem_dir / f".{name}.tmp"
        tmp.write_text(str(bits))
        os.replace(tmp, self.session.modem_dir / name)

    def stall_configuration(self, ms: int) -> None:
        """From now on each configuration of the port (SetCommState) first
        waits ms milliseconds, as a Bluetooth port out of reach or a hung
        driver does; 0 ends that."""
        if self.session.modem_dir is None:
            raise HarnessError("termios spy not available (no C compiler?)")
        name = os.path.basename(os.path.realpath(self.app_end))
        stall = self.session.modem_dir / f"{name}.stall"
        if ms <= 0:
            stall.unlink(missing_ok=True)
            return
        tmp = self.session.modem_dir / f".{name}.stall.tmp"
        tmp.write_text(str(ms))
        os.replace(tmp, stall)

    def _clear_modem_inputs(self) -> None:
        if self.session.modem_dir is not None and self.app_end.exists():
            name = os.path.basename(os.path.realpath(self.app_end))
            (self.session.modem_dir / name).unlink(missing_ok=True)
            (self.session.modem_dir / f"{name}.stall").unlink(missing_ok=True)

    def set_busy(self, busy: bool = True) -> None:
        """Makes opening the port fail with ERROR_ACCESS_DENIED, as when
        another program holds it; an open handle stays usable."""
        if not self.session.prefix.file_modes_apply:
            raise HarnessError("the wineserver bypasses file modes here; cannot make a port busy")
        pts = os.path.realpath(self.app_end)
        if busy:
            if self._mode is None:
                self._mode = os.stat(pts).st_mode & 0o7777
            os.chmod(pts, 0)
        elif self._mode is not None:
            os.chmod(pts, self._mode)
            self._mode = None

    @contextlib.contextmanager
    def busy(self) -> Iterator[None]:
        self.set_busy(True)
        try:
            yield
        finally:
            self.set_busy(False)

    def unplug(self) -> None:
        """The adapter is pulled: the device leaves the device list, the pty
        pair ends (an open handle starts failing) and COMn no longer
        exists. Nothing is sent to the program's window: pair this with
        app.devchange_port("removal", vp.name) as Windows would."""
        self.unregister()
        self.hang_up()
        self._remove_link()

    def hang_up(self) -> None:
        """The line goes dead and nothing says so (a Bluetooth link out of
        reach, a driver that sends no broadcast): the pty pair ends, so an
        open handle starts failing, while the device stays listed and COMn
        stays mapped."""
        if self.fd >= 0:
            os.close(self.fd)
            self.fd = -1
        end_process(self.socat)
        self.socat = None


    def app_end_holders(self) -> set[int]:
        """Linux pids (other than socat) that have the app end open: the
        program's process or the wineserver while the port is open."""
        target = os.path.realpath(self.app_end)
        own = {os.getpid(), self.socat.pid if self.socat else -1}
        holders = set()
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) in own:
                continue
            try:
                fds = os.listdir(f"/proc/{entry}/fd")
            except OSError:
                continue
            for fd in fds:
                try:
                    if os.readlink(f"/proc/{entry}/fd/{fd}") == target:
                        holders.add(int(entry))
                        break
                except OSError:
                    continue
        return holders

    def is_open(self) -> bool:
        """Whether some Windows process (the program) has the port open."""
        return bool(self.app_end_holders())

    def close(self) -> None:
        try:
            self.unregister()
        except (HelperError, HarnessError):
            pass
        if self.fd >= 0:
            os.close(self.fd)
            self.fd = -1
        if self._mode is not None and self.socat is not None:
            self.set_busy(False)
        if self.socat is not None:
            self._clear_modem_inputs()
        end_process(self.socat)
        self.socat = None
        self._remove_link()
        shutil.rmtree(self.dir, ignore_errors=True)

    def _remove_link(self) -> None:
        if self.link.is_symlink() and os.readlink(self.link) == str(self.app_end):
            self.link.unlink()
            if self._old_link:
                self.link.symlink_to(self._old_link)

    def __repr__(self) -> str:
        return f"<VirtualPort {self.name} {self.friendly!r} registered={self.registered}>"


# --------------------------------------------------------------------------
# the port bridge for Linux


BRIDGE_SCRIPT = REPO / "src" / "linux" / "tarnvik_bridge.py"
BRIDGE_EXE = BUILD_DIR / "TarnVikBridge.exe"


class PretendAdapter(VirtualPort):
    """A USB-serial adapter as the port bridge sees it: an entry in the
    bridge's stand-in for /dev/serial/by-id (or, for a device without one,
    for /dev) that leads to the app end of a pty pair. The bridge makes it
    a COM port; the device end is the test's, as with VirtualPort."""

    maps_com = False

    def __init__(self, session: "Session", entry: Path):
        super().__init__(session, number=0, register=False)
        self.entry = entry
        self._mode_before_lock: Optional[int] = None

    def plug(self) -> "PretendAdapter":
        self.entry.symlink_to(self.app_end)
        return self

    def pull(self) -> None:
        """The adapter is pulled: its entry goes; the pty pair stays, as
        the program's open handle would until it closes it."""
        self.entry.unlink(missing_ok=True)

    def lock(self) -> str:
        """Makes the device one the user may not open, as a serial device
        of the dialout group is to someone outside it; returns the group
        the device now belongs to."""
        pts = os.path.realpath(self.app_end)
        if self._mode_before_lock is None:
            self._mode_before_lock = os.stat(pts).st_mode & 0o7777
        with contextlib.suppress(KeyError, PermissionError):
            os.chown(pts, -1, grp.getgrnam("dialout").gr_gid)
        os.chmod(pts, 0o060)
        return grp.getgrgid(os.stat(pts).st_gid).gr_name

    def close(self) -> None:
        self.pull()
        if self._mode_before_lock is not None and self.socat is not None:
            with contextlib.suppress(OSError):
                os.chmod(os.path.realpath(self.app_end), self._mode_before_lock)
        super().close()

    def __repr__(self) -> str:
        return f"<PretendAdapter {self.entry.name}>"


class PortBridge:
    """The program's port bridge on this session's prefix, watching two
    folders of pretend adapters: ``by_id`` stands for /dev/serial/by-id and
    ``dev`` for /dev. It minds file modes (see minding_file_modes), so a
    locked adapter is one it may not open. Can be stopped and started
    again; what it says is in ``said()``."""

    def __init__(self, session: "Session", root: Path):
        self.session = session
        self.by_id = root / "by-id"
        self.dev = root / "dev"
        self.by_id.mkdir(parents=True)
        self.dev.mkdir()
        self.log_path = root / "bridge.log"
        self.proc: Optional[subprocess.Popen] = None
        self.adapters: list[PretendAdapter] = []

    @property
    def prefix(self) -> Path:
        assert self.session.prefix.path is not None
        return self.session.prefix.path

    def start(self, timeout: float = 120.0) -> "PortBridge":
        if not BRIDGE_EXE.is_file():
            raise HarnessError(f"{BRIDGE_EXE} is not built (cmake --build --preset windows-x64)")
        # Its dialogs are Wine's, whatever this machine's desktop has: they
        # appear in the session and the helper can read and close them.
        command = minding_file_modes(["python3", str(BRIDGE_SCRIPT), "--prefix", str(self.prefix),
                                      "--windows-half", str(BRIDGE_EXE), "--by-id", str(self.by_id),
                                      "--dev-dir", str(self.dev), "--dialogs", "wine"])
        with open(self.log_path, "ab") as log:
            self.proc = subprocess.Popen(command, env=self.session.env, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.PIPE, stderr=log)
        assert self.proc.stdout is not None
        fd = self.proc.stdout.fileno()
        got = b""
        deadline = time.monotonic() + timeout
        while not got.endswith(b"\n") and select.select([fd], [], [], max(0, deadline - time.monotonic()))[0]:
            chunk = os.read(fd, 64)
            if not chunk:
                break
            got += chunk
        if got != b"ready\n":
            ended = self.proc.poll()
            self.stop()
            raise HarnessError(f"the port bridge did not start: {got!r}, ended {ended}, said {self.said()!r}")
        return self

    def stop(self) -> None:
        """SIGTERM, on which it removes its ports; a bridge that does not
        end is killed."""
        if self.proc is not None:
            end_process(self.proc, signal.SIGTERM, timeout=60)
            if self.proc.stdout:
                self.proc.stdout.close()
            self.proc = None

    def kill(self) -> None:
        """Ends the bridge and its Windows half at once, as a crash would:
        their ports stay behind."""
        if self.proc is None:
            return
        with contextlib.suppress(OSError):
            children = Path(f"/proc/{self.proc.pid}/task/{self.proc.pid}/children").read_text().split()
            for pid in map(int, children):
                os.kill(pid, signal.SIGKILL)
        end_process(self.proc)
        self.stop()

    @property
    def running(self) -> bool:
        return self.proc is not None and self.proc.poll() is None

    def said(self) -> str:
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def adapter(self, by_id_name: Optional[str] = None, bare_name: Optional[str] = None) -> PretendAdapter:
        """A pretend adapter, not plugged yet: by its by-id name, or a bare
        device ("ttyACM0") without one."""
        entry = self.by_id / by_id_name if by_id_name else self.dev / (bare_name or "ttyUSB0")
        a = PretendAdapter(self.session, entry)
        self.adapters.append(a)
        return a.start()

    def com_link(self, number: int) -> Optional[str]:
        """Where the prefix's COMn leads, or None."""
        link = self.prefix / "dosdevices" / f"com{number}"
        return os.readlink(link) if link.is_symlink() else None

    def close(self) -> None:
        self.stop()
        for a in reversed(self.adapters):
            a.close()
        self.adapters.clear()


# --------------------------------------------------------------------------
# a whole session


class Session:
    """Display, prefix, helper and input for one test session.

    For manual use::

        from tvharness import Session
        with Session() as s:
            app = s.launcher().start()
            print(app.title())
    """

    def __init__(self, display: Optional[str] = None):
        self._xvfb: Optional[Xvfb] = None
        self.display = display or ""
        self.prefix: WinePrefix
        self.helper: Helper
        self.input: Input
        self.tmp_root: Path
        self.termios_log: Optional[Path] = None
        self.modem_dir: Optional[Path] = None
        self.app_env: dict[str, str] = {}
        self._app_log = None

    @property
    def env(self) -> dict[str, str]:
        return self.prefix.env

    def start(self) -> "Session":
        for old in ("helper.log", "app.log"):
            (LOG_DIR / old).unlink(missing_ok=True)
        try:
            if not self.display:
                self._xvfb = Xvfb()
                self.display = self._xvfb.start()
            self.prefix = WinePrefix(self.display)
            self.prefix.start()
            assert self.prefix.path is not None
            self.tmp_root = Path(tempfile.mkdtemp(prefix=f"e2e-tmp-{os.getpid()}-", dir=BUILD_ROOT))
            self.input = Input(self.display)
            spy = build_termios_spy()
            self.app_env = dict(self.env)
            if spy is not None:
                self.termios_log = self.tmp_root / "termios.log"
                self.modem_dir = self.tmp_root / "modem"
                self.modem_dir.mkdir()
                self.app_env.update(LD_PRELOAD=str(spy), TV_TERMIOS_LOG=str(self.termios_log),
                                    TV_MODEM_DIR=str(self.modem_dir))
            self.helper = Helper(self.app_env, log_path=LOG_DIR / "helper.log").start()
        except BaseException:
            self.stop()
            raise
        return self

    def app_log(self) -> Any:
        if self._app_log is None:
            LOG_DIR.mkdir(parents=True, exist_ok=True)
            self._app_log = open(LOG_DIR / "app.log", "ab")
        return self._app_log

    def launcher(self, cwd: Optional[Path] = None) -> AppLauncher:
        return AppLauncher(self, cwd or self.tmp_root)

    def virtual_port(self, number: int = 7, friendly: Optional[str] = None, register: bool = True,
                     port_name: Optional[str] = None) -> VirtualPort:
        return VirtualPort(self, number, friendly, register, port_name).start()

    def screenshot(self, path: Path | str) -> Path:
        return screenshot(path, self.display)

    def stop(self) -> None:
        helper = getattr(self, "helper", None)
        if helper is not None:
            helper.close()
        prefix = getattr(self, "prefix", None)
        if prefix is not None:
            tmp = getattr(self, "tmp_root", None)
            prefix.stop()
            if tmp is not None:
                shutil.rmtree(tmp, ignore_errors=True)
        if self._xvfb is not None:
            self._xvfb.stop()
            self._xvfb = None
        if self._app_log is not None:
            self._app_log.close()
            self._app_log = None

    def __enter__(self) -> "Session":
        return self.start()

    def __exit__(self, *exc: Any) -> None:
        self.stop()
