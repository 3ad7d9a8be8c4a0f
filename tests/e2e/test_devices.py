"""Serial ports and removable volumes that come and go (WM_DEVICECHANGE)."""
import os
from pathlib import Path

import pytest

from tvharness import ids, parse_byte_size as parse_size, windows_path

ARRIVAL = 0x8000
REMOVAL = 0x8004


def receive(app) -> str:
    return app.text(ids.IDC_RECEIVE_VIEW).replace("\r\n", "\n").replace("\r", "\n")


def wait_receive(app, predicate, timeout: float = 20.0) -> str:
    return app.wait_until(lambda: (lambda t: t if predicate(t) else None)(receive(app)), timeout=timeout)


def status(app) -> str:
    return app.text(ids.IDC_STATUS_VIEW)


def test_port_events_stop_a_file_send_and_report_the_entry(start_app, virtual_port, port_device, tv, tmp_path):
    vp = virtual_port(7)
    data = tmp_path / "frames.bin"
    # Long enough that a pass lasts far longer than the pause between
    # passes, so the cancel below lands while bytes of the pass remain.
    data.write_bytes(bytes(range(256)) * 1024)
    app = start_app(registry={
        "SelectedPortFileName": "COM7",
        "LoadedFileFullName": windows_path(data),
        "LoadedFileTitleName": "frames.bin",
        "Selected_DelayType": ids.ID_DELAY_LOOP_ALL,
        "DelayTime": 60000,
    })
    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(vp.is_open, timeout=15)
    app.wait_until(lambda: status(app).startswith("★"), timeout=15)

    def send_file() -> None:
        app.post_command(ids.ID_SEND_FILE)
        app.wait_until(lambda: not app.enabled(ids.IDC_PORT_BUTTON), timeout=15)

    def wait_job_end(count: int) -> str:
        text = wait_receive(app, lambda t: t.count("发送取消:frames.bin") + t.count("发送完成:frames.bin") == count)
        # Its controls are free again and the chosen port was reopened.
        app.wait_until(lambda: app.enabled(ids.IDC_PORT_BUTTON) and app.enabled(ids.IDC_TEXT_SEND), timeout=15)
        vp.drain()
        vp.expect_silence(1.0)
        assert vp.is_open()
        return text

    # A new port while the job waits out its minute after the first pass:
    # the wait is cut short.
    send_file()
    assert vp.read_exactly(len(data.read_bytes()), timeout=60) == data.read_bytes()
    iid = port_device("Serial Port (COM9)")
    app.devchange_port("arrival", "COM9")
    text = wait_job_end(1)
    assert ">>>发现[COM9]<<<\nSerial Port (COM9)\n" in text
    app.wait_until(lambda: status(app).startswith("★[2/2]USB-SERIAL CH340 (COM7)"), timeout=15)

    # That port gone while bytes stream out without pause.
    app.set_text(ids.IDC_DELAY_BOX, "0")
    send_file()
    vp.read_exactly(4096, timeout=30)
    tv.helper.port_remove(iid)
    app.devchange_port("removal", "COM9")
    text = wait_job_end(2)
    assert text.count("发送取消:frames.bin") >= 1
    assert ">>>[COM9]消失<<<\nSerial Port (COM9)\n" in text
    app.wait_until(lambda: status(app).startswith("★[1/1]USB-SERIAL CH340 (COM7)"), timeout=15)
    vp.write(b"still here\r\n")
    wait_receive(app, lambda t: "still here" in t)


def test_open_port_that_vanishes_is_closed_and_not_reopened_when_it_returns(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry={"SelectedPortFileName": "COM7"})
    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(vp.is_open, timeout=15)
    app.wait_until(lambda: status(app).startswith("★[1/1]"), timeout=15)

    vp.unregister()
    app.devchange_port("removal", "COM7")
    # The entry is taken before the list is read again, so it still names
    # the adapter.
    wait_receive(app, lambda t: ">>>[COM7]消失<<<\nUSB-SERIAL CH340 (COM7)\n" in t)
    app.wait_until(lambda: not vp.is_open(), timeout=15)
    app.wait_until(lambda: status(app).startswith("☆[0/0]端口COM7已神秘消失!"), timeout=15)
    assert app.text(ids.IDC_PORT_BUTTON) == "开"

    vp.register()
    app.devchange_port("arrival", "COM7")
    wait_receive(app, lambda t: t.endswith(">>>发现[COM7]<<<\nUSB-SERIAL CH340 (COM7)\n"))
    app.wait_until(lambda: status(app).startswith("☆[1/1]USB-SERIAL CH340 (COM7)"), timeout=15)
    vp.expect_silence(0.5)
    assert not vp.is_open()


def test_port_events_that_name_no_listed_port_and_unknown_events(start_app, virtual_port):
    vp = virtual_port(7)
    app = start_app(registry={"SelectedPortFileName": "COM7"})
    app.post_command(ids.IDC_PORT_BUTTON)
    app.wait_until(vp.is_open, timeout=15)
    app.wait_until(lambda: status(app).startswith("★"), timeout=15)
    before = receive(app)

    # Events that are not arrivals or removals, and records of other device
    # types, leave everything as it is.
    for event in (0x0007, 0x8001, 0x8003, 0x8006, 0x0018):
        app.devchange_port(event, "COM7")
    app.devchange_volume(0x8001, 1 << 4)
    assert receive(app) == before
    assert vp.is_open()

    # Another port's removal reopens the chosen one; a name nobody lists
    # gives an empty entry line. Odd names are shown as they came.
    app.devchange_port("removal", "COM42")
    app.devchange_port("arrival", "")
    app.devchange_port("arrival", "%s%d%n")
    text = wait_receive(app, lambda t: t.endswith(">>>发现[%s%d%n]<<<\n\n"))
    assert text[len(before):] == ">>>[COM42]消失<<<\n\n>>>发现[]<<<\n\n>>>发现[%s%d%n]<<<\n\n"
    app.wait_until(vp.is_open, timeout=15)
    app.wait_until(lambda: status(app).startswith("★[1/1]"), timeout=15)
    vp.write(b"after events\r\n")
    wait_receive(app, lambda t: "after events" in t)


@pytest.fixture
def drive_letters(tv):
    """drive_letters(letter, folder): maps a drive letter of the prefix to a
    folder, removed again at the end of the test."""
    links = []

    def make(letter: str, folder: Path) -> None:
        link = Path(tv.prefix.path) / "dosdevices" / f"{letter.lower()}:"
        if link.is_symlink() or link.exists():
            pytest.skip(f"drive {letter}: is already in use")
        os.symlink(folder, link)
        links.append(link)

    yield make
    for link in links:
        if link.is_symlink():
            link.unlink()


def test_volumes_plugged_and_pulled(app, drive_letters, tmp_path):
    # Before any volume arrived, a removal has no label to name.
    app.devchange_volume("removal", 1 << 4)
    wait_receive(app, lambda t: t.endswith(">>>移除U盘E:[可移动闪存盘]<<< \n"))

    for letter in "EF":
        folder = tmp_path / f"stick{letter}"
        folder.mkdir()
        (folder / "data.bin").write_bytes(b"\x55" * 5000)
        drive_letters(letter, folder)

    # Wine gives these drives no label; what the arrival read is what a later
    # removal names, whichever drive goes. The lines follow the broadcasts
    # once the drives have answered, in the order of the events.
    start = len(receive(app))
    app.devchange_volume("arrival", 1 << 4)
    app.devchange_volume("arrival", (1 << 5) | (1 << 20))
    app.devchange_volume("removal", 1 << 4)
    text = wait_receive(app, lambda t: t[start:].count(">>>") == 3 and t.endswith("<<< \n"))[start:]
    blocks = text.split(">>>")[1:]
    assert [b.split("<<<")[0] for b in blocks] == ["发现U盘 E:[]", "发现U盘 F:[]", "移除U盘E:[]"]
    stat = os.statvfs(tmp_path)
    for block in blocks[:2]:
        lines = block.split("<<<\n")[1].splitlines()
        assert [line[:3] for line in lines] == ["拢共:", "用掉:", "剩余:"]
        total, used, free = (parse_size(line[3:]) for line in lines)
        # The folder's file system, whose free space others change meanwhile.
        assert total == stat.f_blocks * stat.f_frsize
        assert total == used + free and 0 < free < total

    # Media changes and network drives are not plugged devices; bits above Z
    # name no drive.
    start = len(receive(app))
    app.devchange_volume("arrival", 1 << 4, 1)
    app.devchange_volume("removal", 1 << 4, 2)
    app.devchange_volume("arrival", 1 << 4, 3)
    app.devchange_volume("arrival", 0)
    app.devchange_volume("removal", 0xFC000000)
    text = wait_receive(app, lambda t: t[start:].count(">>>") == 2 and t.endswith("<<< \n"))[start:]
    assert text == ">>>发现U盘 -:[]<<<\n拢共: 0B\n用掉: 0B\n剩余: 0B\n>>>移除U盘-:[]<<< \n"
