"""The function-key reports in the receive view: help, port list, disks."""
import re
import time

from tvharness import PROJECT_VERSION, ids, parse_byte_size as parse_size

EM_GETFIRSTVISIBLELINE = 0x00CE
PORTS_HEAD = "...................串口列表................\n"
PORTS_TAIL = "...............按F1查看更多帮助.............\n"
DISKS_HEAD = "...................硬盘列表................\n"
VOLUMES_HEAD = "...................分区列表................\n"
REPORT_TAIL = "...........................................\n"
SIZES = r"\*\*拢共:(?P<total>( \d+(TB|GB|MB|kB|B))+)\n\*\*用掉:(?P<used>( \d+(TB|GB|MB|kB|B))+)\n" \
        r"\*\*剩余:(?P<free>( \d+(TB|GB|MB|kB|B))+)\n"
VOLUME_BLOCK = re.compile(
    r"◇◆(?P<path>[^\n]*)  \[卷标:(?P<label>[^\n]*)\]\n※※文件系统:(?P<fs>[^\n]+)\n"
    r"(※※磁盘类型:(?P<type>§未知§|路径未找到!|■可移动硬盘■|□本地硬盘□|○网盘○|△光驱△|内存盘)"
    r"|CreateFileW File,Error Code=-?\d+)\n" + SIZES)


def receive(app) -> str:
    return app.text(ids.IDC_RECEIVE_VIEW).replace("\r\n", "\n").replace("\r", "\n")


def focus_receive_view(app) -> None:
    app.click(ids.IDC_RECEIVE_VIEW)
    app.wait_until(lambda: app.focused_id() == ids.IDC_RECEIVE_VIEW, timeout=10)


def test_port_list_help_and_unused_key(start_app, virtual_port, port_device):
    port_device("Serial Port (COM10)")
    port_device("ECP Printer Port (LPT1)")
    virtual_port(7)
    app = start_app()
    # The list is shown once at start.
    listing = (PORTS_HEAD + "1.Serial Port (COM10) \n2.USB-SERIAL CH340 (COM7) \n" + PORTS_TAIL)
    app.wait_until(lambda: receive(app) == listing, timeout=10)

    focus_receive_view(app)
    app.key("F4")
    app.wait_until(lambda: receive(app) == listing * 2, timeout=10)
    app.key("F6")
    time.sleep(0.5)
    assert receive(app) == listing * 2

    # Help replaces everything and is shown from its first line.
    app.set_sel(ids.IDC_RECEIVE_VIEW, -1, -1)
    app.key("F1")
    head = f"\tTarn#Vik v{PROJECT_VERSION} 帮助说明\n"
    help_text = app.wait_until(lambda: (lambda t: t if t.startswith(head) else None)(
        receive(app)), timeout=10)
    assert PORTS_HEAD not in help_text and "COM7" not in help_text
    assert "F5...列出硬盘信息\n" in help_text and help_text.endswith("设备侦测与硬盘信息\n")
    assert app.get_sel(ids.IDC_RECEIVE_VIEW) == (0, 0)
    view = app.h.control_hwnd(app.hwnd, ids.IDC_RECEIVE_VIEW)
    assert app.h.send_message(view, EM_GETFIRSTVISIBLELINE) == 0


def test_no_ports_listed(app):
    app.wait_until(lambda: receive(app) == PORTS_HEAD + "未发现串口!\n" + PORTS_TAIL, timeout=10)


def test_disk_report(app, disk_device):
    disk_device("TV Test Disk 0815")
    focus_receive_view(app)
    start = len(receive(app))

    # The report comes on the key's release.
    app.input.xdotool("keydown", "F5")
    time.sleep(0.5)
    assert len(receive(app)) == start
    app.input.xdotool("keyup", "F5")
    text = app.wait_until(lambda: (lambda t: t if t.endswith(REPORT_TAIL) else None)(receive(app)[start:]),
                          timeout=20)

    assert text.startswith(DISKS_HEAD)
    disks, _, volumes = text[len(DISKS_HEAD):].partition(VOLUMES_HEAD)
    disk_lines = disks.splitlines()
    assert "Disk drives:TV Test Disk 0815" in disk_lines
    assert all(re.fullmatch(r"[^:\n]+:.+", line) for line in disk_lines), disk_lines

    # One block per volume, a blank line between blocks and none after the last.
    body = volumes[:-len(REPORT_TAIL)]
    assert body.endswith("\n") and not body.endswith("\n\n")
    blocks = body[:-1].split("\n\n")
    parsed = []
    for block in blocks:
        m = VOLUME_BLOCK.fullmatch(block + "\n")
        assert m, block
        parsed.append(m)
        total, used, free = (parse_size(m[k]) for k in ("total", "used", "free"))
        assert total == used + free
    drive_c = [m for m in parsed if m["path"] == "C:\\"]
    assert len(drive_c) == 1
    assert drive_c[0]["fs"] == "NTFS" and drive_c[0]["type"] == "□本地硬盘□"
    assert parse_size(drive_c[0]["total"]) > 0
