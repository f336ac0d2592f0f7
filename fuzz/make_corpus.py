#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/.

Usage: /usr/bin/python3 fuzz/make_corpus.py DATA_FOLDER
DATA_FOLDER holds the delivered tables (a "database1" folder that the
program or a test has set up)."""
import os
import shutil
import struct
import sys

import openpyxl
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))


def lrc(body):
    return (-sum(bytes.fromhex(body))) & 0xFF


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def ascii_frame(body):
    return (":" + body + "%02X" % lrc(body) + "\r\n").encode()


def rtu_frame(body):
    data = bytes.fromhex(body)
    crc = crc16(data)
    return data + bytes([crc & 0xFF, crc >> 8])


def pieces(frame, size):
    out = b""
    for i in range(0, len(frame), size):
        part = frame[i:i + size]
        out += bytes([len(part)]) + part
    return out


def seed(flags, tab, machine, request_index, frame, piece=255, request=None):
    head = bytes([flags, tab, machine, 15 if request else request_index])
    if request:
        head += request.encode() + b";"
    return head + pieces(frame, piece)


def receive_path(folder):
    status = "0103" + "0C" + "0FA0" + "0000" + "0136" + "0190" + "04B0" + "0005"
    seeds = {
        # request indexes follow KnownRequests in fuzz_receive_path.cpp
        "param_read_ascii": seed(0, 0, 1, 0, ascii_frame("0103020064")),
        "status_ascii": seed(0, 0, 1, 1, ascii_frame(status)),
        "status_ascii_pieces": seed(0, 0, 1, 1, ascii_frame(status), piece=3),
        "control_echo_ascii": seed(0, 0, 1, 2, ascii_frame("010620000001")),
        "modify_echo_ascii": seed(0, 1, 1, 3, ascii_frame("010600050064")),
        "exception_ascii": seed(0, 0, 1, 1, ascii_frame("018302")),
        "bad_lrc_ascii": seed(0, 0, 1, 0, b":010302006400\r\n"),
        "no_lf_ascii": seed(64, 0, 1, 0, ascii_frame("0103020064")[:-1] + b"\n"),
        "user_cmd_ascii": seed(2, 0, 1, 0, ascii_frame("0103020064")),
        "sequence_ascii": seed(4, 2, 1, 0, ascii_frame("0103020064")),
        "read_all_ascii": seed(8, 1, 1, 0, ascii_frame("0103020064")),
        "common_param_ascii": seed(32, 0, 1, 0, ascii_frame("0103020064")),
        "long_read_ascii": seed(2, 0, 1, 8, ascii_frame("0103FA" + "00" * 250)),
        "own_request_ascii": seed(0, 0, 1, 0, ascii_frame("0103020064"), request="0103000A0001"),
        "param_read_rtu": seed(1, 0, 1, 0, rtu_frame("0103020064")),
        "status_rtu": seed(1, 0, 1, 1, rtu_frame(status), piece=5),
        "control_echo_rtu": seed(1, 0, 1, 2, rtu_frame("010620000001")),
        "exception_rtu": seed(1, 0, 1, 1, rtu_frame("018302")),
        "long_read_rtu": seed(3, 0, 1, 8, rtu_frame("0103FA" + "00" * 250)),
        "late_rest_rtu": seed(65, 0, 1, 0, rtu_frame("0103020064")),
    }
    write_all(folder, seeds)


def write_all(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def table_store(folder, data_folder):
    os.makedirs(folder, exist_ok=True)
    for name in ("com_pro.dbf", "dspara.dbf", "usercmd.dbf"):
        shutil.copy(os.path.join(data_folder, name), os.path.join(folder, name))
    # the parameter table, cut after its first records, keeps the seed small
    with open(os.path.join(data_folder, "RM40.DBF"), "rb") as f:
        rm40 = f.read()
    header = int.from_bytes(rm40[8:10], "little")
    record = int.from_bytes(rm40[10:12], "little")
    head = bytearray(rm40[:header])
    head[4:8] = (12).to_bytes(4, "little")
    with open(os.path.join(folder, "RM40_head.dbf"), "wb") as f:
        f.write(bytes(head) + rm40[header:header + 12 * record] + b"\x1a")
    # a number field narrower than the edit the target posts: the edit must be
    # refused without leaving the query unable to close
    fields = [(b"A", b"N", 1, 0), (b"B", b"C", 4, 0)]
    header = 32 + 32 * len(fields) + 1
    record = 1 + sum(width for _, _, width, _ in fields)
    narrow = struct.pack("<BBBBIHH20x", 3, 126, 1, 1, 2, header, record)
    for name, kind, width, decimals in fields:
        narrow += name.ljust(11, b"\0") + kind + bytes(4) + bytes([width, decimals]) + bytes(14)
    narrow += b"\r" + b" 5abcd" + b" 7wxyz" + b"\x1a"
    with open(os.path.join(folder, "narrow_number.dbf"), "wb") as f:
        f.write(narrow)


def workbooks(folder):
    os.makedirs(folder, exist_ok=True)
    rows = [["Machine ID", "Function", "Address", "Data", "Reply", "Delay"],
            ["1", "03", "1000", "0006", "", "100"],
            [2, 6, 2000, 1, "", 250.5]]
    book = openpyxl.Workbook()
    for row in rows:
        book.active.append(row)
    book.save(os.path.join(folder, "commands.xlsx"))
    old = xlwt.Workbook()
    sheet = old.add_sheet("Sheet1")
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            sheet.write(r, c, value)
    old.save(os.path.join(folder, "commands.xls"))


def main():
    data_folder = sys.argv[1]
    corpus = os.path.join(HERE, "corpus")
    receive_path(os.path.join(corpus, "fuzz_receive_path"))
    table_store(os.path.join(corpus, "fuzz_table_store"), data_folder)
    workbooks(os.path.join(corpus, "fuzz_workbook_import"))


if __name__ == "__main__":
    main()
