#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for a bounded time, starting
# from the seed corpus in fuzz/corpus/<target>. Prints one line per target with the executions
# run; exits non-zero when a target finds a failing input (saved as build-fuzz/crash-*).
#   fuzz/run.sh [seconds per target, default 25]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-25}
targets=(json rewrite records sessions)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORLANE_BUILD_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2 >/dev/null

status=0
for target in "${targets[@]}"; do
    work=build-fuzz/corpus/$target # what a run finds stays out of the repository
    mkdir -p "$work"
    log=build-fuzz/fuzz_$target.log
    if build-fuzz/bin/fuzz_"$target" -max_total_time="$seconds" -max_len=4096 -timeout=30 -rss_limit_mb=2048 \
        -artifact_prefix=build-fuzz/ "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
        result=ok
    else
        result="FAILED (see $log)"
        status=1
    fi
    runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
    echo "fuzz_$target: ${runs:-0} executions in ${seconds}s, $result"
done
exit $status
