"""The windows' titles as the desktop shows them: each window's own caption,
with nothing appended. Runs the dialogs-and-grids test program's caption case
on a virtual X display (xvfb-run), where the titles go to the window system."""
import os
import shutil
import subprocess
import sys

build = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))
xvfb_run = shutil.which("xvfb-run")
if xvfb_run is None or shutil.which("xprop") is None:
    print("xvfb-run and xprop are needed: scripts/setup.sh installs them")
    sys.exit(1)

env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
env["QT_QPA_PLATFORM"] = "xcb"
program = os.path.join(build, "tests", "test_dialogs_and_grids")
if not os.path.exists(program):
    program = os.path.join(build, "test_dialogs_and_grids")
result = subprocess.run([xvfb_run, "-a", program, "windowCaptionsOnDisplay"], env=env, capture_output=True,
                        text=True, timeout=300, start_new_session=True)
out = result.stdout + result.stderr
if result.returncode != 0 or "PASS   : TestDialogsAndGrids::windowCaptionsOnDisplay()" not in out:
    print(out)
    sys.exit(1)
print("ok")
