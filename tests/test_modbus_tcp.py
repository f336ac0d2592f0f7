"""vossek-drive-cli in Modbus TCP against independent servers: Debian's
pymodbus (its socket framer), a server that answers with another
transaction id, and a pymodbus server stopped and started again while a
scan runs; and the simulator's Modbus TCP against mbpoll."""

import logging
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from loopback import free_port, listening, wait_for

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)

BUILD_DIR = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))
TEMPLATES = os.path.join(BUILD_DIR, "templates", "database1")
PROGRAM_FOLDER = tempfile.mkdtemp(prefix="vdd-tcp-program-")
CLI = os.path.join(PROGRAM_FOLDER, "vossek-drive-cli")

# 50.00 Hz, 380 V, 1.20 A, pole factors 20 x 20, 537 V, forward; F113 = 50.00.
STATUS = [5000, 380, 120, 20 << 8, 537, (20 << 8) | 1]

SIM = os.path.join(BUILD_DIR, "vossek-drive-sim")

SERVER_SCRIPT = r"""
import logging, sys
logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
from pymodbus.datastore import ModbusSparseDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartTcpServer
values = {0x1000 + i: v for i, v in enumerate(%r)}
values[0x010D] = 5000
context = ModbusServerContext(slaves={1: ModbusSlaveContext(hr=ModbusSparseDataBlock(values), zero_mode=True)},
                              single=False)
StartTcpServer(context=context, address=("127.0.0.1", int(sys.argv[1])), allow_reuse_address=True)
""" % (STATUS,)


def setUpModule():
    shutil.copy(os.path.join(BUILD_DIR, "vossek-drive-cli"), CLI)


def tearDownModule():
    shutil.rmtree(PROGRAM_FOLDER, True)


class ModbusTcp(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vdd-tcp-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.table = os.path.join(self.folder, "RM40.DBF")
        shutil.copy(os.path.join(TEMPLATES, "RM40.DBF"), self.table)

    def cli(self, port, *args, status=0):
        result = subprocess.run([CLI, *args, "--port", "tcp:127.0.0.1:%d" % port, "--mode", "tcp",
                                 "--timeout", "1000", "--table", self.table],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        return result.stdout, result.stderr

    def server(self, port):
        proc = subprocess.Popen([sys.executable, "-c", SERVER_SCRIPT, str(port)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(proc.wait, 10)
        self.addCleanup(proc.terminate)
        wait_for("the server to listen", lambda: listening(port))
        return proc

    def test_pymodbus_server(self):
        """The status block decoded, a parameter written lands in the
        server's own register, a register it lacks is exception 02."""
        from pymodbus.client import ModbusTcpClient

        port = free_port()
        self.server(port)
        out, _ = self.cli(port, "status")
        self.assertEqual(out.split(), ["1", "50.00", "Hz", "380", "V", "1.20", "A", "1500", "r/min",
                                       "537", "V", "1", "Forward", "Start"])
        self.cli(port, "write", "F113=45")
        client = ModbusTcpClient("127.0.0.1", port=port)
        self.assertTrue(client.connect())
        self.addCleanup(client.close)
        self.assertEqual(client.read_holding_registers(0x010D, 1, slave=1).registers, [4500])
        _, err = self.cli(port, "read", "F114", status=1)
        self.assertIn("exception 02", err)

    def test_mbpoll_reads_what_the_program_shows(self):
        """Two clients at once: the program scanning, mbpoll reading the
        status block of the tripped drive 2."""
        sim = subprocess.Popen([SIM, "--tcp", "0", "--mode", "tcp", "--drives", "1-2", "--fault", "2:7", "--quiet"],
                               stdout=subprocess.PIPE, text=True)
        self.addCleanup(sim.wait, 10)
        self.addCleanup(sim.terminate)
        self.addCleanup(sim.stdout.close)
        port = int(sim.stdout.readline().strip().rsplit(":", 1)[1])
        scan = subprocess.Popen([CLI, "scan", "1", "--count", "0", "--period", "20", "--port",
                                 "tcp:127.0.0.1:%d" % port, "--mode", "tcp", "--table", self.table],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(scan.wait, 10)
        self.addCleanup(scan.terminate)
        out, _ = self.cli(port, "status", "2")
        fields = out.split()
        polled = subprocess.run(["mbpoll", "-m", "tcp", "-a", "2", "-r", "4097", "-c", "6", "-1", "-p", str(port),
                                 "127.0.0.1"], capture_output=True, text=True, timeout=30)
        self.assertEqual(polled.returncode, 0, polled.stdout + polled.stderr)
        registers = [int(line.split()[-1]) for line in polled.stdout.splitlines() if line.startswith("[")]
        self.assertEqual(len(registers), 6, polled.stdout)
        self.assertEqual(fields[1], "%.2f" % (registers[0] / 100))  # output frequency
        self.assertEqual(fields[9], str(registers[4]))  # DC bus voltage
        self.assertEqual(fields[11], str(registers[5] & 0xFF))  # status: the fault's code
        self.assertEqual(fields[11], "7")

    def test_another_transaction_id_is_never_taken(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        self.addCleanup(listener.close)

        def serve():
            connection, _ = listener.accept()
            with connection:
                request = connection.recv(260)
                transaction = struct.unpack(">H", request[:2])[0]
                # a right answer to F113 (50.00), but for the next request
                pdu = bytes([1, 3, 2, 0x13, 0x88])
                connection.sendall(struct.pack(">HHH", (transaction + 1) & 0xFFFF, 0, len(pdu)) + pdu)
                time.sleep(1.5)

        threading.Thread(target=serve, daemon=True).start()
        out, err = self.cli(listener.getsockname()[1], "read", "F113", status=1)
        self.assertIn("wrong transaction id", err)
        self.assertNotIn("50.00", out)

    def test_scan_resumes_after_the_server_was_restarted(self):
        port = free_port()
        server = self.server(port)
        scan = subprocess.Popen([CLI, "scan", "1", "--count", "0", "--period", "50", "--port",
                                 "tcp:127.0.0.1:%d" % port, "--mode", "tcp", "--timeout", "300", "--table",
                                 self.table], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(scan.wait, 10)
        self.addCleanup(scan.terminate)
        out, err = [], []
        for stream, lines in ((scan.stdout, out), (scan.stderr, err)):
            threading.Thread(target=lambda s=stream, l=lines: [l.append(line) for line in s], daemon=True).start()
        wait_for("a first record", lambda: out)
        server.terminate()
        server.wait(10)
        wait_for("the connection closed", lambda: any("connection closed" in line for line in err))
        served = len(out)
        self.server(port)
        wait_for("records after the restart", lambda: len(out) > served + 2)
        self.assertTrue(all("50.00" in line for line in out), out)


if __name__ == "__main__":
    unittest.main()
