"""The program on a display without a window manager (a virtual display, a
kiosk session): its window is shown but never made active, and it must still
do its first-activation work, so it configures and opens the port that the
settings name. The port here is a pseudo-terminal linked as "COM2"; the
program holds a lock on the device while it has the port open."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from port_lock import port_is_held

build = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))
xvfb_run = shutil.which("xvfb-run")
if xvfb_run is None:
    print("xvfb-run is missing: scripts/setup.sh installs it")
    sys.exit(1)

failures = []
with tempfile.TemporaryDirectory() as folder:
    # The program's folder decides where its data folder is: use a copy.
    program = os.path.join(folder, "vossek-drive-desk")
    shutil.copy2(os.path.join(build, "vossek-drive-desk"), program)
    os.makedirs(os.path.join(folder, "database1", "ports"))
    master, slave = os.openpty()
    device = os.ttyname(slave)
    os.symlink(device, os.path.join(folder, "database1", "ports", "COM2"))

    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    process = subprocess.Popen([xvfb_run, "-a", program], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True)
    try:
        held = False
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and process.poll() is None and not held:
            held = port_is_held(device)
            time.sleep(0.2)
        if not held:
            failures.append("the program never opened the port named by its settings")
        for table in ("com_pro.dbf", "dspara.dbf", "usercmd.dbf", "RM40.DBF"):
            if not os.path.exists(os.path.join(folder, "database1", table)):
                failures.append(f"{table} was not created")
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGTERM)
        try:
            output, _ = process.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            output, _ = process.communicate()
        os.close(master)
        os.close(slave)
    if failures:
        print(output.decode(errors="replace"))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("ok")
