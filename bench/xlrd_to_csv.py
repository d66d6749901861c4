#!/usr/bin/python3
"""The reference of host_xls_bench: python3-xlrd reads every cell of the
first sheet of an .xls and writes it as CSV.

usage: xlrd_to_csv.py IN.xls OUT.csv
"""
import csv
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1])
sheet = book.sheet_by_index(0)
with open(sys.argv[2], 'w', newline='', encoding='utf-8') as f:
    out = csv.writer(f)
    for r in range(sheet.nrows):
        out.writerow(sheet.row_values(r))
