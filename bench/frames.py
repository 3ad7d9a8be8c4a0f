#!/usr/bin/python3
"""How exactly the program splits frames at an idle gap on a pty.

Runs the program under Wine (the end-to-end harness) with a frame gap
chosen and the hex view, and has the device send pairs of bytes separated
by intervals around the gap: for each interval it prints how many of the
pairs came out as two frames (two lines) and the interval the device
actually kept. A pair follows the one before it after a long pause, so
each starts a frame of its own.

The program measures a gap between the reads that return data; it polls
the port about once a millisecond, so on a pty the split should move from
never to always within a couple of milliseconds of the gap.

    /usr/bin/python3 bench/frames.py [--gap 20] [--pairs 20] [--offsets -6,-3,-2,-1,0,1,2,3,6]

Needs build/windows-x64/TarnVik.exe and tvhelper.exe. A figure, not a test.
"""

from __future__ import annotations

import argparse
import os
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))

import tvharness as tvh  # noqa: E402
from tvharness import ids  # noqa: E402

GAP_ITEMS = {20: 4021, 50: 4022, 100: 4023, 200: 4024, 500: 4025}


def wait_until(deadline: float) -> None:
    """Sleeps to within a millisecond of deadline, then spins: a plain sleep
    overshoots by more than the resolution being measured."""
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            return
        if left > 0.002:
            time.sleep(left - 0.0015)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--gap", type=int, default=20, choices=sorted(GAP_ITEMS))
    ap.add_argument("--pairs", type=int, default=20, help="pairs per interval (default 20)")
    ap.add_argument("--offsets", default="-6,-3,-2,-1,0,1,2,3,6",
                    help="intervals as milliseconds from the gap (default -6,-3,-2,-1,0,1,2,3,6)")
    args = ap.parse_args()
    offsets = [int(x) for x in args.offsets.split(",")]
    pause = max(0.2, 3 * args.gap / 1000)
    with tvh.Session() as s:
        vp = s.virtual_port(7)
        launcher = s.launcher()
        try:
            app = launcher.start(registry={"SelectedPortFileName": "COM7", "Selected_FrameGap": GAP_ITEMS[args.gap]})
            app.post_command(ids.IDC_PORT_BUTTON)
            app.wait_until(vp.is_open, timeout=10)
            app.post_command(ids.IDC_RECEIVE_MODE)
            app.wait_text(ids.IDC_RECEIVE_MODE, "数")
            print(f"frame gap {args.gap} ms, {args.pairs} pairs per interval, a pty under Wine", flush=True)
            for offset in offsets:
                interval = (args.gap + offset) / 1000
                app.post_command(ids.IDC_CLEAR_RECEIVE)
                app.wait_until(lambda: app.text(ids.IDC_RECEIVE_VIEW) == "", timeout=10)
                kept = []
                for _ in range(args.pairs):
                    time.sleep(pause)
                    t = time.monotonic()
                    os.write(vp.fd, b"\xaa")
                    wait_until(t + interval)
                    kept.append(time.monotonic() - t)
                    os.write(vp.fd, b"\xbb")
                time.sleep(pause)
                shown = app.wait_text(ids.IDC_RECEIVE_VIEW,
                                      lambda t: t.count("AA") == args.pairs and t.count("BB") == args.pairs)
                split = shown.count("AA \r\nBB")
                whole = shown.count("AA BB")
                print(f"  interval {args.gap + offset:4d} ms (kept {statistics.median(kept) * 1000:.2f} ms): "
                      f"{split} of {args.pairs} split" + ("" if split + whole == args.pairs else " (unreadable)"),
                      flush=True)
        finally:
            launcher.close_all()
            vp.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
