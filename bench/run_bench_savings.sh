#!/usr/bin/env bash
# Generates a 1 GiB transcript corpus in a temporary folder, runs bench_savings over it beside
# cat and ccusage, and deletes the corpus again.
#   bench/run_bench_savings.sh [BUILD_DIR] [SIZE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
size=${2:-1G}
generator=""
for candidate in ../shared/bench ../../shared/bench /work/shared/bench; do
    [[ -f "$candidate/gen_transcripts.py" ]] && { generator="$candidate/gen_transcripts.py"; break; }
done
[[ -n "$generator" ]] || { echo "gen_transcripts.py not found (shared/bench)" >&2; exit 1; }

bench/setup_bench.sh
cmake --build "$build" --target bench_savings >/dev/null

home=$(mktemp -d /tmp/quorlane-bench-savings.XXXXXX)
trap 'rm -rf "$home"' EXIT
# Some timestamps without milliseconds, so the 30-day window decides part of the count.
python3 "$generator" --home "$home" --size "$size" --plain-ts-fraction 0.2 \
    --now "$(date -u +%Y-%m-%dT%H:%M:%SZ)" --quiet >/dev/null
"$build/bin/bench_savings" "$home"
