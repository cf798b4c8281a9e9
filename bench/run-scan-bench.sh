#!/usr/bin/env bash
# Builds the benchmarks in Release mode and runs the scan benchmark: the whole scan (open, catalog build,
# object tree with the schema assembly of every table) of builder databases with 1,000 and 10,000 user
# tables, in the 2005 and the SQL Server 2000 layout. Prints the times and, per layout, the ratio of the
# 10,000-table time to the 1,000-table time (target: at most 12).
#
#   bench/run-scan-bench.sh [build folder]      (default: build-bench; extra benchmark flags via BENCH_ARGS)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENLOW_BUILD_TESTS=OFF -DQUENLOW_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target quenlow_bench

result="$build/bench-data/scan_bench.json"
mkdir -p "$(dirname "$result")"
"$build/bench/quenlow_bench" --benchmark_filter='^Scan' --benchmark_repetitions=${REPETITIONS:-5} \
    --benchmark_min_time=${MIN_TIME:-2} --benchmark_report_aggregates_only=true \
    --benchmark_out="$result" --benchmark_out_format=json ${BENCH_ARGS:-}

python3 - "$result" <<'PY'
import json, sys
# The median of the repetitions (process CPU time counts the worker thread; real time suffers most from
# other work on the machine).
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
        continue
    name, tables = b["run_name"].split("/")[:2]
    runs[(name, int(tables))] = b
for name in sorted({n for n, _ in runs}):
    small, large = runs.get((name, 1000)), runs.get((name, 10000))
    if not small or not large:
        continue
    for tables, b in ((1000, small), (10000, large)):
        print(f"{name:9} {tables:6} tables  {b['real_time']:9.1f} {b['time_unit']} real {b['cpu_time']:9.1f} {b['time_unit']} cpu")
    real = large["real_time"] / small["real_time"]
    cpu = large["cpu_time"] / small["cpu_time"]
    print(f"{name:9} ratio          {real:9.2f} real    {cpu:9.2f} cpu  (target <= 12: {'met' if cpu <= 12 else 'NOT met'} by cpu)")
PY
