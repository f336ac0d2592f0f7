"""vossek-drive-cli against the drive simulator on a pseudo-terminal and
against an independent Modbus slave (Debian's pymodbus behind a socat pty
pair): the status block, parameters written and read, backup and verified
restore onto a second drive, a command list run, and every exit status.
Bad input must be refused before anything reaches the line."""

import json
import logging
import os
import re
import select
import shutil
import socket
import stat
import subprocess
import tempfile
import termios
import threading
import time
import tty
import unittest

import dbf
import dbfread
import openpyxl

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)

BUILD_DIR = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))
SIM = os.path.join(BUILD_DIR, "vossek-drive-sim")
TEMPLATES = os.path.join(BUILD_DIR, "templates", "database1")
# an .xls file on which the reader library reads past its own buffer
DAMAGED_XLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus",
                           "fuzz_workbook_import", "xls_reader_stack_overrun.xls")
DELIVERED_TABLE = os.path.join(TEMPLATES, "RM40.DBF")

# A copy of the program in a folder of its own, so that no settings stored
# beside the built one change its defaults.
PROGRAM_FOLDER = tempfile.mkdtemp(prefix="vdd-cli-program-")
CLI = os.path.join(PROGRAM_FOLDER, "vossek-drive-cli")


def setUpModule():
    shutil.copy(os.path.join(BUILD_DIR, "vossek-drive-cli"), CLI)


def tearDownModule():
    shutil.rmtree(PROGRAM_FOLDER, True)


class Simulator:
    """The simulator with its log (every request it saw, every reply it sent)
    in a file."""

    def __init__(self, folder, name, *args):
        self.log_path = os.path.join(folder, name + ".log")
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([SIM, *args], stdout=subprocess.PIPE, stderr=self.log, text=True)
        self.path = self.proc.stdout.readline().strip()

    def requests_seen(self):
        with open(self.log_path) as log:
            return [line for line in log if line.startswith("RX ")]

    def replies_sent(self):
        with open(self.log_path) as log:
            return [line[3:].strip() for line in log if line.startswith("TX ")]

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.proc.stdout.close()
        self.log.close()


class CliTestCase(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vdd-cli-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.table = os.path.join(self.folder, "RM40.DBF")
        shutil.copy(DELIVERED_TABLE, self.table)

    def simulator(self, name, *args):
        sim = Simulator(self.folder, name, *args)
        self.addCleanup(sim.close)
        self.assertTrue(sim.path.startswith("/dev/"), sim.path)
        return sim

    def cli(self, port, *args, mode="rtu", status=0, program=CLI, env=None):
        """Runs the program on `port`; checks its exit status, returns stdout
        and stderr."""
        result = subprocess.run([program, *args, "--port", port, "--mode", mode, "--baud", "9600",
                                 "--parity", "N", "--stop-bits", "1", "--timeout", "1000",
                                 "--table", self.table], capture_output=True, text=True, timeout=120,
                                cwd=self.folder, env=None if env is None else {**os.environ, **env})
        self.assertEqual(result.returncode, status, result.stderr)
        return result.stdout, result.stderr


class CommandLineProgram(CliTestCase):
    def test_simulated_drives(self):
        sim = self.simulator("sim1", "--drives", "1-2")
        # A short ramp, then the drive runs up to F113 (50.00 Hz).
        self.cli(sim.path, "write", "F114=0.1", "--address", "2")
        self.cli(sim.path, "control", "fwd", "--address", "2")
        time.sleep(0.5)
        out, _ = self.cli(sim.path, "status", "2", "--format", "json", mode="ascii")
        status = json.loads(out)
        self.assertEqual((status["address"], status["frequency"], status["state"]), ("2", "50.00", "Forward Start"))
        self.assertEqual((status["speed"], status["dc_voltage"]), ("1500", "537"))
        # A scan over both drives: one record per reply; drive 1 stands still.
        out, _ = self.cli(sim.path, "scan", "1-2", "--count", "2", "--format", "csv")
        lines = out.splitlines()
        self.assertEqual(lines[0].split(",")[:2], ["address", "frequency (Hz)"])
        self.assertEqual([line.split(",")[:2] for line in lines[1:]],
                         [["1", "0.00"], ["2", "50.00"], ["1", "0.00"], ["2", "50.00"]])
        out, _ = self.cli(sim.path, "control", "stop", "--broadcast")
        self.assertIn("broadcast", out)

        # Exit status 1: a drive that does not answer, and one that refuses.
        _, err = self.cli(sim.path, "status", "9", status=1)
        self.assertIn("address 9: No response!", err)
        # Exit status 3: no such port.
        _, err = self.cli(os.path.join(self.folder, "no-such-port"), "status", status=3)
        self.assertIn("cannot open port", err)

        # A command list of two rows, run as the window's runner runs it.
        book = openpyxl.Workbook()
        sheet = book.active
        sheet.append(["Select", "Function", "Data", "Command", "Reply", "Note"])
        sheet.append(["Yes", "", "", "0103010D0001", "", "read F113"])
        sheet.append(["Yes", "", "", "0106010D1194", "", "write F113=45"])
        sheet.append(["No", "", "", "0106010D0001", "", "not selected"])
        workbook = os.path.join(self.folder, "list.xlsx")
        book.save(workbook)
        replies_before = len(sim.replies_sent())
        out, err = self.cli(sim.path, "run", workbook, "--interval", "0", "--verbose", "--format", "json",
                            mode="ascii")
        steps = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([(s["row"], s["request"], s["result"]) for s in steps],
                         [("1", "0103010D0001", "accepted"), ("2", "0106010D1194", "accepted")])
        # The replies are those the drive sent, as the Reply column shows them.
        sent = sim.replies_sent()[replies_before:]
        self.assertEqual(len(sent), 2)
        self.assertEqual(int(sent[0][7:11], 16), 5000)
        self.assertEqual(int(sent[1][9:13], 16), 0x1194)
        self.assertEqual([s["reply"] for s in steps], ["50.00", "45.00"])
        self.assertEqual(re.findall(r"R >\s+(\S+)/x0D/x0A", err), [frame.replace("\\r\\n", "") for frame in sent])

        # The same drive's parameters by the Function column of a usercmd.dbf.
        listed = os.path.join(self.folder, "usercmd.dbf")
        shutil.copy(os.path.join(TEMPLATES, "usercmd.dbf"), listed)
        table = dbf.Table(listed)
        table.open(dbf.READ_WRITE)
        for number, (code, note) in enumerate([("F113", "target"), ("F114", "ramp")]):
            with table[number] as record:
                record.validnum, record.yesorno, record.func, record.note = number + 1, "Yes", code, note
                if number == 0:
                    record.countnum = 2
        table.close()
        out, _ = self.cli(sim.path, "run", listed, "--function", "read", "--interval", "0", "--address", "2",
                          "--format", "csv")
        self.assertEqual(out.splitlines()[1:], ["1,0203010D0001,50.00,accepted", "2,0203010E0001,0.1,accepted"])

    def test_backup_and_verified_restore(self):
        first = self.simulator("first", "--drives", "1")
        second = self.simulator("second", "--drives", "1")
        self.cli(first.path, "write", "F113=45", "F114=5.0")
        backup = os.path.join(self.folder, "first.dbf")
        self.cli(first.path, "backup", "--out", backup)
        values = {r["CODE"].strip(): r["NOWDATA"] for r in dbfread.DBF(backup, char_decode_errors="strict")}
        self.assertEqual((values["F113"], values["F114"]), ("45.00", "5.0"))
        out, _ = self.cli(first.path, "compare", backup, "--against", "defaults", "--format", "csv")
        self.assertEqual([line.split(",")[0] for line in out.splitlines()[1:]], ["F113", "F114"])

        out, err = self.cli(second.path, "restore", backup, "--verify")
        self.assertRegex(err, r"Written: \d+, verified: (\d+), differing: 0")
        copy = os.path.join(self.folder, "second.dbf")
        self.cli(second.path, "backup", "--out", copy)
        out, _ = self.cli(second.path, "compare", backup, "--against", copy)
        self.assertEqual(len(out.splitlines()), 1, out)
        self.assertTrue(out.startswith("0 differ, 0 on one side only, 272 same"), out)

        # Progress only on a terminal: none into the pipe above, lines on a pty.
        self.assertNotIn("records", err)
        # Read while it runs: a terminal holds only a few kB of a line.
        leader, follower = os.openpty()
        tty.setraw(follower)
        backup = subprocess.Popen([CLI, "backup", "--out", copy, "--port", second.path, "--mode", "rtu",
                                   "--table", self.table], stderr=follower, stdout=subprocess.DEVNULL)
        os.close(follower)
        shown, deadline = b"", time.monotonic() + 60
        while time.monotonic() < deadline:
            if select.select([leader], [], [], 1)[0]:
                try:
                    chunk = os.read(leader, 65536)
                except OSError:  # the program closed its end
                    break
                if not chunk:
                    break
                shown += chunk
        os.close(leader)
        self.assertEqual(backup.wait(timeout=10), 0)
        self.assertIn("Read 292 of 292 records in", shown.decode())

    def test_line_settings_stored_beside_the_program(self):
        """Without line options the program uses the settings the window
        stored: here RTU on "COM3", linked from the data folder's ports. A
        Modbus TCP choice left in preferences.ini rides on the table's RTU
        only: a table that says ASCII is read as ASCII."""
        program = os.path.join(self.folder, "program")
        data = os.path.join(program, "database1")
        os.makedirs(os.path.join(data, "ports"))
        shutil.copy(CLI, program)
        shutil.copy(os.path.join(TEMPLATES, "com_pro.dbf"), data)

        def read_on(mode):
            sim = self.simulator(mode + "-only", "--drives", "1", "--mode", mode)
            port = os.path.join(data, "ports", "COM3")
            if os.path.lexists(port):
                os.remove(port)
            os.symlink(sim.path, port)
            settings = dbf.Table(os.path.join(data, "com_pro.dbf"))
            settings.open(dbf.READ_WRITE)
            for record, value in ((0, "2"), (1, "1" if mode == "rtu" else "0")):  # the port's item index, the mode's
                with settings[record] as r:
                    r.tx610 = value
            settings.close()
            result = subprocess.run([os.path.join(program, "vossek-drive-cli"), "read", "F113", "--table",
                                     self.table], capture_output=True, text=True, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stdout.split()[-1], "50.00")

        read_on("rtu")
        with open(os.path.join(data, "preferences.ini"), "w") as preferences:
            preferences.write("[Line]\nFraming=tcp\n")
        read_on("ascii")

    def test_bad_input_sends_nothing(self):
        sim = self.simulator("quiet", "--drives", "1")
        cases = [
            (["read", "F999"], "unknown code F999"),
            (["write", "F113=500"], "Input data out of range!   Valid range:0.00----400.00"),
            (["write", "F113=45", "F100=x"], "F100=x: not a number"),
            (["scan", "1-x"], "range \"1-x\": Invalid data!  Range:1-247!"),
            (["scan", "1,,3"], "Invalid data! Range:1-247!"),
            (["restore", "missing.dbf"], "missing.dbf: no such file"),
            (["run", "missing.xlsx"], "missing.xlsx: no such file"),
            (["run", DAMAGED_XLS], DAMAGED_XLS + " is damaged: the .xls reader failed on it"),
            (["status", "--format", "xml"], "--format must be text, csv or json"),
            (["control", "sideways"], "unknown control command"),
            (["frobnicate"], "unknown subcommand"),
        ]
        for args, message in cases:
            _, err = self.cli(sim.path, *args, status=2)
            self.assertIn(message, err, args)
        self.assertEqual(sim.requests_seen(), [])


class WhatTheUserHas(CliTestCase):
    """Nothing the user has is cut, replaced or lost, and nothing outside the
    table's limits reaches a drive."""

    def backup_values(self, path):
        return {r["CODE"].strip(): r["NOWDATA"].strip() for r in dbfread.DBF(path)}

    def edit_table(self, path, change):
        table = dbf.Table(path)
        table.open(dbf.READ_WRITE)
        change(table)
        table.close()

    def test_backup_writes_only_a_regular_file_or_a_new_name(self):
        sim = self.simulator("out", "--drives", "1")
        fifo = os.path.join(self.folder, "fifo.dbf")
        os.mkfifo(fifo)
        read_only = os.path.join(self.folder, "kept.dbf")
        with open(read_only, "w") as f:
            f.write("the user's own")
        os.chmod(read_only, 0o444)
        places = [(fifo, "is not a regular file (a FIFO)"), (read_only, "is read-only"),
                  (self.folder, "is not a regular file (a folder)"),
                  (os.path.join(self.folder, "gone", "x.dbf"), "does not exist")]
        try:  # a device node like /dev/full, where the system lets us make one
            device = os.path.join(self.folder, "full.dbf")
            os.mknod(device, 0o666 | stat.S_IFCHR, os.makedev(1, 7))
            places.append((device, "is not a regular file (a device)"))
        except OSError:
            device = None
        for place, message in places:
            _, err = self.cli(sim.path, "backup", "--out", place, status=2)
            self.assertIn("vossek-drive-cli: " + place, err)
            self.assertIn(message, err)
        self.assertEqual(sim.requests_seen(), [], "the folder is checked before the drive is read")
        self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode))
        with open(read_only) as f:
            self.assertEqual(f.read(), "the user's own")
        if device:
            self.assertTrue(stat.S_ISCHR(os.lstat(device).st_mode))

        # A link is written through: the file it names gets the values, the link stays.
        target = os.path.join(self.folder, "target.dbf")
        with open(target, "w") as f:
            f.write("older")
        link = os.path.join(self.folder, "latest.dbf")
        os.symlink("target.dbf", link)
        self.cli(sim.path, "write", "F113=45")
        _, err = self.cli(sim.path, "backup", "--out", link)
        self.assertTrue(os.path.islink(link))
        self.assertEqual(self.backup_values(target)["F113"], "45.00")
        self.assertIn("into " + link, err)

    def test_skip_refused_leaves_out_what_the_drive_refuses(self):
        # The table knows a parameter this drive's firmware lacks: it answers exception 02.
        self.edit_table(self.table, lambda t: t.append({"code": "FD01", "name": "Line Trim", "min": "0",
                                                       "max": "100", "default": "0", "nowdata": "7"}))
        sim = self.simulator("refuses", "--drives", "1")
        out_file = os.path.join(self.folder, "drive.dbf")
        _, err = self.cli(sim.path, "backup", "--out", out_file, status=1)
        self.assertIn("FD01: the drive refused it, exception 02", err)
        self.assertIn("--skip-refused", err)
        self.assertFalse(os.path.exists(out_file))
        out, err = self.cli(sim.path, "backup", "--out", out_file, "--skip-refused", "--format", "csv")
        rows = [line.split(",", 3) for line in out.splitlines()[1:]]
        self.assertEqual([row[:3] for row in rows], [["FD01", "Line Trim", "left out"]])
        self.assertIn("exception 02", rows[0][3])
        values = self.backup_values(out_file)
        self.assertEqual((values["FD01"], values["F113"]), ("", "50.00"))
        self.assertIn("1 left out", err)

    def test_every_write_is_checked_against_the_table_in_use(self):
        sim = self.simulator("limits", "--drives", "1")
        out_of_range = "F113=400.01: Input data out of range!   Valid range:0.00----400.00"
        for number, (row, how, message) in enumerate([
                (["F113", "400.01", ""], ["--function", "write"], out_of_range),
                (["F135", "1", ""], ["--function", "write"], "F135=1: This code is not allowed to modify! (Reserved)"),
                (["F102", "9.0", ""], ["--function", "write"], "F102=9.0: This code is not allowed to modify!"),
                (["", "", "0106010D9C41"], [], out_of_range)]):  # a Command row writing 40001 to F113
            book = openpyxl.Workbook()
            book.active.append(["Select", "Function", "Data", "Command", "Reply", "Note"])
            book.active.append(["Yes", *row, "", ""])
            workbook = os.path.join(self.folder, "list%d.xlsx" % number)
            book.save(workbook)
            _, err = self.cli(sim.path, "run", workbook, *how, status=2)
            self.assertIn("row 1: " + message, err)
        self.assertEqual(sim.requests_seen(), [])
        # A file whose MAX was edited is held to the table's MAX.
        backup = os.path.join(self.folder, "edited.dbf")
        self.cli(sim.path, "backup", "--out", backup)
        before = len(sim.requests_seen())

        def edit(table):
            for record in table:
                if record.code.strip() == "F113":
                    with record:
                        record.max, record.nowdata = "600.00", "500.00"
        self.edit_table(backup, edit)
        _, err = self.cli(sim.path, "restore", backup, status=2)
        self.assertIn("F113=500.00: Input data out of range!   Valid range:0.00----400.00", err)
        self.assertEqual(len(sim.requests_seen()), before)

    def test_a_comma_is_a_decimal_separator_only_where_the_locale_says_so(self):
        """Typed or kept in a file, "1,000" is no 1.0 where "." separates
        decimals: refused as it stands, before anything is sent."""
        sim = self.simulator("comma", "--drives", "1")
        comma = 'the value holds a "," where this locale\'s decimal point is "."'
        for typed in ("1,000", "1,5"):
            _, err = self.cli(sim.path, "write", "F114=" + typed, env={"LC_ALL": "en_US.UTF-8"}, status=2)
            self.assertIn("F114=%s: %s;" % (typed, comma), err)
        self.assertEqual(sim.requests_seen(), [])
        backup = os.path.join(self.folder, "grouped.dbf")
        self.cli(sim.path, "backup", "--out", backup)
        sent = len(sim.requests_seen())

        def store(value):
            def edit(table):
                for record in table:
                    if record.code.strip() == "F114":
                        with record:
                            record.nowdata = value
            self.edit_table(backup, edit)
        for stored, message in (("1,000", comma), ("1,234.5", 'the value holds a thousands separator (",")')):
            store(stored)
            for command in ("restore", "compare"):
                _, err = self.cli(sim.path, command, backup, status=2)
                self.assertIn("%s: F114=%s: %s;" % (backup, stored, message), err)
        self.assertEqual(len(sim.requests_seen()), sent)
        store("2,5")
        out, _ = self.cli(sim.path, "compare", backup, "--format", "csv", env={"LC_ALL": "de_DE.UTF-8"})
        self.assertIn("F114,Acceleration Time 1,2.5,", out)
        self.cli(sim.path, "write", "F114=2,5", env={"LC_ALL": "de_DE.UTF-8"})
        self.cli(sim.path, "write", "F113=45.5", env={"LC_ALL": "de_DE.UTF-8"})
        out, _ = self.cli(sim.path, "read", "F114", "F113", "--format", "csv")
        self.assertEqual([line.split(",")[2] for line in out.splitlines()[1:]], ["2.5", "45.50"])

    def test_a_port_that_cannot_carry_the_mode_is_refused(self):
        """Modbus TCP only to a tcp: address, and a tcp: name that is no
        address, are the user's slips: exit 2 before anything is sent."""
        sim = self.simulator("serial", "--drives", "1")
        _, err = self.cli(sim.path, "read", "F113", mode="tcp", status=2)
        self.assertIn("Modbus TCP (--mode tcp) needs a port tcp:HOST:PORT; %s is a serial line" % sim.path, err)
        self.assertEqual(sim.requests_seen(), [])
        for mode in ("tcp", "rtu"):
            _, err = self.cli("tcp:127.0.0.1:99999", "read", "F113", mode=mode, status=2)
            self.assertIn("tcp:127.0.0.1:99999: no TCP address; write tcp:HOST:PORT (port 1 to 65535)", err)

    def test_damaged_settings_are_named(self):
        program = os.path.join(self.folder, "program")
        data = os.path.join(program, "database1")
        os.makedirs(data)
        shutil.copy(CLI, program)
        for table in ("com_pro.dbf", "dspara.dbf"):
            shutil.copy(os.path.join(TEMPLATES, table), data)
        settings = dbf.Table(os.path.join(data, "com_pro.dbf"))
        settings.open(dbf.READ_WRITE)
        for record, value in ((1, "x"), (2, "9")):  # the mode, the baud rate's item index
            with settings[record] as r:
                r.tx610 = value
        settings.close()
        with open(os.path.join(data, "dspara.dbf"), "r+b") as cut:
            cut.truncate(200)
        sim = self.simulator("settings", "--drives", "1")
        out, err = self.cli(sim.path, "read", "F113", program=os.path.join(program, "vossek-drive-cli"))
        self.assertIn("Some settings could not be read; the initial values are used for them.", err)
        self.assertIn("com_pro.dbf: record 2, TX610: 'x' is not a valid integer value", err)
        self.assertIn("record 3, TX610: 9 is not one of the 8 choices", err)
        self.assertRegex(err, r"\ndspara\.dbf: \S")
        self.assertEqual(out.split()[-1], "50.00")

    def test_a_value_not_read_or_not_held_fails(self):
        """A backup with one value missing is no backup; a verified restore
        whose value the drive does not hold is no success."""
        muted = self.simulator("mute", "--drives", "1", "--mute", "1:F114")
        out_file = os.path.join(self.folder, "partial.dbf")
        _, err = self.cli(muted.path, "backup", "--out", out_file, status=1)
        self.assertIn("F114: No response!", err)
        self.assertFalse(os.path.exists(out_file))
        backup = os.path.join(self.folder, "first.dbf")
        first = self.simulator("first", "--drives", "1")
        self.cli(first.path, "write", "F113=45")
        self.cli(first.path, "backup", "--out", backup)
        clamped = self.simulator("clamp", "--drives", "1", "--clamp", "1:F113:40.00")
        _, err = self.cli(clamped.path, "restore", backup, "--verify", status=1)
        self.assertRegex(err, r"differing: 1\b")
        self.assertIn("F113", err)

    def follow(self, args):
        """Starts the program; its stdout and stderr lines gather in two lists."""
        proc = subprocess.Popen([CLI, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        lines = ([], [])
        readers = [threading.Thread(target=lambda s=stream, i=into: i.extend(s), daemon=True)
                   for stream, into in zip((proc.stdout, proc.stderr), lines)]
        for reader in readers:
            reader.start()

        def end():
            proc.kill()
            proc.wait(10)
            for reader in readers:
                reader.join(10)
            proc.stdout.close()
            proc.stderr.close()
        self.addCleanup(end)
        return lines

    def wait_for(self, condition, what):
        for _ in range(600):
            if condition():
                return
            time.sleep(0.05)
        self.fail("waited in vain for " + what)

    def test_scan_comes_back_after_the_port_went_away(self):
        for args, lost in ((["--tcp", "0"], "connection closed"),
                           (["--link", os.path.join(self.folder, "COM7")], "device gone")):
            sim = Simulator(self.folder, lost + " first", "--drives", "1", *args)
            self.addCleanup(sim.close)
            port = sim.path if lost == "connection closed" else args[1]
            out, err = self.follow(["scan", "1", "--count", "0", "--period", "50", "--port", port,
                                    "--mode", "rtu", "--timeout", "200", "--table", self.table])
            self.wait_for(lambda: out, "a first record")
            sim.close()
            self.wait_for(lambda: any(lost in line for line in err), lost)
            self.assertFalse(any("No response!" in line for line in err), err)
            served = len(out)
            again = Simulator(self.folder, lost + " again", "--drives", "1",
                              *(["--tcp", port.rsplit(":", 1)[1]] if lost == "connection closed" else args))
            self.addCleanup(again.close)
            self.wait_for(lambda: len(out) > served, "records from the simulator started again")

    def test_only_a_requests_own_reply_is_taken(self):
        """A slave answering twice gives each parameter its own value; a write
        repeated with another value is no confirmation; noise before a reply
        is named."""
        clean = self.simulator("clean", "--baud", "9600")
        own, _ = self.cli(clean.path, "read", "F113", "F114", "F115", "F116")
        twice = self.simulator("twice", "--baud", "9600", "--twice", "1")
        out, _ = self.cli(twice.path, "read", "F113", "F114", "F115", "F116")
        self.assertEqual(out, own)

        skewed = self.simulator("skewed", "--skew-writes")
        _, err = self.cli(skewed.path, "write", "F113=33.00", status=1)
        self.assertIn("write not repeated: another register or value", err)
        out, _ = self.cli(skewed.path, "control", "fwd", status=1)
        self.assertIn("write not repeated", out)

        noisy = self.simulator("noisy", "--noise", "2")
        _, err = self.cli(noisy.path, "read", "F113", status=1)
        self.assertIn("noise before the frame", err)


class ManualPage(unittest.TestCase):
    def test_manual_page_names_what_help_names(self):
        """The manual page says at more length what --help lists: every
        subcommand and option of the one is in the other."""
        source = os.environ.get("VDD_SOURCE_DIR", os.path.join(os.path.dirname(__file__), ".."))
        with open(os.path.join(source, "docs", "vossek-drive-cli.1")) as page:
            manual = page.read().replace("\\-", "-").replace("\\fB", "").replace("\\fR", "")
        usage = subprocess.run([CLI, "--help"], capture_output=True, text=True, timeout=30).stdout
        options = set(re.findall(r"--[a-z][a-z-]*", usage))
        commands = set(re.findall(r"^  ([a-z]+) ", usage, re.MULTILINE))
        self.assertGreaterEqual(len(options), 20)
        self.assertEqual(len(commands), 11, commands)
        self.assertEqual({o for o in options if o not in manual}, set())
        self.assertEqual({c for c in commands if not re.search(r"^\.BR " + c + r"\b", manual, re.MULTILINE)}, set())


class IndependentSlave(unittest.TestCase):
    """pymodbus serves the registers a drive holds; what the program writes
    is read from the slave's own store."""

    def test_status_and_write(self):
        from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
        from pymodbus.server import StartSerialServer
        from pymodbus.transaction import ModbusRtuFramer

        folder = tempfile.mkdtemp(prefix="vdd-cli-slave-")
        self.addCleanup(shutil.rmtree, folder, True)
        ours, theirs = os.path.join(folder, "ours"), os.path.join(folder, "theirs")
        socat = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + ours, "pty,raw,echo=0,link=" + theirs])
        self.addCleanup(socat.wait, 10)
        self.addCleanup(socat.terminate)
        for _ in range(100):
            if os.path.exists(ours) and os.path.exists(theirs):
                break
            time.sleep(0.05)

        registers = [0] * 0x1010
        # 50.00 Hz, 380 V, 1.20 A, pole factors 20 x 20, 537 V, forward.
        registers[0x1000:0x1006] = [5000, 380, 120, 20 << 8, 537, (20 << 8) | 1]
        registers[0x010D] = 5000
        block = ModbusSequentialDataBlock(0, registers)
        context = ModbusServerContext(slaves={1: ModbusSlaveContext(hr=block, zero_mode=True)}, single=False)
        threading.Thread(target=StartSerialServer, daemon=True,
                         kwargs=dict(context=context, framer=ModbusRtuFramer, port=theirs, baudrate=9600)).start()
        table = os.path.join(folder, "RM40.DBF")
        shutil.copy(DELIVERED_TABLE, table)

        def cli(*args):
            for _ in range(20):  # the slave opens its end in its own time
                result = subprocess.run([CLI, *args, "--port", ours, "--mode", "rtu", "--baud", "9600",
                                         "--timeout", "1000", "--table", table], capture_output=True, text=True,
                                        timeout=60)
                if result.returncode != 1:
                    break
                time.sleep(0.2)
            self.assertEqual(result.returncode, 0, result.stderr)
            return result.stdout

        self.assertEqual(cli("status").split(), ["1", "50.00", "Hz", "380", "V", "1.20", "A", "1500", "r/min",
                                                 "537", "V", "1", "Forward", "Start"])
        cli("write", "F113=45")
        self.assertEqual(context[1].getValues(3, 0x010D, 1), [0x1194])
        self.assertIn("45.00", cli("read", "F113"))


class RateGatedLine:
    """A line between the program's pseudo-terminal and a slave's that
    carries bytes only while the program's end is at `rate` (None: at any),
    as a drive hears nothing at another rate. Parity cannot be seen: Linux
    clears the parity bit of a pseudo-terminal. With `echo` it hands what
    the program sends back to it first, as a half-duplex adapter that hears
    its own transmission."""

    def __init__(self, rate, echo=False):
        self.rate = rate
        self.echo = echo
        self.ours, self.ours_end = os.openpty()
        self.theirs, self.theirs_end = os.openpty()
        for fd in (self.ours, self.ours_end, self.theirs, self.theirs_end):
            tty.setraw(fd)
        self.our_path = os.ttyname(self.ours_end)
        self.their_path = os.ttyname(self.theirs_end)
        self.carried = 0
        self.dropped = 0
        self.stopping = False
        self.thread = threading.Thread(target=self.carry, daemon=True)
        self.thread.start()

    def at_rate(self):
        return self.rate is None or termios.tcgetattr(self.ours_end)[4] == self.rate

    def carry(self):
        while not self.stopping:
            ready, _, _ = select.select([self.ours, self.theirs], [], [], 0.1)
            for fd in ready:
                data = os.read(fd, 512)
                if self.echo and fd == self.ours:
                    os.write(self.ours, data)
                if self.at_rate():
                    os.write(self.theirs if fd == self.ours else self.ours, data)
                    self.carried += len(data)
                else:
                    self.dropped += len(data)

    def close(self):
        self.stopping = True
        self.thread.join(5)
        for fd in (self.ours, self.ours_end, self.theirs, self.theirs_end):
            os.close(fd)


def start_rtu_slave(path, address, baud, **options):
    """A pymodbus RTU slave at `address` on the serial end `path`, holding a
    drive's status block (50.00 Hz, 380 V, 1.20 A, pole factors 20 x 20,
    537 V, forward); its register store is returned."""
    from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
    from pymodbus.server import StartSerialServer
    from pymodbus.transaction import ModbusRtuFramer

    registers = [0] * 0x1010
    registers[0x1000:0x1006] = [5000, 380, 120, 20 << 8, 537, (20 << 8) | 1]
    context = ModbusServerContext(
        slaves={address: ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, registers), zero_mode=True)},
        single=False)
    threading.Thread(target=StartSerialServer, daemon=True,
                     kwargs=dict(context=context, framer=ModbusRtuFramer, port=path, baudrate=baud,
                                 **options)).start()
    time.sleep(1)  # the slave opens its end in its own time
    return context


class EchoingAdapterToAnIndependentSlave(unittest.TestCase):
    def test_echo_detected_discarded_or_named(self):
        """A pymodbus slave behind an adapter that echoes every request:
        detected, the echo is discarded and said once; on, a write lands; off,
        the reply is never taken from the echo."""
        line = RateGatedLine(None, echo=True)
        self.addCleanup(line.close)
        context = start_rtu_slave(line.their_path, 1, 9600)

        def cli(echo, *args):
            return subprocess.run([CLI, *args, "--port", line.our_path, "--mode", "rtu", "--baud", "9600",
                                   "--timeout", "1000", "--echo", echo], capture_output=True, text=True, timeout=60)

        detected = cli("detect", "status")
        self.assertEqual(detected.returncode, 0, detected.stderr)
        self.assertEqual(detected.stdout.split()[:3], ["1", "50.00", "Hz"])
        self.assertEqual(detected.stderr.count("adapter echoes requests: echo discarded"), 1, detected.stderr)
        written = cli("on", "write", "F113=45")
        self.assertEqual(written.returncode, 0, written.stderr)
        self.assertEqual(context[1].getValues(3, 0x010D, 1), [4500])
        off = cli("off", "status")
        self.assertEqual(off.returncode, 1)
        self.assertIn("own request echoed", off.stdout + off.stderr)


    def test_an_echoed_request_is_shown_whole_on_one_line(self):
        """With the echo off, a request coming back is named with all of its
        bytes, and an ASCII one with its CR LF written as the history writes
        it: each note one line."""
        line = RateGatedLine(None, echo=True)  # and no slave behind it
        self.addCleanup(line.close)

        def cli(mode, *args):
            result = subprocess.run([CLI, "read", "F113", "--port", line.our_path, "--mode", mode, "--baud", "9600",
                                     "--timeout", "300", "--echo", "off", *args],
                                    capture_output=True, text=True, timeout=60)
            self.assertEqual(result.returncode, 1, result.stderr)
            return result.stderr.splitlines()

        echoed = "F113: own request echoed: the adapter echoes requests (reply %s)"
        self.assertIn(echoed % "0103010D00011435", cli("rtu"))
        lines = cli("ascii", "--verbose")
        self.assertIn(echoed % ":0103010D0001ED/x0D/x0A", lines)
        self.assertTrue(any(re.search(r"Send  >.* R >\s+:0103010D0001ED/x0D/x0A  ----- own request echoed", text)
                            for text in lines), lines)


class DiscoverAnIndependentSlave(unittest.TestCase):
    def test_slave_at_19200_rtu_address_17(self):
        """discover finds a pymodbus slave at address 17 that hears only at
        19200 baud RTU and prints it as CSV; nothing reaches the slave at any
        other rate."""
        line = RateGatedLine(termios.B19200)
        self.addCleanup(line.close)
        start_rtu_slave(line.their_path, 17, 19200, ignore_missing_slaves=True)

        # pymodbus takes its time to answer: a drive's allowance of 200 ms.
        result = subprocess.run([CLI, "discover", "--port", line.our_path, "--range", "15-18",
                                 "--bauds", "9600,19200", "--allowance", "200", "--first", "--format", "csv"],
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines(), ["address,mode,baud,parity,data_bits,stop_bits,status,echo",
                                                      "17,RTU,19200,E,8,1,Forward Start,no"])
        # ASCII and RTU at 9600 came first, and went nowhere.
        self.assertGreater(line.dropped, 0)
        self.assertIn("trying RTU 9600 8N1 (3 of 12)", result.stderr)
        self.assertIn("trying RTU 19200 8E1 (7 of 12)", result.stderr)
        self.assertIn("drives found: 1", result.stderr)


def with_crc(data):
    from pymodbus.utilities import computeCRC
    return bytes(data) + computeCRC(data).to_bytes(2, "big")  # low byte first on the line


class HandMadeSlave:
    """A slave of the test's own that hears status reads: RTU on a
    pseudo-terminal, or Modbus TCP on a loopback port with `tcp`. Drives in
    `drives` answer, `late_ms` after the request; a gateway says 0B (no
    answer from the device behind it) for `gateway_empty`; `echo` hands each
    request back first; `junk` answers address 1 with 3000 bytes of noise;
    `chatter` puts a byte on the line every 2 ms; the line is hung up when
    `hang_up_at` is asked."""

    def __init__(self, drives=(), late_ms=0, gateway_empty=(), echo=False, junk=False, chatter=False,
                 hang_up_at=None, tcp=False):
        self.drives, self.late_ms, self.gateway_empty = set(drives), late_ms, set(gateway_empty)
        self.echo, self.junk, self.hang_up_at, self.tcp = echo, junk, hang_up_at, tcp
        self.stopping = False
        if tcp:
            self.server = socket.create_server(("127.0.0.1", 0))
            self.path = "tcp:127.0.0.1:%d" % self.server.getsockname()[1]
            self.fd = None
        else:
            self.fd, self.their_end = os.openpty()
            tty.setraw(self.fd)
            tty.setraw(self.their_end)
            self.path = os.ttyname(self.their_end)
        self.threads = [threading.Thread(target=self.serve, daemon=True)]
        if chatter:
            self.threads.append(threading.Thread(target=self.chatter, daemon=True))
        for thread in self.threads:
            thread.start()

    def write(self, data):
        if self.fd is not None:
            os.write(self.fd, data)

    def chatter(self):
        while not self.stopping:
            try:
                self.write(b"\x00")
            except OSError:
                return
            time.sleep(0.002)

    def serve(self):
        if self.tcp:
            connection, _ = self.server.accept()
            self.connection = connection
            self.fd = connection.fileno()
        size = 12 if self.tcp else 8
        pending = b""
        while not self.stopping:
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if not ready:
                continue
            try:
                pending += os.read(self.fd, 512)
            except OSError:
                return
            while len(pending) >= size:
                request, pending = pending[:size], pending[size:]
                self.answer(request)

    def answer(self, request):
        if self.echo:
            self.write(request)
        header, pdu = (request[:6], request[6:]) if self.tcp else (b"", request[:-2])
        address = pdu[0]
        if address == self.hang_up_at:
            self.stopping = True
            os.close(self.fd)
            self.fd = None
            return
        if address in self.drives:
            time.sleep(self.late_ms / 1000)
            reply = bytes([address, 3, 12]) + b"".join(v.to_bytes(2, "big") for v in
                                                        (5000, 380, 120, 20 << 8, 537, (20 << 8) | 1))
        elif address in self.gateway_empty:
            reply = bytes([address, 0x83, 0x0B])
        elif address == 1 and self.junk:
            self.write(bytes(range(256)) * 12)
            return
        else:
            return
        if self.tcp:
            self.write(header[:4] + len(reply).to_bytes(2, "big") + reply)
        else:
            self.write(with_crc(reply))

    def close(self):
        self.stopping = True
        for thread in self.threads:
            thread.join(5)
        if self.tcp:
            self.server.close()
            if hasattr(self, "connection"):
                self.connection.close()
        else:
            if self.fd is not None:
                os.close(self.fd)
            os.close(self.their_end)


class DiscoverOnLinesThatMislead(unittest.TestCase):
    def discover(self, slave, *args, timeout=60):
        self.addCleanup(slave.close)
        started = time.monotonic()
        result = subprocess.run([CLI, "discover", "--port", slave.path, *args], capture_output=True, text=True,
                                timeout=timeout)
        return result, time.monotonic() - started

    def test_the_line_going_away_ends_the_search(self):
        # Allowances long enough for this busy machine to keep pace.
        result, _ = self.discover(HandMadeSlave(drives=[2], hang_up_at=6), "--range", "1-20", "--modes", "rtu",
                                  "--bauds", "9600,19200", "--parities", "E", "--allowance", "200",
                                  "--format", "csv")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(result.stdout.splitlines()[1:], ["2,RTU,9600,E,8,1,Forward Start,no"])
        gone = re.search(r"the line went away at RTU 9600 8E1, address (\d+); addresses not tried: (\d+)-20 at "
                         r"RTU 9600 8E1, 1-20 at the setting after it", result.stderr)
        self.assertTrue(gone, result.stderr)
        self.assertEqual(gone[1], gone[2])
        self.assertGreaterEqual(int(gone[1]), 6)
        # Gone while the last address is asked: nothing more is sent to notice it by.
        result, _ = self.discover(HandMadeSlave(drives=[2], hang_up_at=6), "--range", "1-6", "--modes", "rtu",
                                  "--bauds", "9600", "--parities", "E", "--allowance", "300")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("the line went away at RTU 9600 8E1, address 6; addresses not tried: 6 at RTU 9600 8E1\n",
                      result.stderr)

    def test_a_chattering_line_is_bounded_and_named(self):
        # A pause of this busy machine's must be no silence.
        result, seconds = self.discover(HandMadeSlave(chatter=True), "--range", "1-3", "--modes", "rtu",
                                        "--bauds", "9600", "--parities", "E", "--allowance", "300", timeout=30)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(result.stderr.count("the line is busy: another master?"), 1, result.stderr)
        self.assertLess(seconds, 15)

        result, _ = self.discover(HandMadeSlave(junk=True), "--range", "1", "--modes", "rtu", "--bauds", "9600",
                                  "--parities", "E", "--allowance", "300")
        suspect = [line for line in result.stderr.splitlines() if line.startswith("1 at RTU 9600 8E1")]
        self.assertEqual(len(suspect), 1, result.stderr)
        self.assertLess(len(suspect[0]), 1500)
        self.assertIn("more bytes", suspect[0])

    def test_a_late_drive_is_named_with_the_allowance_to_use(self):
        # Late by far more than this busy machine may lag, and asked again with
        # the allowance named.
        args = ["--modes", "rtu", "--bauds", "9600", "--parities", "E", "--format", "csv"]
        result, _ = self.discover(HandMadeSlave(drives=[2], late_ms=300), "--range", "1-40", *args)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertNotIn("another setting", result.stderr)
        late = re.search(r"^2 at RTU 9600 8E1 answered late, after \d+ ms: search again with --allowance (\d+)$",
                         result.stderr, re.MULTILINE)
        self.assertTrue(late, result.stderr)
        again, _ = self.discover(HandMadeSlave(drives=[2], late_ms=300), "--range", "1-3", *args,
                                 "--allowance", late[1])
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(again.stdout.splitlines()[1:], ["2,RTU,9600,E,8,1,Forward Start,no"])

    def test_echo_gateways_and_tcp_ports(self):
        """Behind an echoing adapter the drive at the range's last address is
        found and said to echo; a gateway's "no answer behind me" is no
        drive; a tcp: port is asked unit ids only, never line settings."""
        result, _ = self.discover(HandMadeSlave(drives=[20], gateway_empty=[19], echo=True), "--range", "18-20",
                                  "--modes", "rtu", "--bauds", "9600", "--parities", "E", "--allowance", "300",
                                  "--format", "csv")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines(), ["address,mode,baud,parity,data_bits,stop_bits,status,echo",
                                                      "20,RTU,9600,E,8,1,Forward Start,yes"])

        result, _ = self.discover(HandMadeSlave(drives=[3], gateway_empty=[2], tcp=True), "--mode", "tcp",
                                  "--range", "1-3", "--allowance", "300", "--format", "csv")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines()[1:], ["3,TCP,,,,,Forward Start,no"])
        self.assertIn("trying Modbus TCP (1 of 1)", result.stderr)
        refused = subprocess.run([CLI, "discover", "--port", "tcp:127.0.0.1:1", "--bauds", "9600"],
                                 capture_output=True, text=True, timeout=30)
        self.assertEqual(refused.returncode, 2)
        self.assertIn("over a tcp: port the line settings are the server's", refused.stderr)


if __name__ == "__main__":
    unittest.main()
