#!/usr/bin/env python3
"""Writes data/collation.txt, the collation list shipped beside the quenlow executable.

Input: a TAB separated table with one collation a row: name, collation id (as the server reports it,
signed 32-bit decimal) and the Windows code page of its 8-bit text (0 for Unicode-only collations).
Output: the same three fields a line, TAB separated, 8-bit text, LF line ends, in input order.

Rows are checked before anything is written: a name must be non-empty 8-bit text without TAB or line
breaks, the id must fit in 32 signed bits, the code page must be a non-negative number, and an id may
appear only once (the reader lets a later line replace an earlier one, which would hide a mistake).
"""

import argparse
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DEFAULT_INPUT = ROOT.parent / "shared" / "collations.tsv"
DEFAULT_OUTPUT = ROOT / "data" / "collation.txt"
INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1


class RowError(ValueError):
    pass


def parse_row(line_no, line):
    fields = line.split("\t")
    if len(fields) != 3:
        raise RowError(f"line {line_no}: expected 3 TAB separated fields, found {len(fields)}")
    name, id_text, code_page_text = (f.strip() for f in fields)
    if not name:
        raise RowError(f"line {line_no}: empty collation name")
    try:
        name.encode("latin-1")
    except UnicodeEncodeError:
        raise RowError(f"line {line_no}: name {name!r} is not 8-bit text") from None
    try:
        collation_id = int(id_text, 10)
        code_page = int(code_page_text, 10)
    except ValueError:
        raise RowError(f"line {line_no}: id {id_text!r} or code page {code_page_text!r} is not a number") from None
    if not INT32_MIN <= collation_id <= INT32_MAX:
        raise RowError(f"line {line_no}: id {collation_id} does not fit in 32 signed bits")
    if not 0 <= code_page <= 65535:
        raise RowError(f"line {line_no}: code page {code_page} out of range")
    return name, collation_id, code_page


def read_rows(path):
    rows, seen = [], {}
    text = path.read_text(encoding="utf-8")
    for line_no, line in enumerate(text.splitlines(), start=1):
        if not line.strip():
            continue
        name, collation_id, code_page = parse_row(line_no, line)
        if collation_id in seen:
            raise RowError(f"line {line_no}: id {collation_id} of {name} already used by {seen[collation_id]}")
        seen[collation_id] = name
        rows.append((name, collation_id, code_page))
    return rows


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--input", type=pathlib.Path, default=DEFAULT_INPUT, help="collation table (TSV)")
    parser.add_argument("--output", type=pathlib.Path, default=DEFAULT_OUTPUT, help="file to write")
    args = parser.parse_args(argv)
    try:
        rows = read_rows(args.input)
    except (OSError, RowError) as e:
        print(f"make-collation-txt: {e}", file=sys.stderr)
        return 1
    body = "".join(f"{name}\t{collation_id}\t{code_page}\n" for name, collation_id, code_page in rows)
    args.output.write_bytes(body.encode("latin-1"))
    print(f"make-collation-txt: wrote {len(rows)} collations to {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
