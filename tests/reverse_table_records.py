"""Copies a dBASE table with its records in reverse order, through the dbf
library: a function table saved by another program need not keep CODE order.
usage: reverse_table_records.py SOURCE TARGET"""
import sys

import dbf

source = dbf.Table(sys.argv[1])
source.open(dbf.READ_ONLY)
target = dbf.Table(sys.argv[2], "; ".join(source.structure()), codepage=source.codepage.name)
target.open(dbf.READ_WRITE)
for record in reversed(list(source)):
    target.append(tuple(record))
target.close()
source.close()
