"""The receive log end to end: a file that holds exactly what the device
sent, whatever the view trims, skips or clears meanwhile, and a log that
cannot be written, which turns itself off while the port stays open."""

from __future__ import annotations

import os
import random
import re
import select
import shutil
import time
from pathlib import Path, PureWindowsPath

import pytest

import tvharness as tvh
from tvharness import ids

RECEIVE, STATUS = ids.IDC_RECEIVE_VIEW, ids.IDC_STATUS_VIEW
KEY = tvh.SETTINGS_KEY
STARTED = re.compile(r"保存到文件: (.+?\.log)\r\n")
ENDED = re.compile(r"保存结束: (.+?\.log), (\d+) 字节\r\n")
FAILED = re.compile(r"保存失败: (.+?\.log): (.+?)\r\n")


def open_port(app, vp):
    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(vp.is_open, message="the port to open")
    app.wait_text(STATUS, lambda t: t.startswith("★"))


def view_match(app, pattern, timeout=20.0):
    found = []

    def check():
        m = pattern.search(app.text(RECEIVE))
        if m:
            found.append(m)
        return m is not None

    app.wait_until(check, timeout, message=f"the receive view to show {pattern.pattern!r}")
    return found[-1]


def unix_path(tv, windows_path: str) -> Path:
    """Where a C: path of the prefix is on this machine."""
    p = PureWindowsPath(windows_path)
    assert p.drive.upper() == "C:", windows_path
    return Path(tv.prefix.path) / "drive_c" / Path(*p.parts[1:])


def documents(tv) -> Path:
    users = Path(tv.prefix.path) / "drive_c" / "users"
    for name in (os.environ.get("USER", ""), "root"):
        if name and (users / name).is_dir():
            return users / name / "Documents"
    raise AssertionError(f"no profile folder under {users}")


def write_all(vp, data: bytes, timeout: float = 120.0) -> None:
    """Everything, as fast as the line takes it (a pty holds back a writer
    it cannot take from: nothing is lost before the program reads)."""
    view = memoryview(data)
    deadline = time.monotonic() + timeout
    while view:
        assert time.monotonic() < deadline, f"{len(view)} bytes not taken by the line"
        select.select([], [vp.fd], [], 0.1)
        try:
            view = view[os.write(vp.fd, view[:65536]):]
        except BlockingIOError:
            pass


def stream(size: int, seed: int) -> bytes:
    """Numbered text lines with raw bytes among them (00, FF, a lone CR,
    half a double-byte character), which the view shows its own way and
    the log must keep as they came."""
    rng = random.Random(seed)
    parts, n, number = [], 0, 0
    while n < size:
        line = b"%08d " % number + bytes(rng.randrange(0x21, 0x7F) for _ in range(40))
        if number % 7 == 0:
            line += bytes([0x00, 0xFF, 0x0D, 0xB0])
        line += b"\n"
        parts.append(line)
        n += len(line)
        number += 1
    return b"".join(parts)


@pytest.mark.e2e_timeout(600)
def test_the_log_holds_exactly_what_the_device_sent(tv, start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry={"SelectedPortFileName": "COM7", "LogToFile": 1})
    open_port(app, vp)
    path = view_match(app, STARTED).group(1)
    assert PureWindowsPath(path).name.startswith("COM7_") and PureWindowsPath(path).parent.name == "Tarn#Vik"
    file = unix_path(tv, path)
    assert file.is_file()
    assert not documents(tv).is_symlink(), "the prefix's Documents is the user's own folder"

    first, second = stream(3 << 20, 1), stream(3 << 20, 2) + b"the newest line\n"
    write_all(vp, first)
    # A clear in the middle, while the view is still behind.
    app.post_command(ids.IDC_CLEAR_RECEIVE)
    write_all(vp, second)
    sent = first + second
    # The file grows while logging goes on, without waiting for its end.
    app.wait_until(lambda: file.stat().st_size == len(sent), timeout=60, message="the log to hold every byte")
    # The view ends with the newest bytes, whatever it trimmed or skipped.
    app.wait_until(lambda: app.text(RECEIVE).endswith("the newest line\r\n"), timeout=120,
                   message="the view to show the newest bytes")

    app.post_command(ids.ID_LOG_TO_FILE)
    ended = view_match(app, ENDED)
    assert ended.group(1) == path
    assert int(ended.group(2)) == len(sent)
    assert file.read_bytes() == sent
    assert app.h.reg_get(KEY, "LogToFile").dword == 0
    # Bytes after the end go to no file.
    vp.write(b"after\r\n")
    app.wait_text(RECEIVE, lambda t: "after" in t)
    assert file.stat().st_size == len(sent)
    assert sorted(p.name for p in file.parent.iterdir()) == [file.name]
    file.unlink()


@pytest.mark.parametrize("hindrance", ["file in the way", "read-only documents"])
def test_a_log_that_cannot_be_made_turns_itself_off_and_the_port_stays_open(tv, start_app, virtual_port, hindrance):
    vp = virtual_port(7)
    docs = documents(tv)
    docs.mkdir(parents=True, exist_ok=True)
    assert not docs.is_symlink(), "the prefix's Documents is the user's own folder"
    folder = docs / "Tarn#Vik"
    if folder.is_dir():
        shutil.rmtree(folder)
    if hindrance == "file in the way":
        # Where the folder should be: the create of the log finds no folder.
        folder.write_bytes(b"in the way")
    else:
        # Honoured only where file modes stop the wineserver, which makes
        # the folders (it runs without the capabilities that bypass them).
        if not tv.prefix.file_modes_apply:
            pytest.skip("file modes do not apply to this wineserver")
        docs.chmod(0o555)
    try:
        app = start_app(registry={"SelectedPortFileName": "COM7", "LogToFile": 1})
        open_port(app, vp)
        failed = view_match(app, FAILED)
        assert PureWindowsPath(failed.group(1)).parent.name == "Tarn#Vik"
        assert failed.group(2).strip()
        assert app.h.reg_get(KEY, "LogToFile").dword == 0
        # Still open and receiving, and said once only.
        vp.write(b"still receiving\r\n")
        app.wait_text(RECEIVE, lambda t: "still receiving" in t)
        assert vp.is_open() and app.text(STATUS).startswith("★")
        time.sleep(0.5)
        assert len(FAILED.findall(app.text(RECEIVE))) == 1
        # F11 shows no file.
        app.key("F11")
        app.wait_text(RECEIVE, lambda t: "保存: 未保存" in t)
        assert "已接收 17 字节, 已发送 0 字节, 保存: 未保存" in app.text(RECEIVE)
    finally:
        docs.chmod(0o755)
        if folder.is_file():
            folder.unlink()
