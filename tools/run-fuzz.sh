#!/usr/bin/env bash
# Runs every fuzz program of a Fuzz build for a bounded time: run-fuzz.sh BUILD SECONDS [TARGET...]
#
# Seeds come from quenlow-fuzz-seeds (the builder, and pages of the real data files when the corpus
# folder is there) into BUILD/fuzz-seeds; what each target learns is kept in BUILD/fuzz-corpus/<target>
# for the next run. A crash, a hang (an input taking over 30 s), a leak or a memory blow-up (over 4 GB)
# leaves its input in BUILD/fuzz-findings/<target>/ and fails the run; fix it, then put the input under
# tests/fuzz/regressions/<target>/ so the normal tests replay it.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: run-fuzz.sh BUILD SECONDS [TARGET...]}
seconds=${2:?usage: run-fuzz.sh BUILD SECONDS [TARGET...]}
shift 2
corpus_files=${QUENLOW_CORPUS_DIR:-../shared/corpus}/files

rm -rf "$build/fuzz-seeds"
if [ -d "$corpus_files" ]; then
    "$build/fuzz/quenlow-fuzz-seeds" "$build/fuzz-seeds" "$corpus_files" || exit 1
else
    echo "no corpus at $corpus_files: seeds from the builder only"
    "$build/fuzz/quenlow-fuzz-seeds" "$build/fuzz-seeds" || exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for program in "$build"/fuzz/fuzz_*; do targets+=("$(basename "$program" | sed 's/^fuzz_//')"); done
fi

failed=()
for target in "${targets[@]}"; do
    mkdir -p "$build/fuzz-corpus/$target" "$build/fuzz-findings/$target"
    dict=()
    if [ -f "fuzz/dict/$target.dict" ]; then
        dict=(-dict="fuzz/dict/$target.dict")
    elif [ "$target" != value_format ]; then
        dict=(-dict=fuzz/dict/page.dict)  # every other target reads pages
    fi
    log="$build/fuzz-findings/$target.log"
    "$build/fuzz/fuzz_$target" "${dict[@]}" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$build/fuzz-findings/$target/" \
        "$build/fuzz-corpus/$target" "$build/fuzz-seeds/$target" > "$log" 2>&1
    status=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    echo "$target: exit $status, ${runs:-0} runs in ${seconds} s"
    if [ $status -ne 0 ]; then
        failed+=("$target")
        tail -n 40 "$log"
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz findings in: ${failed[*]} (inputs in $build/fuzz-findings/)"
    exit 1
fi
echo "every fuzz target ran ${seconds} s without a finding"
