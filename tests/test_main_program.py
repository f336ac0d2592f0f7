"""The program started without any display says so in one line and how to run
it under a virtual display, instead of aborting inside the toolkit."""
import os
import subprocess
import sys

build = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))
program = os.path.join(build, "vossek-drive-desk")

env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
result = subprocess.run([program], env=env, capture_output=True, text=True, timeout=60)
lines = (result.stdout + result.stderr).strip().splitlines()
failures = []
if result.returncode != 1:
    failures.append(f"exit code {result.returncode}, expected 1")
if len(lines) != 1:
    failures.append(f"expected one line, got {lines!r}")
elif "xvfb-run -a bash scripts/run.sh" not in lines[0]:
    failures.append(f"no hint how to run: {lines[0]!r}")
if failures:
    print("\n".join(failures))
    sys.exit(1)
print("ok")
