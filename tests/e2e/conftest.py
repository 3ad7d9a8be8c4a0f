"""Fixtures for the end-to-end tests: the program under Wine on Xvfb.

Session-wide (started on first use, so ``-k`` runs that need none of them
stay cheap): ``tv`` (the whole Session), ``display``, ``wine_env``,
``helper``.
Per test: ``start_app`` / ``app``, ``virtual_port``, ``port_device``,
``disk_device``, ``port_bridge``, ``take_screenshot``.

Every process a fixture starts is ended by its pid when the fixture ends;
a failing test leaves a screenshot in build/e2e-failures/.
"""

from __future__ import annotations

import os
import re
import shutil
import signal
import sys
from pathlib import Path
from typing import Any, Callable, Iterator, Optional

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))

import tvharness as tvh  # noqa: E402

# A test that runs longer than this is stopped (and fails) so that a hang
# cannot eat a CI run; override per test with @pytest.mark.e2e_timeout(s).
DEFAULT_TEST_TIMEOUT = 300

_session: Optional[tvh.Session] = None


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line("markers", "e2e_timeout(seconds): hard limit for one test (default 300)")


def pytest_sessionstart(session: pytest.Session) -> None:
    # Screenshots of an earlier run's failures would be mistaken for this one's.
    shutil.rmtree(tvh.FAILURE_DIR, ignore_errors=True)


def _must_have_everything() -> bool:
    # In CI a missing build output or tool is a failure, not a skip: a
    # suite that skips everything would look green.
    return bool(os.environ.get("CI") or os.environ.get("TV_E2E_REQUIRE"))


def _missing(what: str) -> None:
    if _must_have_everything():
        pytest.fail(what, pytrace=False)
    pytest.skip(what)


def _check_prerequisites() -> None:
    for tool, package in (("wine", "wine64"), ("Xvfb", "xvfb"), ("xdotool", "xdotool"), ("socat", "socat"),
                          ("import", "imagemagick")):
        if not shutil.which(tool):
            _missing(f"{tool} not found (Debian package {package})")
    if not tvh.HELPER_EXE.is_file():
        _missing(f"{tvh.HELPER_EXE} is not built: cmake --build --preset windows-x64 --target tvhelper")


@pytest.fixture(scope="session")
def tv() -> Iterator[tvh.Session]:
    """Xvfb + a fresh Wine prefix + the serving helper, for the session."""
    global _session
    _check_prerequisites()
    s = tvh.Session()
    s.start()
    _session = s
    old_display = os.environ.get("DISPLAY")
    os.environ["DISPLAY"] = s.display  # for any X tool a test runs itself
    try:
        yield s
    finally:
        _session = None
        if old_display is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = old_display
        s.stop()


@pytest.fixture(scope="session")
def display(tv: tvh.Session) -> str:
    return tv.display


@pytest.fixture(scope="session")
def wine_env(tv: tvh.Session) -> dict[str, str]:
    """Environment for running anything in the test prefix (WINEPREFIX,
    DISPLAY, LC_ALL...). Copy it before changing it."""
    return tv.env


@pytest.fixture(scope="session")
def helper(tv: tvh.Session) -> tvh.Helper:
    return tv.helper


@pytest.fixture(autouse=True)
def _helper_hygiene() -> Iterator[None]:
    yield
    # A port the helper holds would make the next test's program fail to
    # open it.
    if _session is not None and _session.helper.running:
        try:
            _session.helper.com_close()
        except (tvh.HelperError, tvh.HarnessError):
            pass


@pytest.fixture
def start_app(tv: tvh.Session, tmp_path: Path) -> Iterator[Callable[..., tvh.App]]:
    """start_app(registry=None, *, keep_registry=False, args=(), exe=None,
    cwd=None, title_prefixes=..., timeout=20) -> App

    Each call starts one instance (the test's tmp_path is its working
    directory); all still running are killed at the end of the test.
    """
    launcher = tv.launcher(cwd=tmp_path)

    def start(*args: Any, **kw: Any) -> tvh.App:
        exe = Path(kw.get("exe") or tvh.APP_EXE)
        if not exe.is_file():
            _missing(f"{exe} is not built: cmake --build --preset windows-x64")
        return launcher.start(*args, **kw)

    try:
        yield start
    finally:
        launcher.close_all()


@pytest.fixture
def app(start_app: Callable[..., tvh.App]) -> tvh.App:
    """The program, started with no stored settings."""
    return start_app()


@pytest.fixture
def virtual_port(tv: tvh.Session) -> Iterator[Callable[..., tvh.VirtualPort]]:
    """virtual_port(number=7, friendly="USB-SERIAL CH340 (COM7)",
    register=True, port_name=None) -> VirtualPort"""
    ports: list[tvh.VirtualPort] = []

    def make(number: int = 7, friendly: Optional[str] = None, register: bool = True,
             port_name: Optional[str] = None) -> tvh.VirtualPort:
        vp = tv.virtual_port(number, friendly, register, port_name)
        ports.append(vp)
        return vp

    try:
        yield make
    finally:
        for vp in reversed(ports):
            vp.close()


def _device_factory(tv: tvh.Session, add: Callable[[str], str], remove: Callable[[str], None]) -> Iterator[Any]:
    added: list[str] = []

    def make(friendly: str) -> str:
        iid = add(friendly)
        added.append(iid)
        return iid

    try:
        yield make
    finally:
        for iid in reversed(added):
            try:
                remove(iid)
            except tvh.HelperError:
                pass  # the test removed it itself


@pytest.fixture
def port_device(tv: tvh.Session) -> Iterator[Callable[[str], str]]:
    """port_device(friendly) -> instance id: a Ports-class entry with no
    port behind it, e.g. "Serial Port (COM10)" or "ECP Printer Port (LPT1)"."""
    yield from _device_factory(tv, tv.helper.port_add, tv.helper.port_remove)


@pytest.fixture
def disk_device(tv: tvh.Session) -> Iterator[Callable[[str], str]]:
    """disk_device(friendly) -> instance id: a DiskDrive-class entry."""
    yield from _device_factory(tv, tv.helper.disk_add, tv.helper.disk_remove)


@pytest.fixture
def port_bridge(tv: tvh.Session, tmp_path: Path) -> Iterator[tvh.PortBridge]:
    """The program's port bridge on the session's prefix, started, with no
    COM numbers remembered yet; ``port_bridge.adapter(...)`` makes pretend
    adapters (tvharness.PortBridge)."""
    (tv.prefix.dosdevices.parent / "tarnvik-ports.txt").unlink(missing_ok=True)
    bridge = tvh.PortBridge(tv, tmp_path / "bridge")
    try:
        yield bridge.start()
    finally:
        bridge.close()


@pytest.fixture
def take_screenshot(tv: tvh.Session, tmp_path: Path) -> Callable[[str], Path]:
    """take_screenshot(name="screen") -> path of a PNG of the whole display."""

    def take(name: str = "screen") -> Path:
        return tv.screenshot(tmp_path / f"{name}.png")

    return take


# --------------------------------------------------------------------------
# failure evidence and time limits


def _safe_name(nodeid: str) -> str:
    nodeid = re.sub(r"^.*?tests/e2e/", "", nodeid)
    return re.sub(r"[^A-Za-z0-9_.\-\[\]]+", "_", nodeid)[:180]


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item: pytest.Item, call: pytest.CallInfo) -> Iterator[None]:
    outcome = yield
    rep = outcome.get_result()
    # makereport for "call" runs before the fixtures' teardown, so the
    # program is still on the screen.
    if not rep.failed or rep.when not in ("setup", "call") or _session is None:
        return
    path = tvh.FAILURE_DIR / f"{_safe_name(item.nodeid)}.png"
    try:
        _session.screenshot(path)
        rep.sections.append(("e2e screenshot", str(path)))
    except Exception as e:  # evidence is best effort; the failure stands
        rep.sections.append(("e2e screenshot", f"not taken: {e}"))
    try:
        wins = [w for w in _session.helper.list_windows() if w.title or w.visible]
        lines = [f"{w.hwnd:>10} pid {w.pid:<5} {'visible' if w.visible else 'hidden ':7} {w.class_name!r} {w.title!r}"
                 for w in wins]
        rep.sections.append(("e2e top-level windows", "\n".join(lines) or "(none)"))
    except Exception as e:
        rep.sections.append(("e2e top-level windows", f"not listed: {e}"))


class _TestTimeout(Exception):
    pass


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_call(item: pytest.Item) -> Iterator[None]:
    marker = item.get_closest_marker("e2e_timeout")
    limit = int(marker.args[0]) if marker else DEFAULT_TEST_TIMEOUT

    def expired(signum: int, frame: Any) -> None:
        raise _TestTimeout(f"test ran longer than {limit} s")

    old = signal.signal(signal.SIGALRM, expired)
    signal.alarm(limit)
    try:
        yield
    finally:
        signal.alarm(0)
        signal.signal(signal.SIGALRM, old)
