#!/usr/bin/python3
"""Describes a workbook as a spreadsheet reader sees it, for the tests: its
sheets, the frozen pane, the filter, whether row 1 is bold, then every row, the header first, as
a JSON list (numbers, strings, null for an empty cell). Given several, it
describes each in turn, each description followed by a line "end"."""
import json
import sys

import openpyxl

sys.stdout.reconfigure(encoding="utf-8", newline="\n")
for path in sys.argv[1:]:
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    print("sheets", json.dumps(book.sheetnames))
    print("frozen", sheet.freeze_panes)
    print("filter", sheet.auto_filter.ref)
    print("bold header", all(cell.font.b for cell in sheet[1] if cell.value is not None))
    print("columns", sheet.max_column)
    for row in sheet.iter_rows():
        print(json.dumps([cell.value for cell in row], ensure_ascii=False))
    if len(sys.argv) > 2:
        print("end")
