#!/usr/bin/env bash
# Builds the layers below the switch flow (platform, json, store, probe, savings, sessions,
# services: everything that reads, writes and parses what others wrote) and their tests with AddressSanitizer and UndefinedBehaviorSanitizer (the
# "asan" preset, in ./build-asan, no benchmarks) and runs those tests. Any report of either sanitizer fails the run.
#   scripts/sanitize.sh [ctest arguments…]   e.g. scripts/sanitize.sh -R tst_records
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan -DQUORLANE_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan --target tests_platform tests_json tests_store tests_probe tests_savings tests_sessions tests_services
# Stop at the first report, with its stack; both go to the test's output.
# Leaks are not checked: a switch's delayed re-check that is still waiting when a test ends
# leaves its coroutine frame behind, which LeakSanitizer reports; memory errors and undefined
# behaviour are what this stage is for.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0:detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan -L '^(platform|json|store|probe|savings|sessions|services)$' --output-on-failure "$@"
