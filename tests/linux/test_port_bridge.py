"""The port bridge's Linux half without Wine: adapter names, the
remembered COM numbers, and what it does as devices come and go (udev's
timing included) with its Windows half played by a recorder."""
import importlib.util
import os
import sys
import time
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "src" / "linux" / "tarnvik_bridge.py"
_spec = importlib.util.spec_from_file_location("tarnvik_bridge", SCRIPT)
bridge = sys.modules["tarnvik_bridge"] = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(bridge)


def fake_sysfs(root: Path) -> Path:
    """Adapters as the kernel shows them: ttyUSB below its USB interface,
    ttyACM the interface itself, and one whose device has no product."""
    usb = root / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1"
    ftdi, arduino, plain = usb / "1-1", usb / "1-2", usb / "1-3"
    ttys = {"ttyUSB0": ftdi / "1-1:1.0" / "ttyUSB0", "ttyACM0": arduino / "1-2:1.0",
            "ttyUSB1": plain / "1-3:1.0" / "ttyUSB1"}
    for device in ttys.values():
        device.mkdir(parents=True)
    for device in (usb, ftdi, arduino, plain):
        (device / "idVendor").write_text("0403\n")
    (usb / "product").write_text("xHCI Host Controller\n")
    (ftdi / "product").write_text("FT232R USB UART\n")
    (arduino / "product").write_text("  Arduino\tUno \n")
    for name, device in ttys.items():
        (root / "class" / "tty" / name).mkdir(parents=True)
        os.symlink(device, root / "class" / "tty" / name / "device")
    return root


def test_names_come_from_the_device_then_its_by_id_entry_then_its_kind(tmp_path):
    sysfs = str(fake_sysfs(tmp_path / "sys"))
    named = bridge.Adapter("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "x", "/dev/ttyUSB0")
    assert bridge.product_name(named, sysfs) == "FT232R USB UART"
    assert bridge.product_name(bridge.Adapter("ttyACM0", "x", "/dev/ttyACM0"), sysfs) == "Arduino Uno"
    # The hub above a device without a product string is not its name.
    assert bridge.product_name(bridge.Adapter("ttyUSB1", "x", "/dev/ttyUSB1"), sysfs) == "USB Serial Port"
    assert bridge.product_name(bridge.Adapter("ttyACM3", "x", "/dev/ttyACM3"), sysfs) == "USB Serial Device"
    assert bridge.product_name(bridge.Adapter("ttyUSB7", "x", "/dev/ttyUSB7"), sysfs) == "USB Serial Port"
    # No device behind it in sysfs (a pty, a vanished adapter): the by-id name.
    assert bridge.product_name(bridge.Adapter(named.key, "x", "/dev/pts/4"), sysfs) == "FTDI FT232R USB UART"

    by_id = {
        "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0": "FTDI FT232R USB UART",
        "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0":
            "Silicon Labs CP2102 USB to UART Bridge Controller",
        "usb-1a86_USB2.0-Serial-if00-port0": "1a86 USB2.0-Serial",
        "usb-Arduino__www.arduino.cc__0043_75833353035351D0C1A1-if00": "Arduino www.arduino.cc 0043",
        "usb-STMicroelectronics_STM32_Virtual_ComPort_6D8A36A85056-if00": "STMicroelectronics STM32 Virtual ComPort",
        "pci-Intel_Serial_Port_XYZ": "Intel Serial Port XYZ",
    }
    for name, product in by_id.items():
        assert bridge.name_from_by_id(name) == product, name
    assert bridge.clean_name("a\x00b\x1bc\n" + "x" * 200) == ("a b c " + "x" * 200)[:100]


def test_numbers_are_remembered_from_com3_on_and_a_damaged_file_is_read_as_far_as_it_goes(tmp_path):
    state = tmp_path / "tarnvik-ports.txt"
    state.write_text("COM5\tusb-A\ngarbage\nCOM3\tusb-B\nCOM5\tusb-C\nCOM2\tusb-D\nCOM999\tusb-E\n"
                     "COM03\tusb-F\nCOM4\t\nCOM6\tusb-A\n")
    numbers = bridge.ComNumbers(state)
    assert numbers.by_key == {"usb-A": 5, "usb-B": 3}
    assert numbers.number_for("usb-A", lambda n: True) == 5
    # New ones: the lowest number neither remembered nor someone else's.
    assert numbers.number_for("usb-C", lambda n: n == 4) == 6
    assert numbers.number_for("usb-D", lambda n: False) == 4
    again = bridge.ComNumbers(state)
    assert again.by_key == {"usb-A": 5, "usb-B": 3, "usb-C": 6, "usb-D": 4}
    assert again.number_for("usb-G", lambda n: n < 256) == 256
    assert again.number_for("usb-H", lambda n: False) == 7
    full = bridge.ComNumbers(tmp_path / "none.txt")
    assert full.number_for("usb-A", lambda n: True) is None


class Recorder:
    """Plays the Windows half: keeps the requests, answers ok."""

    def __init__(self):
        self.requests = []

    def start(self):
        pass

    def request(self, *fields):
        self.requests.append(fields)
        return ""

    def close(self):
        pass


def test_udev_timing_replugs_and_links_someone_replaced(tmp_path, monkeypatch):
    prefix, by_id, dev = tmp_path / "prefix", tmp_path / "by-id", tmp_path / "dev"
    for folder in (prefix / "dosdevices", by_id, dev):
        folder.mkdir(parents=True)
    for name in ("node0", "node1", "node2"):
        (tmp_path / name).touch()
    b = bridge.Bridge(str(prefix), "unused.exe", str(by_id), str(dev), sysfs=str(tmp_path / "no-sysfs"))
    b.windows = Recorder()
    said = b.windows.requests
    monkeypatch.setattr(bridge, "SETTLE_SECONDS", 0.3)
    com3 = prefix / "dosdevices" / "com3"

    # The device comes before udev's by-id entry for it: one port, by its
    # by-id name, not a second one for the bare device.
    (dev / "ttyUSB0").symlink_to(tmp_path / "node0")
    b.start()
    assert said == [("add", "COM3", "USB Serial Port")]
    (dev / "ttyUSB1").symlink_to(tmp_path / "node1")
    b.poll()
    assert len(said) == 1
    (by_id / "usb-FTDI_X_1-if00-port0").symlink_to(tmp_path / "node1")
    b.poll()
    assert said[1:] == [("add", "COM4", "FTDI X")]
    assert os.readlink(com3) == str(dev / "ttyUSB0")

    # No entry comes (no udev): the bare device after a while.
    (dev / "ttyACM0").symlink_to(tmp_path / "node2")
    b.poll()
    assert len(said) == 2
    time.sleep(0.35)
    b.poll()
    assert said[2:] == [("add", "COM5", "USB Serial Device")]

    # Replugged between two looks (its entry now leads to another device):
    # pulled and plugged, same number. A link put elsewhere is put back.
    os.replace(tmp_path / "node1", tmp_path / "node9")
    (by_id / "usb-FTDI_X_1-if00-port0").unlink()
    (by_id / "usb-FTDI_X_1-if00-port0").symlink_to(tmp_path / "node9")
    com3.unlink()
    com3.symlink_to("/dev/ttyS2")
    b.poll()
    assert said[3:] == [("remove", "COM4"), ("add", "COM4", "FTDI X")]
    assert os.readlink(com3) == str(dev / "ttyUSB0")

    # Gone: the device first (the entry dangles), then the entry.
    (tmp_path / "node0").unlink()
    b.poll()
    assert said[5:] == [("remove", "COM3")] and not com3.is_symlink()
    b.stop()
    assert sorted(said[6:]) == [("remove", "COM4"), ("remove", "COM5")]
    assert list((prefix / "dosdevices").iterdir()) == []
