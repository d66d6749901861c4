#!/usr/bin/python3
"""Writes the .xls of the host_xls_bench and host_biff4_bench benchmarks.

usage: make_xls_bench.py OUT.xls [ROWS] [--biff4]
A header row, then ROWS rows (default 60,000) of 13 typed columns: mostly
unique long texts, integers, decimals, dates and currency amounts. The
content depends only on the row number. By default python3-xlwt writes an
Excel 97 workbook (BIFF8) with one sheet 'Data'; with --biff4 the same
cells go into an Excel 4.0 worksheet file (BIFF4), written here record by
record as Excel 4.0 stores them: RK for whole numbers, NUMBER for the rest,
LABEL texts in code page 1252, formats through XF records.
"""
import struct
import sys

args = [a for a in sys.argv[1:] if not a.startswith('--')]
out = args[0]
rows = int(args[1]) if len(args) > 1 else 60000
biff4 = '--biff4' in sys.argv

HEADS = ['id', 'name', 'street', 'city', 'note', 'comment', 'qty', 'price', 'ratio', 'created', 'shipped',
         'amount', 'fee']
PLAIN, DATE, MONEY = 0, 1, 2
DATE_CODE = 'yyyy-mm-dd'
MONEY_CODE = '#,##0.00 [$\u20ac-407]'


def row(r):
    """The cells of data row r: (value, style) pairs."""
    return [
        (r, PLAIN),
        ('Customer %d of the large benchmark workbook' % r, PLAIN),
        ('%d Long Street Name With Several Words, Building %d' % (r % 9973, r), PLAIN),
        ('City number %d' % (r % 500), PLAIN),
        ('Note %d: lorem ipsum dolor sit amet, consectetur adipiscing elit' % r, PLAIN),
        ('Comment %x with \u00e4\u00f6\u00fc and \u20ac signs, row %d' % ((r * 2654435761) % 2**32, r), PLAIN),
        (r % 1000, PLAIN),
        (r * 0.37, PLAIN),
        (1.0 / r, PLAIN),
        (40000 + r % 5000, DATE),
        (40010 + r % 5000, DATE),
        (r * 1.25, MONEY),
        ((r % 100) * 0.5, MONEY),
    ]


def write_biff8():
    import xlwt
    book = xlwt.Workbook(encoding='utf-8')
    sheet = book.add_sheet('Data')
    styles = {PLAIN: None, DATE: xlwt.easyxf(num_format_str=DATE_CODE),
              MONEY: xlwt.easyxf(num_format_str=MONEY_CODE)}
    for c, h in enumerate(HEADS):
        sheet.write(0, c, h)
    for r in range(1, rows + 1):
        for c, (value, style) in enumerate(row(r)):
            if styles[style] is None:
                sheet.write(r, c, value)
            else:
                sheet.write(r, c, value, styles[style])
        if r % 1000 == 0:
            sheet.flush_row_data()
    book.save(out)


def record(kind, body):
    return struct.pack('<HH', kind, len(body)) + body


def rk(value):
    """The RK form of a whole number that fits 30 bits, else None."""
    if isinstance(value, int) and -(1 << 29) <= value < (1 << 29):
        return (value << 2) | 2
    return None


def cell(r, c, value, xf):
    if isinstance(value, str):
        text = value.encode('cp1252')
        return record(0x0204, struct.pack('<HHHH', r, c, xf, len(text)) + text)
    packed = rk(value)
    if packed is not None:
        return record(0x027E, struct.pack('<HHHI', r, c, xf, packed & 0xFFFFFFFF))
    return record(0x0203, struct.pack('<HHHd', r, c, xf, value))


def write_biff4():
    parts = [record(0x0409, struct.pack('<HHH', 0x0400, 0x0010, 0)), record(0x0042, struct.pack('<H', 1252))]
    for code in ['General', DATE_CODE, MONEY_CODE]:
        data = code.encode('cp1252')
        parts.append(record(0x041E, struct.pack('<HB', 0, len(data)) + data))
    for fmt in (0, 1, 2):  # XF i names format i: PLAIN, DATE, MONEY
        parts.append(record(0x0443, bytes([0, fmt]) + bytes(10)))
    parts.append(record(0x0200, struct.pack('<HHHHH', 0, rows + 1, 0, len(HEADS), 0)))  # DIMENSION
    with open(out, 'wb') as f:
        f.write(b''.join(parts))
        f.write(b''.join(cell(0, c, h, PLAIN) for c, h in enumerate(HEADS)))
        for r in range(1, rows + 1):
            f.write(b''.join(cell(r, c, value, style) for c, (value, style) in enumerate(row(r))))
        f.write(record(0x000A, b''))


if biff4:
    write_biff4()
else:
    write_biff8()
