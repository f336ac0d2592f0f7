"""The installation: `cmake --install` lays out the programs, the desktop
entry, the icons, the metainfo, the user guide and the table templates; the
desktop's own validators accept the entry and the metainfo; the installed
program, whose folder it cannot keep data in, makes the user's data folder
under $XDG_DATA_HOME from the templates and leaves them as they were; the
.deb holds the same files and depends on the packages the programs need."""
import hashlib
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

import dbf
import dbfread

build = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))
TABLES = ("RM40.DBF", "com_pro.dbf", "dspara.dbf", "usercmd.dbf")
LAYOUT = [
    "bin/vossek-drive-desk",
    "bin/vossek-drive-sim",
    "bin/vossek-drive-cli",
    "share/man/man1/vossek-drive-cli.1",
    "lib/systemd/system/vossek-drive-monitor@.service",
    "share/applications/com.vossek.DriveDesk.desktop",
    "share/metainfo/com.vossek.DriveDesk.metainfo.xml",
    "share/icons/hicolor/scalable/apps/vossek-drive-desk.svg",
    "share/icons/hicolor/48x48/apps/vossek-drive-desk.png",
    "share/icons/hicolor/128x128/apps/vossek-drive-desk.png",
    "share/vossek-drive-desk/doc/user-guide.html",
] + [f"share/vossek-drive-desk/database1/{table}" for table in TABLES]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(*command):
    result = subprocess.run(command, capture_output=True, text=True, timeout=300)
    check(result.returncode == 0, f"{' '.join(command)} failed:\n{result.stdout}{result.stderr}")
    return result.stdout


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest(), stat.S_IMODE(os.stat(path).st_mode)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


with tempfile.TemporaryDirectory() as scratch:
    prefix = os.path.join(scratch, "prefix")
    run("cmake", "--install", build, "--prefix", prefix)
    for path in LAYOUT:
        check(os.path.isfile(os.path.join(prefix, path)), f"not installed: {path}")
    for size in (48, 128):
        icon = os.path.join(prefix, f"share/icons/hicolor/{size}x{size}/apps/vossek-drive-desk.png")
        if os.path.isfile(icon):
            check(png_size(icon) == (size, size), f"{icon} is {png_size(icon)}")
    templates = os.path.join(prefix, "share/vossek-drive-desk/database1")
    for table in TABLES:
        path = os.path.join(templates, table)
        if os.path.isfile(path):
            check(stat.S_IMODE(os.stat(path).st_mode) & 0o222 == 0, f"template {table} is writable")
    if failures:
        print("\n".join(failures))
        sys.exit(1)

    run("desktop-file-validate", os.path.join(prefix, "share/applications/com.vossek.DriveDesk.desktop"))
    run("appstreamcli", "validate", "--no-net", os.path.join(prefix, "share/metainfo/com.vossek.DriveDesk.metainfo.xml"))

    # An administrator's change to a template reaches the user's new tables:
    # here the drive address of dspara.dbf.
    dspara = os.path.join(templates, "dspara.dbf")
    os.chmod(dspara, 0o644)
    table = dbf.Table(dspara)
    table.open(dbf.READ_WRITE)
    with table[0] as record:
        record.slave_adr = "7"
    table.close()
    os.chmod(dspara, 0o444)
    before = {table: digest(os.path.join(templates, table)) for table in TABLES}

    bin_folder = os.path.join(prefix, "bin")
    os.chmod(bin_folder, 0o555)
    xdg = os.path.join(scratch, "xdg")
    data = os.path.join(xdg, "vossek-drive-desk", "database1")
    env = dict(os.environ, XDG_DATA_HOME=xdg, HOME=os.path.join(scratch, "home"), QT_QPA_PLATFORM="offscreen")
    program = subprocess.Popen([os.path.join(bin_folder, "vossek-drive-desk")], env=env, cwd=scratch,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        deadline = time.monotonic() + 60
        made = lambda: all(os.path.isfile(os.path.join(data, t)) for t in TABLES)
        while time.monotonic() < deadline and program.poll() is None and not made():
            time.sleep(0.2)
        time.sleep(0.5)  # the first activation reads them
        check(made(), f"the tables were not made in {data}")
        check(program.poll() is None, "the installed program ended by itself")
    finally:
        if program.poll() is None:
            os.killpg(program.pid, signal.SIGTERM)
        output = program.communicate(timeout=30)[0].decode(errors="replace")
    os.chmod(bin_folder, 0o755)
    check(not os.path.exists(os.path.join(bin_folder, "database1")), "a data folder was made beside the program")
    check(before == {t: digest(os.path.join(templates, t)) for t in TABLES}, "the templates changed")
    if made():
        check(list(dbfread.DBF(os.path.join(data, "dspara.dbf")))[0]["SLAVE_ADR"] == "7",
              "the user's dspara.dbf was not made from the template")
        check(len(list(dbfread.DBF(os.path.join(data, "RM40.DBF")))) > 20, "the user's RM40.DBF is not the delivered one")
        for t in TABLES:
            check(os.access(os.path.join(data, t), os.W_OK) and os.stat(os.path.join(data, t)).st_mode & stat.S_IWUSR,
                  f"the user's {t} is not writable")
    if failures:
        print(output)

    packages = os.path.join(scratch, "packages")
    run("cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", packages)
    debs = [f for f in os.listdir(packages) if f.endswith(".deb")]
    check(len(debs) == 1, f"expected one .deb, found {debs}")
    if debs:
        deb = os.path.join(packages, debs[0])
        listed = run("dpkg-deb", "-c", deb)
        for path in LAYOUT:
            check(f"./usr/{path}" in listed, f"the .deb lacks /usr/{path}")
        depends = run("dpkg-deb", "--field", deb, "Depends")
        for package in ("libqt6widgets6", "libquazip1-qt6-1", "libfreexl1", "libshp2", "libxlsxwriter4"):
            check(package in depends, f"the .deb does not depend on {package}: {depends}")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("ok")
