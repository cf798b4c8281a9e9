#!/usr/bin/env python3
"""Damages copies of real data files page by page and runs the program on them, keeping every input that
crashes it, hangs it or makes a sanitizer report.

Each copy gets 1 to 8 damaged pages, each damaged one way: bit flips, random header bytes, random slot
entries, a zeroed page, two pages swapped, or record length fields set to extremes. Every copy is scanned,
then a few of its tables are read with `rows --all` in a random mode (Standard or Advanced, with or
without deleted records). Run it with the sanitizer build's program:

    tools/mutation-campaign.py --quenlow build-sanitize/cli/quenlow --minutes 60 --out /tmp/campaign

A finding is kept in --out as <n>.mdf with <n>.txt (the command and what it printed). The totals are
printed at the end (and every 100 copies).
"""

import argparse
import gzip
import os
import random
import re
import subprocess
import sys
import tempfile
import time

PAGE = 8192
SANITIZER_MARKS = (b"ERROR: AddressSanitizer", b"runtime error:", b"ERROR: LeakSanitizer", b"ERROR: UndefinedBehaviorSanitizer")
MODES = (
    [],
    ["--deleted", "--advanced-deleted"],
    ["--mode", "advanced"],
    ["--mode", "advanced", "--deleted", "--advanced-deleted"],
)


def flip_bits(page, rng):
    for _ in range(rng.randint(1, 32)):
        i = rng.randrange(len(page))
        page[i] ^= 1 << rng.randrange(8)


def random_header(page, rng):
    for _ in range(rng.randint(1, 12)):
        page[rng.randrange(96)] = rng.randrange(256)


def random_slots(page, rng):
    slots = int.from_bytes(page[22:24], "little")
    for _ in range(rng.randint(1, 8)):
        k = rng.randrange(max(1, min(slots, 4000)))
        at = PAGE - 2 - 2 * k
        if at > 96:
            page[at:at + 2] = rng.choice([0, 1, 95, 96, 8191, 8192, 0xFFFF, rng.randrange(65536)]).to_bytes(2, "little")


def zero(page, rng):
    page[:] = bytes(PAGE)


def extreme_lengths(page, rng):
    """Two-byte fields inside the records (fixed-part ends, column counts, variable offsets) at extremes."""
    slots = int.from_bytes(page[22:24], "little")
    for _ in range(rng.randint(1, 6)):
        k = rng.randrange(max(1, min(slots, 4000)))
        at = PAGE - 2 - 2 * k
        if at <= 96:
            continue
        record = int.from_bytes(page[at:at + 2], "little")
        if 96 <= record < PAGE - 8:
            field = record + rng.choice([2, 2, 4, 6, 8, 10, 12, 14])
            if field + 2 <= PAGE:
                page[field:field + 2] = rng.choice([0, 1, 0x7FFF, 0x8000, 0xFFFF]).to_bytes(2, "little")


DAMAGES = [flip_bits, random_header, random_slots, zero, extreme_lengths]


def damage(image, rng):
    """Damages 1 to 8 pages of image (a bytearray) in place; returns how many."""
    pages = len(image) // PAGE
    count = rng.randint(1, 8)
    for _ in range(count):
        p = rng.randrange(1, pages)
        if rng.random() < 0.1:
            q = rng.randrange(1, pages)
            a, b = image[p * PAGE:(p + 1) * PAGE], image[q * PAGE:(q + 1) * PAGE]
            image[p * PAGE:(p + 1) * PAGE], image[q * PAGE:(q + 1) * PAGE] = b, a
            continue
        page = image[p * PAGE:(p + 1) * PAGE]
        rng.choice(DAMAGES)(page, rng)
        image[p * PAGE:(p + 1) * PAGE] = page
    return count


class Campaign:
    def __init__(self, args):
        self.args = args
        self.totals = dict(copies=0, damaged_pages=0, runs=0, crashes=0, hangs=0, sanitizer_reports=0)
        self.findings = 0
        os.makedirs(args.out, exist_ok=True)

    def run(self, command, copy):
        self.totals["runs"] += 1
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=0", UBSAN_OPTIONS="print_stacktrace=1")
        try:
            done = subprocess.run(command, capture_output=True, timeout=self.args.timeout, env=env)
        except subprocess.TimeoutExpired:
            self.totals["hangs"] += 1
            self.keep(command, copy, "hang", b"")
            return None
        report = any(mark in done.stderr for mark in SANITIZER_MARKS)
        if report:
            self.totals["sanitizer_reports"] += 1
            self.keep(command, copy, "sanitizer report", done.stderr)
        elif done.returncode < 0 or done.returncode > 2:
            self.totals["crashes"] += 1
            self.keep(command, copy, f"exit {done.returncode}", done.stderr)
        return done

    def keep(self, command, copy, what, stderr):
        self.findings += 1
        base = os.path.join(self.args.out, str(self.findings))
        with open(copy, "rb") as src, open(base + ".mdf", "wb") as dst:
            dst.write(src.read())
        with open(base + ".txt", "wb") as note:
            note.write(f"{what}\n{' '.join(command)}\n".encode() + stderr[-20000:])
        print(f"finding {self.findings}: {what}: {' '.join(command)}", file=sys.stderr)

    def print_totals(self):
        print(" ".join(f"{k}={v}" for k, v in self.totals.items()), flush=True)


def tables_of(outline):
    """The bold table items of a scan's outline (they end in " *")."""
    tables = []
    for line in outline.decode("utf-8", "replace").splitlines():
        m = re.match(r"^ {6}(\S.*) \*$", line)
        if m:
            tables.append(m.group(1))
    return tables


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--quenlow", default=os.path.join(here, "..", "build-sanitize", "cli", "quenlow"))
    parser.add_argument("--corpus", default=os.path.join(here, "..", "..", "shared", "corpus", "files"))
    parser.add_argument("--minutes", type=float, default=60)
    parser.add_argument("--out", default=os.path.join(tempfile.gettempdir(), "quenlow-campaign"))
    parser.add_argument("--timeout", type=float, default=60, help="seconds a run may take before it counts as a hang")
    parser.add_argument("--tables", type=int, default=3, help="tables read per copy")
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    files = sorted(f for f in os.listdir(args.corpus) if f.endswith(".mdf.gz"))
    if not files:
        sys.exit(f"no .mdf.gz files in {args.corpus}")
    images = {}
    campaign = Campaign(args)
    end = time.monotonic() + args.minutes * 60
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, "copy.mdf")
        while time.monotonic() < end:
            name = rng.choice(files)
            if name not in images:
                with gzip.open(os.path.join(args.corpus, name)) as f:
                    images[name] = f.read()
            image = bytearray(images[name])
            campaign.totals["damaged_pages"] += damage(image, rng)
            campaign.totals["copies"] += 1
            with open(copy, "wb") as f:
                f.write(image)
            scanned = campaign.run([args.quenlow, "scan", "-q", copy], copy)
            if scanned is not None and scanned.returncode == 0:
                tables = tables_of(scanned.stdout)
                for table in rng.sample(tables, min(args.tables, len(tables))):
                    mode = rng.choice(MODES)
                    campaign.run([args.quenlow, "rows", "-q", "--all", "--format", "csv", copy, table, *mode], copy)
            if campaign.totals["copies"] % 100 == 0:
                campaign.print_totals()
    campaign.print_totals()
    return 1 if campaign.findings else 0


if __name__ == "__main__":
    sys.exit(main())
