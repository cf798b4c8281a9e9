#!/usr/bin/env bash
# Builds the benchmarks in Release mode and runs the mapping benchmark: a plain sequential read of a 1 GiB
# data file against the database open (corruption check + mapping pass) of the same file, both from the
# page cache. Prints the benchmark table and the ratio of the two times.
#
#   bench/run-map-bench.sh [build folder]      (default: build-bench; extra benchmark flags via BENCH_ARGS)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENLOW_BUILD_TESTS=OFF -DQUENLOW_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target quenlow_bench

result="$build/bench-data/map_bench.json"
mkdir -p "$(dirname "$result")"
"$build/bench/quenlow_bench" --benchmark_filter='SequentialRead|OpenAndMap' \
    --benchmark_out="$result" --benchmark_out_format=json ${BENCH_ARGS:-}

python3 - "$result" <<'PY'
import json, sys
# With --benchmark_repetitions the median of the repetitions is used, else the single run.
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    name = b["name"].split("/")[0]
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median":
        runs[name] = dict(b, median=True)
    elif not runs.get(name, {}).get("median"):
        runs[name] = b
read, mapped = runs["SequentialRead"], runs["OpenAndMap"]
for name, b in (("plain read", read), ("open + map", mapped)):
    print(f"{name:12} {b['real_time']:9.1f} {b['time_unit']} real {b['cpu_time']:9.1f} {b['time_unit']} cpu"
          f"  {b['bytes_per_second'] / 2**30:6.2f} GiB/s")
ratio = mapped["real_time"] / read["real_time"]
cpu_ratio = mapped["cpu_time"] / read["cpu_time"]
print(f"ratio        {ratio:9.2f} real    {cpu_ratio:9.2f} cpu  (target <= 1.50: {'met' if ratio <= 1.5 else 'NOT met'})")
PY
