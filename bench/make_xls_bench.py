#!/usr/bin/python3
"""Writes the .xls of the host_xls_bench benchmark with python3-xlwt.

usage: make_xls_bench.py OUT.xls [ROWS]
A header row, then ROWS rows (default 60,000) of 13 typed columns: mostly
unique long texts, integers, decimals, dates and currency amounts. The
content depends only on the row number.
"""
import sys

import xlwt

out = sys.argv[1]
rows = int(sys.argv[2]) if len(sys.argv) > 2 else 60000

book = xlwt.Workbook(encoding='utf-8')
sheet = book.add_sheet('Data')
date = xlwt.easyxf(num_format_str='yyyy-mm-dd')
money = xlwt.easyxf(num_format_str='#,##0.00 [$\u20ac-407]')
heads = ['id', 'name', 'street', 'city', 'note', 'comment', 'qty', 'price', 'ratio', 'created', 'shipped',
         'amount', 'fee']
for c, h in enumerate(heads):
    sheet.write(0, c, h)
for r in range(1, rows + 1):
    w = sheet.write
    w(r, 0, r)
    w(r, 1, 'Customer %d of the large benchmark workbook' % r)
    w(r, 2, '%d Long Street Name With Several Words, Building %d' % (r % 9973, r))
    w(r, 3, 'City number %d' % (r % 500))
    w(r, 4, 'Note %d: lorem ipsum dolor sit amet, consectetur adipiscing elit' % r)
    w(r, 5, 'Comment %x with \u00e4\u00f6\u00fc and \u20ac signs, row %d' % ((r * 2654435761) % 2**32, r))
    w(r, 6, r % 1000)
    w(r, 7, r * 0.37)
    w(r, 8, 1.0 / r)
    w(r, 9, 40000 + r % 5000, date)
    w(r, 10, 40010 + r % 5000, date)
    w(r, 11, r * 1.25, money)
    w(r, 12, (r % 100) * 0.5, money)
    if r % 1000 == 0:
        sheet.flush_row_data()
book.save(out)
