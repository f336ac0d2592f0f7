"""The program sent SIGTERM or SIGHUP (a logout, a shutdown, kill PID) ends
as File > Exit ends it, without a question: it exits normally and the line
settings and the window's place are saved."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from port_lock import port_is_held

build = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))

failures = []
for sent in (signal.SIGTERM, signal.SIGHUP):
    with tempfile.TemporaryDirectory() as folder:
        program = os.path.join(folder, "vossek-drive-desk")
        shutil.copy2(os.path.join(build, "vossek-drive-desk"), program)
        data = os.path.join(folder, "database1")
        os.makedirs(os.path.join(data, "ports"))
        master, slave = os.openpty()
        device = os.ttyname(slave)
        os.symlink(device, os.path.join(data, "ports", "COM2"))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        process = subprocess.Popen([program], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline and process.poll() is None and not port_is_held(device):
                time.sleep(0.2)
            if not port_is_held(device):
                failures.append(f"{sent.name}: the program never opened its port")
            table = os.path.join(data, "com_pro.dbf")
            started = os.stat(table).st_mtime_ns
            time.sleep(0.05)  # a rewrite gets a later time stamp
            process.send_signal(sent)
            output, _ = process.communicate(timeout=30)
            if process.returncode != 0:
                failures.append(f"{sent.name}: exit code {process.returncode}: {output.decode(errors='replace')}")
            if os.stat(table).st_mtime_ns == started:
                failures.append(f"{sent.name}: com_pro.dbf was not saved")
            preferences = os.path.join(data, "preferences.ini")
            if not os.path.exists(preferences) or "Geometry" not in open(preferences).read():
                failures.append(f"{sent.name}: the window's place was not saved")
        finally:
            if process.poll() is None:
                process.kill()
                process.communicate()
            os.close(master)
            os.close(slave)

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("ok")
