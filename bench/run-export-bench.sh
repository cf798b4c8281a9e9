#!/usr/bin/env bash
# Builds the program in Release mode and measures `quenlow export` of the 1,000,000-row builder table
# (tools/quenlow-make-rows-db: int, nvarchar(40), datetime, money, bit, decimal(18,2)) to CSV and to
# SQLite: wall time of the whole command (open, catalog scan, tree, export), rows per second, the CPU time
# and the peak resident memory (/usr/bin/time -v). Each run is a process of its own; the median of the runs is
# shown. For comparison, the sqlite3 shell prints the same rows from the exported SQLite file as CSV.
#
#   bench/run-export-bench.sh [build folder]      (default: build-bench; ROWS=..., RUNS=... to change)
#
# On a machine whose two cores are busy with other work the wall time tells little: the "cpu" column (user
# + system of the whole process) and an A/B run of two binaries back to back are the steadier measures.
#
# The export decodes on two worker threads, which also encode the CSV lines, while the calling thread
# writes (app/export_pipeline.h). Measured on the 2-core machine, quiet (load average about 1), the time
# including opening and mapping the file (about 0.04 s for 1,000,000 rows):
#
#   1,000,000 rows (9,407 data pages), 5 runs     wall median   rows/s      cpu       peak RSS
#   export --to csv                               0.30 s        3,333,000   0.54 s    8.3 MB
#   export --to sqlite                            0.59 s        1,695,000   0.99 s    26.8 MB
#   rows --all --format csv                       0.85 s        1,176,000   0.83 s    7.7 MB
#   sqlite3 -csv (same rows)                      0.89 s        1,124,000   0.89 s    5.7 MB
#
#   5,000,000 rows (48,084 data pages), 3 runs
#   export --to csv                               1.47 s        3,401,000   2.67 s    10.9 MB
#   export --to sqlite                            2.79 s        1,792,000   4.73 s    28.5 MB
#   rows --all --format csv                       4.24 s        1,179,000   4.14 s    9.2 MB
#   sqlite3 -csv (same rows)                      4.26 s        1,174,000   4.25 s    5.7 MB
#
# Before the workers encoded CSV (the writer turned cells into lines), with a page at a time between the
# threads and an allocation per page and per record, 1,000,000 rows took 0.62 s (cpu 0.93 s) to CSV and
# 0.94 s to SQLite on the same machine. What went: the writer's field checks and copies, the threads
# waking each other per page, glibc consolidating its free lists after every 8 KB page buffer, and one
# allocation per record. What remains (perf): value texts (datetime, decimal, money, UTF-16) and record
# parsing on the workers, the kernel's copies of the file in and the CSV out. SQLite: the writer is the
# bound, mostly inside SQLite even with 64 rows per INSERT.
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
import os, re, shutil, statistics, subprocess, sys
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

# Each export writes into a new folder or file, as a recovery does: replacing the files of an earlier run
# would add the removal of a 100 MB file to the time. The output is removed after each run, untimed.
def fresh(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)
    return path

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
measure("export --to csv", lambda: [program, "export", data, "--to", "csv", "--output", fresh(f"{out}/csv"), "-q"])
measure("export --to sqlite", lambda: [program, "export", data, "--to", "sqlite", "--output",
                                       fresh(f"{out}/rows.sqlite"), "--force", "-q"])
measure("rows --all --format csv", lambda: [program, "rows", data, "Rows", "--all", "--format", "csv"])
if subprocess.run(["which", "sqlite3"], capture_output=True).returncode == 0:
    measure("sqlite3 -csv (same rows)", lambda: ["sqlite3", "-csv", "-header", f"{out}/rows.sqlite", "SELECT * FROM Rows"])
PY
