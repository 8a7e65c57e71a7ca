"""Reads an Excel workbook with openpyxl and prints what a test checks, as
JSON: the sheets' names, and for each sheet its frozen pane, its filter, the
widths of its columns and every row, each cell as [type, value] (a date as
ISO text, a formula as ["formula", its text]). Exit status 77 when openpyxl
is missing."""
import json
import sys

try:
    import openpyxl
except ImportError:
    sys.exit(77)


def cell(c):
    value = c.value
    if c.data_type == "f":
        return ["formula", value]
    if value is None:
        return ["vuota", None]
    if hasattr(value, "isoformat"):
        return ["data", value.isoformat()]
    return [type(value).__name__, value]


book = openpyxl.load_workbook(sys.argv[1])
report = {"fogli": book.sheetnames}
for sheet in book.worksheets:
    widths = {}
    for letter, dimension in sheet.column_dimensions.items():
        if dimension.width:
            widths[letter] = dimension.width
    report[sheet.title] = {
        "blocco": sheet.freeze_panes,
        "filtro": sheet.auto_filter.ref,
        "larghezze": widths,
        "righe": [[cell(c) for c in row] for row in sheet.iter_rows()],
    }
print(json.dumps(report, ensure_ascii=False))
