#!/usr/bin/env bash
# Runs fuzz targets for a given time each, one after the other:
#   fuzz/run.sh SECONDS [TARGET...]      (default: every target; names as in fuzz/CMakeLists.txt)
# Builds build-fuzz/ with clang first when needed (VANTREL_FUZZ_BUILD names another folder).
# Each target starts from fuzz/corpus/<target> plus what earlier runs found (build-fuzz/fuzz-work/);
# findings (crash-*, timeout-*, oom-*, leak-*) land in build-fuzz/fuzz-findings/<target>/. A run
# goes on after a finding (libFuzzer's fork mode), so one fault does not cut the time short.
set -euo pipefail

if [[ $# -lt 1 || ! $1 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTREL_FUZZ_BUILD:-$source_dir/build-fuzz}
all_targets=$(sed -n 's/^set(fuzz_targets \(.*\))$/\1/p' "$source_dir/fuzz/CMakeLists.txt")
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || read -r -a targets <<<"$all_targets"

"$source_dir/scripts/setup.sh" "$source_dir/fuzz/packages.txt"
if [[ ! -f $build/build.ninja ]]; then
    CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVANTREL_FUZZ=ON -DVANTREL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

status=0
for target in "${targets[@]}"; do
    work=$build/fuzz-work/$target
    findings=$build/fuzz-findings/$target
    log=$build/fuzz-logs/$target.log
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -fork=1
             -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -artifact_prefix="$findings/")
    # Long pages are where a scan that is not linear in the page's length shows.
    [[ $target == web_preview ]] && options+=(-max_len=262144)
    QT_QPA_PLATFORM=offscreen "$build/fuzz/fuzz_$target" "${options[@]}" "$work" "$source_dir/fuzz/corpus/$target" \
        >"$log" 2>&1 || true
    # The last status line of fork mode: "#EXECS: cov: C ft: F corp: N exec/s: R oom/timeout/crash: O/T/X ...".
    last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -n 1 || true)
    count=$(find "$findings" -type f | wc -l)
    echo "$target: executions ${last%%:*} | ${last#*: } | findings $count ($findings)" | tr -d '#'
    [[ $count -eq 0 ]] || status=1
done
exit $status
