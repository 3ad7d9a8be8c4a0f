"""What a real Windows desktop adds to Wine's: a DLL planted beside the
program, and a screen at more than 96 DPI."""

from __future__ import annotations

import shutil

import pytest

import tvharness as tvh
from tvharness import ids

def test_a_msftedit_dll_beside_the_program_is_not_loaded(start_app, tmp_path):
    planted = tvh.BUILD_DIR / "planted" / "msftedit.dll"
    if not planted.is_file():
        pytest.fail(f"{planted} is not built", pytrace=False)
    exe = tmp_path / "TarnVik.exe"
    shutil.copy(tvh.APP_EXE, exe)
    shutil.copy(planted, tmp_path / "msftedit.dll")

    app = start_app(exe=exe)
    app.wait_text(ids.IDC_STATUS_VIEW, lambda t: "波特率" in t)
    assert not (tmp_path / "msftedit.dll.loaded").exists()


# Where the DPI is set, and where Wine's font code keeps the DPI its font
# cache was built for: both must be put back, or later programs get fonts
# of the wrong size.
DPI_VALUES = ((r"HKCU\Control Panel\Desktop", "LogPixels"), (r"HKCU\Software\Wine\Fonts", "LogPixels"))


@pytest.fixture
def screen_dpi(helper):
    """screen_dpi(dpi): the DPI programs started afterwards see."""
    old = {place: helper.reg_get(*place) for place in DPI_VALUES}

    def set_dpi(dpi: int) -> None:
        helper.reg_create_key(DPI_VALUES[0][0])
        helper.reg_set_dword(*DPI_VALUES[0], dpi)

    yield set_dpi
    for (key, name), value in old.items():
        if value is None:
            helper.reg_delete_value(key, name)
        else:
            helper.reg_set(key, name, value)


@pytest.fixture
def pointer_kept(tv):
    """Puts the pointer back where it was: with no window manager, later
    tests' keys go to the window under it."""
    where = dict(line.split("=", 1) for line in tv.input.xdotool("getmouselocation", "--shell").split())
    yield
    tv.input.move(int(where["X"]), int(where["Y"]))


def test_at_200_percent_the_splitter_limits_and_step_are_twice_as_large(screen_dpi, pointer_kept, start_app):
    screen_dpi(192)
    app = start_app()
    hex0 = app.rect(ids.IDC_HEX_PANE)
    app.click(ids.IDC_RECEIVE_VIEW)
    app.key("alt+Down")
    app.wait_until(lambda: app.rect(ids.IDC_HEX_PANE).height == hex0.height + 34, message="one step down")
    app.key(*["alt+Up"] * 12)
    app.wait_until(lambda: app.rect(ids.IDC_HEX_PANE).height == 36, message="the hex pane at its limit")
    app.key(*["alt+Down"] * 30)
    app.wait_until(lambda: app.rect(ids.IDC_TEXT_PANE).height == 72, message="the text pane at its limit")
