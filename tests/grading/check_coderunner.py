"""Checks objects printed for a CodeRunner combinator template grader.

    python3 check_coderunner.py SCHEMA FILE...

Each FILE must hold one JSON object valid against SCHEMA (JSON Schema
2020-12, read with python3-jsonschema), every row of its "testresults" as
long as the header, and 0 or 1 in its "iscorrect" and "ishidden" columns.
Prints what is wrong with each file and exits with 1 when anything is.
"""
import json
import sys

import jsonschema


def problems(schema, path):
    with open(path, encoding="utf-8") as file:
        text = file.read()
    try:
        report = json.loads(text)
    except ValueError as error:
        return [f"not JSON: {error}"]
    found = [error.message for error in jsonschema.Draft202012Validator(schema).iter_errors(report)]
    rows = report.get("testresults") if isinstance(report, dict) else None
    if found or not rows:
        return found
    header = rows[0]
    flags = [index for index, name in enumerate(header) if name in ("iscorrect", "ishidden")]
    for number, row in enumerate(rows[1:], start=1):
        if len(row) != len(header):
            found.append(f"row {number} has {len(row)} cells, the header {len(header)}")
            continue
        for index in flags:
            if row[index] not in (0, 1) or isinstance(row[index], bool):
                found.append(f"row {number}: {header[index]} is {row[index]!r}, not 0 or 1")
    return found


def main():
    with open(sys.argv[1], encoding="utf-8") as file:
        schema = json.load(file)
    jsonschema.Draft202012Validator.check_schema(schema)
    status = 0
    for path in sys.argv[2:]:
        for problem in problems(schema, path):
            print(f"{path}: {problem}")
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
