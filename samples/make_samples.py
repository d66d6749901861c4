#!/usr/bin/python3
"""Writes the bundled sample workbook and CSV file that scripts/demo converts.

Run by hand (samples/make_samples.py) after changing it; the outputs
are committed. Needs Debian's python3-openpyxl.
"""
import csv
import datetime as dt
import os

from openpyxl import Workbook

here = os.path.dirname(os.path.abspath(__file__))

wb = Workbook()
orders = wb.active
orders.title = "Orders"
orders.append(["Order ID", "Customer", "Ordered on", "Shipped at", "Quantity", "Unit price", "Total", "Paid", "Notes"])
rows = [
    (1001, "O'Brien & Sons", dt.date(2024, 1, 5), dt.datetime(2024, 1, 6, 9, 30), 3, 19.99, None, True, "First order"),
    (1002, "Müller GmbH", dt.date(2024, 2, 29), dt.datetime(2024, 3, 1, 14, 5, 12), 12, 4.5, None, False,
     "Leap day; \"rush\" delivery"),
    (1003, "Société Générale de Café", dt.date(2024, 3, 31), None, 1, 1250.0, None, True, "Line one\nLine two"),
    (1004, "東京商事", dt.date(2024, 4, 2), dt.datetime(2024, 4, 3, 8, 0), 7, 0.99, None, True, None),
    (1005, "Back\\slash Ltd", dt.date(2024, 5, 17), dt.datetime(2024, 5, 18, 23, 59, 59), 2500000, 0.01, None, False,
     "Bulk"),
]
for i, r in enumerate(rows, start=2):
    orders.append(list(r))
    orders.cell(row=i, column=7).value = round(r[4] * r[5], 2)
    orders.cell(row=i, column=3).number_format = "yyyy-mm-dd"
    orders.cell(row=i, column=4).number_format = "yyyy-mm-dd hh:mm:ss"
    orders.cell(row=i, column=6).number_format = '"$"#,##0.00'
    orders.cell(row=i, column=7).number_format = '"$"#,##0.00'

staff = wb.create_sheet("Staff Hours")
staff.append(["Employee", "Shift start", "Shift end", "Hours", "Badge"])
for name, start, end, badge in [("Ana", (8, 0), (16, 30), "A-001"), ("Bo", (22, 0), (6, 0), "B-017"),
                                ("Cyd", (9, 15), (17, 45), "0042")]:
    s = dt.time(*start)
    e = dt.time(*end)
    hours = ((e.hour * 60 + e.minute) - (s.hour * 60 + s.minute)) % (24 * 60) / 60
    staff.append([name, s, e, hours, badge])
for row in staff.iter_rows(min_row=2, min_col=2, max_col=3):
    for c in row:
        c.number_format = "hh:mm"

mixed = wb.create_sheet("Readings")
mixed.append(["Sensor", "Value", "Big counter", "Comment"])
mixed.append(["t-1", 21.5, 3000000000, "ok"])
mixed.append(["t-2", 22, 3000000001, None])
mixed.append(["t-3", "n/a", 3000000002, "sensor offline"])
wb.save(os.path.join(here, "sales.xlsx"))

with open(os.path.join(here, "sales.csv"), "w", newline="", encoding="utf-8") as f:
    w = csv.writer(f)
    w.writerow(["order_id", "customer", "ordered_on", "quantity", "unit_price", "big_counter", "notes"])
    w.writerow([1001, "O'Brien & Sons", "2024-01-05", 3, "19.99", 3000000000, "First order"])
    w.writerow([1002, "Müller GmbH", "2024-02-29", 12, "4.5", 3000000001, 'Leap day; "rush" delivery'])
    w.writerow([1003, "Société Générale de Café", "2024-03-31", 1, "1250", 3000000002, "Line one\nLine two"])
    w.writerow([1004, "東京商事", "2024-04-02", 7, "0.99", 3000000003, ""])
    w.writerow([1005, "Back\\slash Ltd", "2024-05-17", 2500000, "0.01", 3000000004, "Bulk"])
