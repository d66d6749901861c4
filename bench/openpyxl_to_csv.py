#!/usr/bin/python3
"""The reference of xlsx_bench.sh: python3-openpyxl reads every cell of the
first sheet of an .xlsx in read-only mode and writes it as CSV.

usage: openpyxl_to_csv.py IN.xlsx OUT.csv
"""
import csv
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1], read_only=True)
sheet = book.worksheets[0]
rows = 0
with open(sys.argv[2], 'w', newline='', encoding='utf-8') as f:
    out = csv.writer(f)
    for row in sheet.iter_rows(values_only=True):
        out.writerow(row)
        rows += 1
book.close()
print(rows)
