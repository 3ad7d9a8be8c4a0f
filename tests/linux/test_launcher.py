"""The tarnvik command with Wine played by small scripts: what it says
without a display, the start lines it writes, how many runs its log keeps,
and that its bridge goes when its program does. The real thing, Wine and
all, is tested end to end (tests/e2e/test_linux_bridge.py)."""
import os
import signal
import socket
import subprocess
import time
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
LINUX = REPO / "src" / "linux"

# wine and wineboot as the launcher and the bridge use them. The bridge's
# Windows half answers every request; the program ends at once.
FAKE_WINE = r"""#!/bin/sh
case "$1" in
  --version) echo wine-9.9-fake ;;
  *TarnVikBridge.exe) echo ready; while read -r line; do echo ok; done ;;
  *TarnVik.exe) echo "the program ran in $WINEPREFIX with LC_ALL=$LC_ALL" ;;
esac
"""
FAKE_WINEBOOT = r"""#!/bin/sh
mkdir -p "$WINEPREFIX/dosdevices"
if [ "$1" = -i ]; then
  echo "wine: created the configuration directory '$WINEPREFIX'"
  printf '%s\n' 'wine: failed to open L"C:\\windows\\syswow64\\rundll32.exe": c0000135'
fi
touch "$WINEPREFIX/system.reg"
"""


@pytest.fixture
def installed(tmp_path):
    """The launcher as installed under a prefix, with Wine's commands faked."""
    usr, fake = tmp_path / "usr", tmp_path / "fake-bin"
    lib = usr / "lib" / "tarnvik"
    for folder in (usr / "bin", lib, fake):
        folder.mkdir(parents=True)
    launcher = usr / "bin" / "tarnvik"
    launcher.write_text((LINUX / "tarnvik").read_text().replace("@VERSION@", "9.8"))
    launcher.chmod(0o755)
    for name in ("tarnvik_bridge.py", "tarnvik_desktop.py"):
        (lib / name).write_text((LINUX / name).read_text())
    for name in ("TarnVik.exe", "TarnVikBridge.exe"):
        (lib / name).write_bytes(b"MZ")
    for name, text in (("wine", FAKE_WINE), ("wineboot", FAKE_WINEBOOT)):
        (fake / name).write_text(text)
        (fake / name).chmod(0o755)
    return launcher, fake


@pytest.fixture
def display():
    """A display that answers: something listening where X would."""
    with socket.socket() as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        yield f"127.0.0.1:{listener.getsockname()[1] - 6000}"


def run(launcher: Path, fake: Path, home: Path, display=None, timeout=60):
    env = {"PATH": f"{fake}:/usr/bin:/bin", "HOME": str(home), "LANG": "C.UTF-8"}
    if display:
        env["DISPLAY"] = display
    proc = subprocess.Popen([str(launcher), "--by-id", str(home / "by-id"), "--dev-dir", str(home / "dev")],
                            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    try:
        out, err = proc.communicate(timeout=timeout)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    return proc.returncode, out + err


def bridge_gone(data: Path, timeout=15.0) -> bool:
    """Waits for the run's bridge to end (it watches for its launcher's
    end); one that does not is killed and reported."""
    lock = data / "prefix" / "tarnvik-bridge.lock"
    try:
        pid = int(lock.read_text())
    except (OSError, ValueError):
        return True
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return True
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)
    return False


def test_without_a_display_it_says_so_and_ends_before_touching_anything(installed, tmp_path):
    launcher, fake = installed
    home = tmp_path / "home"
    code, said = run(launcher, fake, home)
    assert code == 1
    assert said.startswith("tarnvik: no display: DISPLAY is not set.") and "ssh -X" in said
    assert not (home / ".local").exists()


def test_each_run_starts_its_log_with_a_start_line_and_the_last_five_are_kept(installed, tmp_path, display):
    launcher, fake = installed
    home = tmp_path / "home"
    (home / "by-id").mkdir(parents=True)
    (home / "dev").mkdir()
    data = home / ".local" / "share" / "tarnvik"
    for run_number in range(1, 7):
        code, said = run(launcher, fake, home, display)
        assert code == 0, said
        assert bridge_gone(data), f"run {run_number}'s bridge outlived its program"
        log = (data / "wine.log").read_text()
        first, *rest = log.splitlines()
        assert first.endswith(f"tarnvik 9.8 starting: prefix {data}/prefix, wine-9.9-fake, display {display}")
        assert "tarnvik: port bridge started" in log
        assert f"the program ran in {data}/prefix with LC_ALL=zh_CN.UTF-8" in log
        # Making the prefix prints one line that looks like an error; the
        # log says at once that it is not.
        assert ("syswow64\\rundll32.exe is harmless" in log) == (run_number == 1)
        (data / "wine.log").write_text(log + f"run {run_number}\n")
    assert sorted(p.name for p in data.glob("wine.log*")) == ["wine.log"] + [f"wine.log.{n}" for n in range(1, 5)]
    for n in range(1, 5):
        assert (data / f"wine.log.{n}").read_text().endswith(f"run {6 - n}\n")
