#!/usr/bin/env bash
# Installs the peers the benchmarks compare against (not needed to build or test Quorlane).
set -euo pipefail

# ccusage: the usage report users already run over their Claude Code transcripts. 20.0.24 ships
# the native Linux binary this machine runs; 20.0.26 lacks it.
npm ls -g --depth=0 2>/dev/null | grep -qF "ccusage@20.0.24" \
    || npm install -g --no-fund --no-audit ccusage@20.0.24
