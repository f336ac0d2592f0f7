"""Independent Modbus masters talk to the drive simulator: Debian's pymodbus
in ASCII and RTU, and mbpoll (libmodbus) in RTU. Our own code talking to our
own simulator proves nothing about the frames; these peers do."""

import logging
import os
import re
import subprocess
import sys
import time
import unittest

from pymodbus.client import ModbusSerialClient
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer

logging.getLogger("pymodbus").setLevel(logging.CRITICAL)

BUILD_DIR = os.environ.get("VDD_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build"))
SIM = os.path.join(BUILD_DIR, "vossek-drive-sim")

STATUS = 0x1000
CONTROL = 0x2000
F113 = 0x010D  # set frequency, 0.01 Hz
F135 = 0x0123  # "Reserved"


class Simulator:
    def __init__(self, *args):
        self.proc = subprocess.Popen([SIM, "--quiet", *args], stdout=subprocess.PIPE, text=True)
        self.path = self.proc.stdout.readline().strip()

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.proc.stdout.close()


class PymodbusPeer(unittest.TestCase):
    def exchange(self, framer, mode_args, bytesize, parity):
        sim = Simulator("--drives", "1-3", *mode_args)
        self.addCleanup(sim.close)
        self.assertTrue(sim.path.startswith("/dev/"), sim.path)
        client = ModbusSerialClient(sim.path, framer=framer, baudrate=9600, bytesize=bytesize,
                                    parity=parity, stopbits=1, timeout=2, retries=1)
        self.assertTrue(client.connect())
        self.addCleanup(client.close)

        # The status block of a stopped drive.
        reply = client.read_holding_registers(STATUS, 6, slave=1)
        self.assertFalse(reply.isError(), reply)
        self.assertEqual(len(reply.registers), 6)
        self.assertEqual(reply.registers[0], 0)          # output frequency
        self.assertEqual(reply.registers[4], 537)        # DC bus
        self.assertEqual(reply.registers[5] & 0xFF, 0)   # stop
        factors = (reply.registers[3] >> 8) * (reply.registers[5] >> 8)
        self.assertEqual(5000 * 120 // factors, 1500)     # 50 Hz on a 4-pole motor

        # FWD START on drive 2: echoed, and the drive runs up.
        reply = client.write_register(CONTROL, 0x0001, slave=2)
        self.assertFalse(reply.isError(), reply)
        self.assertEqual((reply.address, reply.value), (CONTROL, 1))
        time.sleep(0.6)
        reply = client.read_holding_registers(STATUS, 6, slave=2)
        self.assertFalse(reply.isError(), reply)
        self.assertGreater(reply.registers[0], 0)
        self.assertEqual(reply.registers[5] & 0xFF, 1)  # forward
        # Drive 1 was not addressed and stands still.
        self.assertEqual(client.read_holding_registers(STATUS, 1, slave=1).registers[0], 0)

        # Parameters: read, write within range, refuse out of range, FFFF for Reserved.
        self.assertEqual(client.read_holding_registers(F113, 1, slave=1).registers, [5000])
        self.assertFalse(client.write_register(F113, 2550, slave=1).isError())
        self.assertEqual(client.read_holding_registers(F113, 1, slave=1).registers, [2550])
        refused = client.write_register(F113, 40001, slave=1)
        self.assertTrue(refused.isError())
        self.assertEqual(refused.exception_code, 3)
        self.assertEqual(client.read_holding_registers(F135, 1, slave=1).registers, [0xFFFF])
        bad_command = client.write_register(CONTROL, 0x0007, slave=1)
        self.assertTrue(bad_command.isError())
        self.assertEqual(bad_command.exception_code, 3)

    def test_ascii(self):
        self.exchange(ModbusAsciiFramer, ["--mode", "ascii"], 7, "E")

    def test_rtu(self):
        self.exchange(ModbusRtuFramer, ["--mode", "rtu"], 8, "N")

    def test_default_mode_follows_each_request(self):
        """Without --mode the drives answer ASCII and RTU masters on the same
        line one after the other, and keep their state between them. Drive
        58's RTU address byte is the ASCII colon."""
        sim = Simulator("--drives", "1,58")
        self.addCleanup(sim.close)

        def client(framer):
            # One set of line settings for both: a pseudo-terminal has no
            # character framing, and it refuses a change of parity once set.
            c = ModbusSerialClient(sim.path, framer=framer, baudrate=9600, bytesize=8,
                                   parity="N", stopbits=1, timeout=2, retries=1)
            self.assertTrue(c.connect())
            return c

        ascii_client = client(ModbusAsciiFramer)
        self.assertFalse(ascii_client.write_register(F113, 2550, slave=1).isError())
        self.assertEqual(ascii_client.read_holding_registers(F113, 1, slave=58).registers, [5000])
        ascii_client.close()

        rtu_client = client(ModbusRtuFramer)
        self.assertEqual(rtu_client.read_holding_registers(F113, 1, slave=1).registers, [2550])
        self.assertFalse(rtu_client.write_register(F113, 1234, slave=58).isError())
        self.assertEqual(rtu_client.read_holding_registers(F113, 1, slave=58).registers, [1234])
        rtu_client.close()

        ascii_client = client(ModbusAsciiFramer)
        self.assertEqual(ascii_client.read_holding_registers(F113, 1, slave=58).registers, [1234])
        ascii_client.close()


class MbpollPeer(unittest.TestCase):
    def mbpoll(self, path, *args, values=()):
        cmd = ["mbpoll", "-m", "rtu", "-a", "1", "-b", "9600", "-P", "none", *args, path, *values]
        return subprocess.run(cmd, capture_output=True, text=True, timeout=30)

    def test_status_block_and_control(self):
        sim = Simulator("--mode", "rtu", "--drives", "1")
        self.addCleanup(sim.close)
        # Registers 1000..1005 hex are references 4097..4102 (1-based).
        run = self.mbpoll(sim.path, "-r", "4097", "-c", "6", "-t", "4", "-1")
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        values = {int(k): int(v) for k, v in re.findall(r"\[(\d+)\]:\s+(-?\d+)", run.stdout)}
        self.assertEqual(sorted(values), list(range(4097, 4103)))
        self.assertEqual(values[4101], 537)
        self.assertEqual(values[4100] >> 8, 4)
        self.assertEqual(values[4102], 100 << 8)  # factor 100, status stop

        # Writing the control register (reference 8193 = 2000 hex): FWD START.
        run = self.mbpoll(sim.path, "-r", "8193", "-t", "4", values=["1"])
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertIn("Written 1 references", run.stdout)
        time.sleep(0.3)
        run = self.mbpoll(sim.path, "-r", "4102", "-c", "1", "-t", "4", "-1")
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertRegex(run.stdout, r"\[4102\]:\s+25601")  # 100 << 8 | forward

        # A drive that is not on the line does not answer.
        run = subprocess.run(["mbpoll", "-m", "rtu", "-a", "7", "-b", "9600", "-P", "none", "-o", "0.5",
                              "-r", "4097", "-t", "4", "-1", sim.path],
                             capture_output=True, text=True, timeout=30)
        self.assertNotRegex(run.stdout, r"\[4097\]:\s+\d")


if __name__ == "__main__":
    unittest.main(verbosity=2)
