#!/usr/bin/env bash
# Builds the program in Release mode and measures `quenlow export` of the 1,000,000-row builder table
# (tools/quenlow-make-rows-db: int, nvarchar(40), datetime, money, bit, decimal(18,2)) to CSV and to
# SQLite: wall time of the whole command (open, catalog scan, tree, export), rows per second, and the
# peak resident memory (/usr/bin/time -v). Each run is a process of its own; the median of the runs is
# shown. For comparison, the sqlite3 shell prints the same rows from the exported SQLite file as CSV.
#
#   bench/run-export-bench.sh [build folder]      (default: build-bench; ROWS=..., RUNS=... to change)
#
# Measured on the 2-core build machine, shared with other builds, 1,000,000 rows on 9,407 data pages,
# 3 runs (the time includes opening and scanning the file; the export is single-threaded):
#
#                              wall median   rows/s     peak RSS
#   export --to csv            1.77 s        565,000    7.4 MB
#   export --to sqlite         3.51 s        285,000    10.0 MB
#   rows --all --format csv    1.78 s        562,000    7.3 MB
#   sqlite3 -csv (same rows)   1.63 s        613,000    5.8 MB
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
rows=${ROWS:-1000000}
runs=${RUNS:-3}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENLOW_BUILD_TESTS=OFF -DQUENLOW_BUILD_BENCH=OFF \
    -DQUENLOW_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target quenlow quenlow-make-rows-db

data="$build/bench-data/rows_${rows}.mdf"
if [[ ! -f "$data" ]]; then
    mkdir -p "$(dirname "$data")"
    "$build/tools/quenlow-make-rows-db" "$data" "$rows"
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

python3 - "$build/cli/quenlow" "$data" "$rows" "$runs" "$out" <<'PY'
import os, re, statistics, subprocess, sys
program, data, rows, runs, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]

def timed(args, stdout=subprocess.DEVNULL):
    r = subprocess.run(["/usr/bin/time", "-v"] + args, stdout=stdout, stderr=subprocess.PIPE, text=True,
                       check=True)
    wall = re.search(r"Elapsed \(wall clock\) time.*: (?:(\d+):)?(\d+):([\d.]+)", r.stderr)
    seconds = int(wall.group(1) or 0) * 3600 + int(wall.group(2)) * 60 + float(wall.group(3))
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr).group(1))
    return seconds, rss

def measure(name, make_args, stdout=subprocess.DEVNULL):
    walls, peaks = [], []
    for _ in range(runs):
        w, p = timed(make_args(), stdout)
        walls.append(w)
        peaks.append(p)
    wall = statistics.median(walls)
    print(f"{name:28} wall median {wall:7.2f} s (fastest {min(walls):6.2f})  {rows / wall:12,.0f} rows/s  "
          f"peak {max(peaks) / 1024:6.1f} MB")

print(f"{rows} rows, {runs} runs")
measure("export --to csv", lambda: [program, "export", data, "--to", "csv", "--output", f"{out}/csv", "--force", "-q"])
measure("export --to sqlite", lambda: [program, "export", data, "--to", "sqlite", "--output", f"{out}/rows.sqlite",
                                       "--force", "-q"])
measure("rows --all --format csv", lambda: [program, "rows", data, "Rows", "--all", "--format", "csv"])
if subprocess.run(["which", "sqlite3"], capture_output=True).returncode == 0:
    measure("sqlite3 -csv (same rows)", lambda: ["sqlite3", "-csv", "-header", f"{out}/rows.sqlite", "SELECT * FROM Rows"])
PY
