"""vossek-drive-cli against the drive simulator on a pseudo-terminal and
against an independent Modbus slave (Debian's pymodbus behind a socat pty
pair): the status block, parameters written and read, backup and verified
restore onto a second drive, a command list run, and every exit status.
Bad input must be refused before anything reaches the line."""

import json
import logging
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

import dbf
import dbfread
import openpyxl

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)

BUILD_DIR = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))
SIM = os.path.join(BUILD_DIR, "vossek-drive-sim")
TEMPLATES = os.path.join(BUILD_DIR, "templates", "database1")
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


class CommandLineProgram(unittest.TestCase):
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

    def cli(self, port, *args, mode="rtu", status=0):
        """Runs the program on `port`; checks its exit status, returns stdout
        and stderr."""
        result = subprocess.run([CLI, *args, "--port", port, "--mode", mode, "--baud", "9600",
                                 "--parity", "N", "--stop-bits", "1", "--timeout", "300",
                                 "--table", self.table], capture_output=True, text=True, timeout=120,
                                cwd=self.folder)
        self.assertEqual(result.returncode, status, result.stderr)
        return result.stdout, result.stderr

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
        leader, follower = os.openpty()
        with os.fdopen(leader, "rb", buffering=0) as terminal:
            done = subprocess.run([CLI, "backup", "--out", copy, "--port", second.path, "--mode", "rtu",
                                   "--table", self.table], stderr=follower, stdout=subprocess.DEVNULL,
                                  timeout=60)
            os.close(follower)
            self.assertEqual(done.returncode, 0)
            shown = terminal.read(65536).decode()
        self.assertIn("Read 292 of 292 records in", shown)

    def test_line_settings_stored_beside_the_program(self):
        """Without line options the program uses the settings the window
        stored: here RTU on "COM3", linked from the data folder's ports."""
        sim = self.simulator("rtu-only", "--drives", "1", "--mode", "rtu")
        program = os.path.join(self.folder, "program")
        data = os.path.join(program, "database1")
        os.makedirs(os.path.join(data, "ports"))
        shutil.copy(CLI, program)
        shutil.copy(os.path.join(TEMPLATES, "com_pro.dbf"), data)
        os.symlink(sim.path, os.path.join(data, "ports", "COM3"))
        settings = dbf.Table(os.path.join(data, "com_pro.dbf"))
        settings.open(dbf.READ_WRITE)
        for record, value in ((0, "2"), (1, "1")):  # the port's item index, the mode's
            with settings[record] as r:
                r.tx610 = value
        settings.close()
        result = subprocess.run([os.path.join(program, "vossek-drive-cli"), "read", "F113", "--table", self.table],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.split()[-1], "50.00")

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
            (["status", "--format", "xml"], "--format must be text, csv or json"),
            (["control", "sideways"], "unknown control command"),
            (["frobnicate"], "unknown subcommand"),
        ]
        for args, message in cases:
            _, err = self.cli(sim.path, *args, status=2)
            self.assertIn(message, err, args)
        self.assertEqual(sim.requests_seen(), [])


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
        self.assertEqual(len(commands), 9, commands)
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


if __name__ == "__main__":
    unittest.main()
