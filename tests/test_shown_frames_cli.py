"""The frames vossek-drive-cli --verbose shows on stderr, byte for byte, for a
scan whose exchanges end in every way the framing allows (accepted, wrong
checksum, exception, another drive's address, adapter echo, no response, a
late answer, data nobody asked for), in ASCII, RTU and Modbus TCP. The drive
is a script of this test's own: each request gets the script's next step,
and what comes late or unasked goes out only once the program has shown the
exchange before it ended, so nothing rests on the machine's pace. Times and
measured milliseconds are masked.

VDD_WRITE_EXPECTED=1 writes tests/expected/cli_verbose_*.txt from this run
instead of comparing with them."""

import difflib
import os
import pty
import re
import select
import socket
import subprocess
import threading
import tty
import unittest

from test_reply_ownership_cli import CLI, crc16, lrc

EXPECTED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "expected")
WRITE = os.environ.get("VDD_WRITE_EXPECTED") == "1"

# 50.00 Hz, 380 V, 1.20 A, 537 V, forward: the status block of drive 1.
STATUS = b"".join(v.to_bytes(2, "big") for v in (5000, 380, 120, 20 << 8, 537, (20 << 8) | 1))
# The late answer comes in the quiet after the drive's first time-out, the
# longest; over Modbus TCP, which keeps no quiet, while the next request is
# awaited. "echo" is an adapter's echo with no drive behind it.
SERIAL_SCRIPT = ["ok", "unasked", "checksum", "exception", "address", "echo", "late", "silent", "ok"]
TCP_SCRIPT = ["ok", "unasked", "exception", "address", "late", "silent", "ok"]
NOBODYS = bytes([5, 3, 2, 0, 7])  # drive 5's answer, while nobody asks


def masked(line):
    line = re.sub(r"\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\]", "[T]", line)
    return re.sub(r"\d[\d,]* ms", "N ms", line)


class ScriptedDrive:
    """Drive 1 on a pty (ASCII or RTU) or a loopback socket (Modbus TCP)."""

    def __init__(self, framing, script):
        self.framing, self.script, self.held, self.running = framing, script, {}, True
        if framing == "tcp":
            self.listener = socket.create_server(("127.0.0.1", 0))
            self.port = "tcp:127.0.0.1:%d" % self.listener.getsockname()[1]
        else:
            self.fd, self.slave = pty.openpty()
            tty.setraw(self.slave)
            self.port = os.ttyname(self.slave)
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def close(self):
        """The thread ends before its descriptors go: the next drive may get their numbers."""
        self.running = False
        self.thread.join(10)
        if self.framing == "tcp":
            self.listener.close()
            self.connection.close()
        else:
            os.close(self.fd)
            os.close(self.slave)

    def _frame(self, pdu, tid=b"", wrong=0):
        """`wrong`: added to the checksum's first byte."""
        if self.framing == "tcp":
            return tid + b"\0\0" + len(pdu).to_bytes(2, "big") + pdu
        if self.framing == "rtu":
            crc = crc16(pdu)
            return pdu + bytes([(crc[0] + wrong) & 0xFF, crc[1]])
        return b":" + (pdu + bytes([(lrc(pdu) + wrong) & 0xFF])).hex().upper().encode() + b"\r\n"

    def _read(self, count):
        data = b""
        while len(data) < count:
            if not self.running:
                raise EOFError
            if select.select([self.fd], [], [], 0.1)[0]:
                chunk = os.read(self.fd, count - len(data))
                if not chunk:
                    raise EOFError
                data += chunk
        return data

    def _requests(self):
        """(wire bytes, unit, transaction id) of each request."""
        if self.framing == "tcp":
            self.connection = self.listener.accept()[0]
            self.fd = self.connection.fileno()
        while True:
            if self.framing == "tcp":
                wire = self._read(6)
                wire += self._read(int.from_bytes(wire[4:6], "big"))
                yield wire, wire[6:], wire[:2]
            elif self.framing == "rtu":  # function 03 and 06: eight bytes
                wire = self._read(8)
                yield wire, wire[:-2], b""
            else:
                wire = self._read(1)
                while not wire.endswith(b"\r\n"):
                    wire += self._read(1)
                yield wire, bytes.fromhex(wire[1:-2].decode())[:-1], b""

    def _serve(self):
        try:
            for step, (wire, unit, tid) in enumerate(self._requests()):
                action = self.script[step] if step < len(self.script) else "ok"
                if self.framing == "tcp" and step - 1 in self.held and self.script[step - 1] == "late":
                    os.write(self.fd, self.held.pop(step - 1))
                answer = unit[:2] + bytes([len(STATUS)]) + STATUS
                if action == "late":  # 49.99 Hz: no copy of the reading taken before
                    answer = answer[:3] + (4999).to_bytes(2, "big") + answer[5:]
                reply = {"checksum": self._frame(answer, tid, wrong=1),
                         "exception": self._frame(bytes([unit[0], unit[1] | 0x80, 2]), tid),
                         "address": self._frame(b"\x02" + answer[1:], tid),
                         "echo": wire}.get(action, self._frame(answer, tid))
                if action in ("late", "unasked"):
                    self.held[step] = reply if action == "late" else self._frame(NOBODYS, b"\x42\x42")
                if action not in ("silent", "late"):
                    os.write(self.fd, reply)
        except (EOFError, OSError):
            pass

    def shown(self, step):
        """The exchange of request `step` is shown ended: its late answer (in
        the quiet after it), or the data nobody asks for, goes out now."""
        if step in self.held and not (self.framing == "tcp" and self.script[step] == "late"):
            os.write(self.fd, self.held.pop(step))


class ShownFrames(unittest.TestCase):
    def verbose_scan(self, framing, script):
        drive = ScriptedDrive(framing, script)
        self.addCleanup(drive.close)
        command = [CLI, "scan", "1", "--count", str(len(script)), "--period", "1500", "--verbose", "--port",
                   drive.port, "--mode", framing, "--baud", "9600", "--parity", "N", "--stop-bits", "1",
                   "--timeout", "400", "--echo", "off"]
        lines, sent = [], 0
        with subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True) as program:
            watchdog = threading.Timer(120, program.kill)
            watchdog.start()
            for line in program.stderr:  # a request's line ends with its exchange
                lines.append(masked(line.rstrip("\n")))
                if " Send  > " in line:
                    drive.shown(sent)
                    sent += 1
            watchdog.cancel()
        return lines

    def check(self, name, lines):
        path = os.path.join(EXPECTED, name)
        if WRITE:
            with open(path, "w", encoding="utf-8") as out:
                out.write("\n".join(lines) + "\n")
            return
        with open(path, encoding="utf-8") as stored:
            expected = stored.read().splitlines()
        if lines != expected:
            self.fail("shown text changed:\n" + "\n".join(difflib.unified_diff(expected, lines, name, "now",
                                                                               lineterm="")))

    def test_each_framing(self):
        for framing, script in (("ascii", SERIAL_SCRIPT), ("rtu", SERIAL_SCRIPT), ("tcp", TCP_SCRIPT)):
            with self.subTest(framing):
                self.check("cli_verbose_%s.txt" % framing, self.verbose_scan(framing, script))


if __name__ == "__main__":
    unittest.main()
