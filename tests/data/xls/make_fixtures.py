#!/usr/bin/python3
"""Writes the .xls fixtures of the BIFF reader tests with python3-xlwt.

Run by hand from this folder (/usr/bin/python3 make_fixtures.py) and commit
the files it writes beside it. Each file shows one behaviour; the tests
state the expected values from what is written here.
"""
import datetime

import xlwt

# Built-in formats: xlwt stores these codes by their built-in ids (no FORMAT record).
BUILTIN_DATE = xlwt.easyxf(num_format_str='M/D/YY')                 # id 14
BUILTIN_TIME = xlwt.easyxf(num_format_str='h:mm:ss')                # id 21
BUILTIN_DATE_TIME = xlwt.easyxf(num_format_str='M/D/YY h:mm')       # id 22
BUILTIN_PERCENT = xlwt.easyxf(num_format_str='0.00%')               # id 10
BUILTIN_CURRENCY = xlwt.easyxf(num_format_str='"$"#,##0.00_);("$"#,##0.00)')  # id 7
# Custom formats: stored in FORMAT records.
CUSTOM_DATE = xlwt.easyxf(num_format_str='yyyy-mm-dd')
CUSTOM_TIME = xlwt.easyxf(num_format_str='hh:mm')
CUSTOM_DATE_TIME = xlwt.easyxf(num_format_str='dd.mm.yyyy hh:mm:ss')
CUSTOM_EURO = xlwt.easyxf(num_format_str='#,##0.00 [$\u20ac-407]')
CUSTOM_PERCENT = xlwt.easyxf(num_format_str='0.0%')
PLAIN_DECIMALS = xlwt.easyxf(num_format_str='0.000')
FILLED = xlwt.easyxf('pattern: pattern solid, fore_colour yellow')


def cell_kinds():
    book = xlwt.Workbook()
    s = book.add_sheet('Kinds')
    # Row 0: numbers stored as RK (integers and x/100 decimals), written
    # side by side so xlwt packs them into one MULRK record.
    for col, value in enumerate([0, 42, -7, 536870911, -536870912, 1.25, -0.5]):
        s.write(0, col, value)
    # Row 1: numbers that need a full NUMBER record.
    for col, value in enumerate([3.141592653589793, 1e300, -2.5e-300, 123456789012.75, 0.1]):
        s.write(1, col, value)
    # Row 2: booleans and text.
    s.write(2, 0, True)
    s.write(2, 1, False)
    s.write(2, 2, 'text')
    # Row 3: error cells.
    row = s.row(3)
    row.set_cell_error(0, '#DIV/0!')
    row.set_cell_error(1, 0x2A)  # #N/A
    # Row 4: blanks with formatting only (BLANK and MULBLANK), then one value.
    s.write(4, 0, None, FILLED)
    s.write(4, 1, None, FILLED)
    s.write(4, 2, None, FILLED)
    s.write(4, 3, 7)
    # Row 5: a single formatted blank, and a value far to the right.
    s.write(5, 1, None, FILLED)
    s.write(5, 200, 'far')
    book.save('cell_kinds.xls')


def dates(name, date1904):
    book = xlwt.Workbook()
    book.dates_1904 = date1904
    s = book.add_sheet('Dates')
    values = [
        (datetime.date(1900, 1, 1) if not date1904 else datetime.date(1904, 1, 1), BUILTIN_DATE),
        (datetime.date(1900, 2, 28) if not date1904 else datetime.date(1904, 2, 29), BUILTIN_DATE),
        (datetime.date(1900, 3, 1) if not date1904 else datetime.date(1904, 3, 1), CUSTOM_DATE),
        (datetime.date(2024, 2, 29), CUSTOM_DATE),
        (datetime.date(9999, 12, 31), CUSTOM_DATE),
        (datetime.datetime(2024, 7, 15, 13, 45, 30), CUSTOM_DATE_TIME),
        (datetime.datetime(1999, 12, 31, 23, 59, 59), BUILTIN_DATE_TIME),
        (datetime.time(12, 0, 0), BUILTIN_TIME),
        (datetime.time(6, 30, 0), CUSTOM_TIME),
    ]
    for r, (value, style) in enumerate(values):
        s.write(r, 0, value, style)
    book.save(name)


def number_formats():
    """One column per number class: currency, percent, plain, times, dates."""
    book = xlwt.Workbook()
    s = book.add_sheet('Formats')
    columns = [
        [(1234.5, BUILTIN_CURRENCY), (-0.75, BUILTIN_CURRENCY), (99.99, CUSTOM_EURO)],
        [(0.125, BUILTIN_PERCENT), (0.5, CUSTOM_PERCENT)],
        [(2.5, PLAIN_DECIMALS), (3, None)],
        [(datetime.time(12, 0, 0), BUILTIN_TIME), (datetime.time(6, 30, 0), CUSTOM_TIME)],
        [(datetime.date(2024, 2, 29), BUILTIN_DATE), (datetime.date(1999, 12, 31), CUSTOM_DATE)],
    ]
    for c, column in enumerate(columns):
        for r, (value, style) in enumerate(column):
            if style is None:
                s.write(r, c, value)
            else:
                s.write(r, c, value, style)
    book.save('number_formats.xls')


def meanings():
    """Numbers whose formats mean different things: one column of every
    meaning, durations under the built-in [h]:mm:ss (id 46, no FORMAT
    record) within and past 838 hours, and negative serials under date and
    time formats."""
    book = xlwt.Workbook()
    s = book.add_sheet('Meanings')
    elapsed = xlwt.easyxf(num_format_str='[h]:mm:ss')
    for c, head in enumerate(['every', 'within', 'past', 'negative']):
        s.write(0, c, head)
    every = [(45000, CUSTOM_DATE), (0.75, CUSTOM_TIME), (45000.5, CUSTOM_DATE_TIME), (1.5, elapsed), (12.5, None),
             (19.99, BUILTIN_CURRENCY)]
    within = [(0.25, elapsed), (34.5, elapsed), (-0.5, elapsed)]
    past = [(1, elapsed), (59, elapsed), (60, elapsed), (61, elapsed)]
    negative = [(-1.25, CUSTOM_DATE_TIME), (-0.5, BUILTIN_TIME), (-3, BUILTIN_DATE)]
    for c, column in enumerate([every, within, past, negative]):
        for r, (value, style) in enumerate(column):
            if style is None:
                s.write(r + 1, c, value)
            else:
                s.write(r + 1, c, value, style)
    book.save('meanings.xls')


def long_text(seed, length, alphabet):
    out = []
    x = seed
    while len(out) < length:
        x = (x * 1103515245 + 12345) % 2147483648
        out.append(alphabet[x % len(alphabet)])
    return ''.join(out)


LATIN = 'abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789'
WIDE = 'abc \u00e9\u00fc\u0142\u4e2d\u6587\u0436\u03a9'


def sst_continue():
    """Strings that cross the CONTINUE records of the shared-strings table."""
    book = xlwt.Workbook()
    s = book.add_sheet('Strings')
    # Column 0: 3,000 unique short strings (many record boundaries fall
    # between or inside them). Text i is 'str-%05d' % i repeated i % 7 + 1 times.
    for i in range(3000):
        s.write(i, 0, ('str-%05d' % i) * (i % 7 + 1))
    # Column 1: long texts, one-byte (20,000 characters) and two-byte
    # (12,000 characters), each spanning several CONTINUE records.
    s.write(0, 1, long_text(1, 20000, LATIN))
    s.write(1, 1, long_text(2, 12000, WIDE))
    s.write(2, 1, long_text(3, 9000, LATIN))
    s.write(3, 1, long_text(4, 5000, WIDE))
    book.save('sst_continue.xls')


def unicode_text():
    book = xlwt.Workbook()
    s = book.add_sheet('Unicode')
    texts = [
        'caf\u00e9',
        '\u4e2d\u6587\u6587\u672c',
        '\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439',
        '\u05e9\u05dc\u05d5\u05dd',
        'emoji \U0001F600 pair',
        'line one\nline two',
        'tab\there',
        '  spaced  ',
        '\u00ff\u0100',
    ]
    for r, t in enumerate(texts):
        s.write(r, 0, t)
    book.save('unicode_text.xls')


def sheets():
    book = xlwt.Workbook()
    for name in ['Z', 'a', 'My Data', "O'Brien", 'Hidden', 'b', 'Sales-2024', '\u00dcbersicht']:
        s = book.add_sheet(name)
        s.write(0, 0, name)
        if name == 'Hidden':
            s.visibility = 1
    book.save('sheets.xls')


def formulas():
    """xlwt stores formulas without a cached result: they read as no value."""
    book = xlwt.Workbook()
    s = book.add_sheet('Formulas')
    s.write(0, 0, 2)
    s.write(0, 1, xlwt.Formula('A1*21'))
    s.write(0, 2, xlwt.Formula('"x"&A1'))
    s.write(0, 3, 'after')
    book.save('formulas_uncached.xls')


if __name__ == '__main__':
    meanings()
    cell_kinds()
    dates('dates_1900.xls', False)
    dates('dates_1904.xls', True)
    number_formats()
    sst_continue()
    unicode_text()
    sheets()
    formulas()
