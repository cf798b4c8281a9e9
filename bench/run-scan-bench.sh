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

# Each benchmark runs in a process of its own: the allocator adapts to what a process freed before (for
# one, glibc raises its mmap threshold after large blocks are freed), so a 10,000-table scan run right
# after many 1,000-table scans pays page faults that a fresh process does not.
result="$build/bench-data/scan_bench.json"
mkdir -p "$(dirname "$result")"
parts=()
for name in Scan2005 Scan2000; do
    for tables in 1000 10000; do
        part="$build/bench-data/scan_bench_${name}_${tables}.json"
        "$build/bench/quenlow_bench" --benchmark_filter="^$name/$tables/" --benchmark_repetitions=${REPETITIONS:-5} \
            --benchmark_min_time=${MIN_TIME:-2} --benchmark_display_aggregates_only=true \
            --benchmark_out="$part" --benchmark_out_format=json ${BENCH_ARGS:-}
        parts+=("$part")
    done
done
python3 - "$result" "${parts[@]}" <<'PY'
import json, sys
merged = {"benchmarks": []}
for part in sys.argv[2:]:
    merged["benchmarks"] += json.load(open(part))["benchmarks"]
json.dump(merged, open(sys.argv[1], "w"))
PY

python3 - "$result" <<'PY'
import json, statistics, sys
# Per benchmark, the median and the fastest of the repetitions. Process CPU time counts the worker
# thread; on a machine shared with other work both times swing, real time the most, so the ratio is
# judged on the median CPU time and the fastest runs are shown beside it.
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") != "iteration":
        continue
    name, tables = b["run_name"].split("/")[:2]
    runs.setdefault((name, int(tables)), []).append(b)
def times(bs, key):
    values = [b[key] for b in bs]
    return statistics.median(values), min(values)
for name in sorted({n for n, _ in runs}):
    small, large = runs.get((name, 1000)), runs.get((name, 10000))
    if not small or not large:
        continue
    unit = small[0]["time_unit"]
    for tables, bs in ((1000, small), (10000, large)):
        (rm, rf), (cm, cf) = times(bs, "real_time"), times(bs, "cpu_time")
        print(f"{name:9} {tables:6} tables  real {rm:8.1f} {unit} (fastest {rf:8.1f})  cpu {cm:8.1f} {unit} (fastest {cf:8.1f})")
    (srm, srf), (scm, scf) = times(small, "real_time"), times(small, "cpu_time")
    (lrm, lrf), (lcm, lcf) = times(large, "real_time"), times(large, "cpu_time")
    verdict = "met" if lcm / scm <= 12 else "NOT met"
    print(f"{name:9} ratio          real {lrm / srm:8.2f}    (fastest {lrf / srf:8.2f})  cpu {lcm / scm:8.2f}    "
          f"(fastest {lcf / scf:8.2f})  target <= 12 by median cpu: {verdict}")
PY
