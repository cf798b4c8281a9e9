#!/usr/bin/env bash
# Builds the program in Release mode and measures `quenlow export` of the 1,000,000-row builder table
# (tools/quenlow-make-rows-db: int, nvarchar(40), datetime, money, bit, decimal(18,2)) to CSV and to
# SQLite: wall time of the whole command (open, catalog scan, tree, export), rows per second, the CPU time
# and the peak resident memory (/usr/bin/time -v). Each run is a process of its own; the median of the runs is
# shown. For comparison, the sqlite3 shell prints the same rows from the exported SQLite file as CSV.
#
#   bench/run-export-bench.sh [build folder]      (default: build-bench; ROWS=..., RUNS=... to change)
#
# The export decodes on two worker threads while the calling thread writes (app/export_pipeline.h), so on
# a machine whose two cores are busy with other work the wall time tells little: the "cpu" column (user +
# system of the whole process) and an A/B run of two binaries back to back are the steadier measures.
#
# Measured on the 2-core machine, shared with other builds, 1,000,000 rows on 9,407 data pages (the
# time includes opening and scanning the file, about 0.05 s):
#
#   before (one thread, quiet machine)   wall      rows/s     peak RSS
#   export --to csv                      1.19 s    840,000    7.5 MB
#   export --to sqlite                   2.06 s    485,000    10.3 MB
#   sqlite3 -csv (same rows)             0.97 s    1,030,000  5.8 MB
#
#   after, quiet machine (one decoding worker; the two-worker build was never measured quiet)
#   export --to csv                      0.67 s    1,490,000  8.1 MB
#
#   A/B back to back, load average 3.9 (other builds on both cores), 3 runs each
#                                before            after             sqlite3 -csv
#   export --to csv              1.40-1.47 s       1.11-1.22 s       1.18-1.90 s
#   cpu (user+sys)               1.16-1.23 s       1.01-1.13 s
#   export --to sqlite           2.67-2.75 s       1.46-2.00 s
#   cpu (user+sys)               2.23-2.29 s       1.31-1.75 s
#
#   this script, load average 3.8       wall      rows/s     cpu       peak RSS
#   export --to csv                      1.41 s    709,000    1.41 s    7.6 MB
#   export --to sqlite                   1.80 s    556,000    1.72 s    24.5 MB
#   rows --all --format csv              1.62 s    617,000    1.55 s    7.2 MB
#   sqlite3 -csv (same rows)             1.54 s    649,000    1.51 s    5.7 MB
#
#   5,000,000 rows (48,084 data pages), 1 run, load average 3.5
#   export --to csv                      9.42 s    531,000    9.13 s    10.5 MB
#   export --to sqlite                   9.02 s    554,000    8.80 s    26.9 MB
#   rows --all --format csv              5.93 s    843,000    5.33 s    9.0 MB
#   sqlite3 -csv (same rows)             5.09 s    982,000    4.94 s    5.6 MB
#   (the CSV export writes its 375 MB file to disk; rows and sqlite3 print to /dev/null)
#
# Where the time goes (perf, 1M rows, CSV): each decoding worker about 0.3 s of CPU (record parsing with
# three allocations per record, about 12%; value texts: datetime, decimal, money, UTF-16; the decoder's
# per-value bookkeeping), the writer about 0.3 s (CSV fields, file writes). SQLite: the writer is the
# bound, mostly inside SQLite (about 40%) even with 64 rows per INSERT.
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
    cpu = sum(float(re.search(rf"{kind} time \(seconds\): ([\d.]+)", r.stderr).group(1))
              for kind in ("User", "System"))
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr).group(1))
    return seconds, cpu, rss

def measure(name, make_args, stdout=subprocess.DEVNULL):
    walls, cpus, peaks = [], [], []
    for _ in range(runs):
        w, c, p = timed(make_args(), stdout)
        walls.append(w)
        cpus.append(c)
        peaks.append(p)
    wall = statistics.median(walls)
    print(f"{name:28} wall median {wall:7.2f} s (fastest {min(walls):6.2f})  {rows / wall:12,.0f} rows/s  "
          f"cpu {statistics.median(cpus):6.2f} s  peak {max(peaks) / 1024:6.1f} MB")

print(f"{rows} rows, {runs} runs, load average {os.getloadavg()[0]:.1f}")
measure("export --to csv", lambda: [program, "export", data, "--to", "csv", "--output", f"{out}/csv", "--force", "-q"])
measure("export --to sqlite", lambda: [program, "export", data, "--to", "sqlite", "--output", f"{out}/rows.sqlite",
                                       "--force", "-q"])
measure("rows --all --format csv", lambda: [program, "rows", data, "Rows", "--all", "--format", "csv"])
if subprocess.run(["which", "sqlite3"], capture_output=True).returncode == 0:
    measure("sqlite3 -csv (same rows)", lambda: ["sqlite3", "-csv", "-header", f"{out}/rows.sqlite", "SELECT * FROM Rows"])
PY
