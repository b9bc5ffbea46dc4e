#!/usr/bin/env bash
# Generates a 1 GiB transcript corpus in a temporary folder, runs bench_savings over it beside
# cat and ccusage, and deletes the corpus again.
#   bench/run_bench_savings.sh [BUILD_DIR] [SIZE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
size=${2:-1G}
bench/setup_bench.sh
cmake --build "$build" --target bench_savings >/dev/null

home=$(mktemp -d /tmp/quorlane-bench-savings.XXXXXX)
trap 'rm -rf "$home"' EXIT
python3 bench/gen_transcripts.py --home "$home" --size "$size" --projects 20 --sessions-per-project 10 \
    --now "$(date -u +%Y-%m-%dT%H:%M:%SZ)" --quiet >/dev/null
"$build/bin/bench_savings" "$home"
