#!/usr/bin/env bash
# Builds a home folder for bench_load: a ~50 MB ~/.claude.json in Claude Code's own layout with
# thousands of projects, and a few hundred folders under the home and under ~/Projects, every
# fourth with a .mcp.json.
#   bench/make_load_home.sh HOME_DIR [SIZE_IN_MB]   (run after the build: it uses build/bin/gen_claude_json)
set -euo pipefail
home=${1:?usage: make_load_home.sh HOME_DIR [SIZE_IN_MB]}
size=${2:-50}
generator=${QUORLANE_GEN_CLAUDE_JSON:-$(cd "$(dirname "$0")/.." && pwd)/build/bin/gen_claude_json}
mkdir -p "$home/Projects"
"$generator" "$home/.claude.json" "$size"
for root in "$home" "$home/Projects"; do
    for i in $(seq 1 200); do
        mkdir -p "$root/folder-$i"
        if ((i % 4 == 0)); then
            printf '{"mcpServers":{"s%d":{"command":"node","args":["server.js"]},"t%d":{"url":"http://127.0.0.1:9/mcp"}}}' \
                "$i" "$i" >"$root/folder-$i/.mcp.json"
        fi
    done
done
du -sh "$home/.claude.json"
