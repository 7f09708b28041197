#!/usr/bin/env python3
"""Reads a ralvex-lab log with Python's own csv, json and sqlite3 modules, independently of the
writers, and prints it in one canonical form so the tests can compare formats:

    columns time,elapsed_s,...
    row <value>|<value>|...        (numbers as '%.10g', the time as written)
    run <start>|<serial>|<options>|<summary>     (SQLite only)

Every structural fault (a wrong header or key order, a line with another number of fields, a
last line without its newline, a value of the wrong type or decimals, a damaged database) is
printed to standard error and ends the program with 1.

Usage: read_log.py csv|jsonl|sqlite PATH
"""
import csv
import json
import re
import sqlite3
import sys

# Each column and what it holds: "text", "int", or the number of decimals.
COLUMNS = [("time", "text"), ("elapsed_s", 3), ("voltage_mv", "int"), ("current_ma", "int"),
           ("set_current_ma", "int"), ("loopback_ma", "int"), ("power_mw", 1),
           ("temperature_c", "int"), ("charge_mah", 3), ("energy_mwh", 3)]
NAMES = [name for name, _ in COLUMNS]
TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def canonical(values, where):
    out = []
    for (name, kind), value in zip(COLUMNS, values):
        if kind == "text":
            if not isinstance(value, str) or not TIME.match(value):
                fail(f"{where}: {name} is not a UTC time stamp: {value!r}")
            out.append(value)
        elif kind == "int":
            if isinstance(value, bool) or not isinstance(value, int):
                fail(f"{where}: {name} is not an integer: {value!r}")
            out.append(str(value))
        else:
            if isinstance(value, bool) or not isinstance(value, (int, float)):
                fail(f"{where}: {name} is not a number: {value!r}")
            out.append("%.10g" % value)
    return "|".join(out)


def csv_value(kind, text, where):
    if kind == "text":
        return text
    if kind == "int":
        if not re.fullmatch(r"-?\d+", text):
            fail(f"{where}: not an integer: {text!r}")
        return int(text)
    if not re.fullmatch(r"-?\d+\.\d{%d}" % kind, text):
        fail(f"{where}: not a number with {kind} decimals: {text!r}")
    return float(text)


def read_text(path):
    with open(path, newline="", encoding="utf-8") as f:
        text = f.read()
    if text and not text.endswith("\n"):
        fail(f"{path}: the last line is not complete")
    return text


def read_csv(path):
    rows = list(csv.reader(read_text(path).splitlines()))
    if not rows or rows[0] != NAMES:
        fail(f"{path}: the header is {rows[:1]}")
    print("columns " + ",".join(rows[0]))
    for number, row in enumerate(rows[1:], start=2):
        where = f"{path}:{number}"
        if len(row) != len(COLUMNS):
            fail(f"{where}: {len(row)} fields")
        print("row " + canonical([csv_value(k, t, where) for (_, k), t in zip(COLUMNS, row)],
                                 where))


def read_jsonl(path):
    print("columns " + ",".join(NAMES))
    for number, line in enumerate(read_text(path).splitlines(), start=1):
        where = f"{path}:{number}"
        try:
            record = json.loads(line)
        except ValueError as error:
            fail(f"{where}: {error}")
        if not isinstance(record, dict) or list(record) != NAMES:
            fail(f"{where}: the keys are {list(record) if isinstance(record, dict) else record}")
        print("row " + canonical(list(record.values()), where))


def read_sqlite(path):
    db = sqlite3.connect(f"file:{path}?mode=rw", uri=True)
    check = db.execute("PRAGMA integrity_check").fetchall()
    if check != [("ok",)]:
        fail(f"{path}: integrity check: {check}")
    mode = db.execute("PRAGMA journal_mode").fetchone()[0]
    if mode != "wal":
        fail(f"{path}: journal mode {mode}")
    names = [row[1] for row in db.execute("PRAGMA table_info(samples)")]
    if names != NAMES:
        fail(f"{path}: samples has the columns {names}")
    run_names = [row[1] for row in db.execute("PRAGMA table_info(runs)")]
    if not {"start_time", "serial", "options", "summary"} <= set(run_names):
        fail(f"{path}: runs has the columns {run_names}")
    print("columns " + ",".join(names))
    for number, row in enumerate(db.execute("SELECT * FROM samples ORDER BY rowid"), start=1):
        print("row " + canonical(list(row), f"{path}: sample {number}"))
    for row in db.execute("SELECT start_time, serial, options, summary FROM runs ORDER BY id"):
        print("run " + "|".join("" if v is None else str(v) for v in row))


READERS = {"csv": read_csv, "jsonl": read_jsonl, "sqlite": read_sqlite}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in READERS:
        fail(__doc__.splitlines()[-1])
    READERS[sys.argv[1]](sys.argv[2])
