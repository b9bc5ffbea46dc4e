#!/usr/bin/env python3
"""A hand-made MCP server over standard I/O for what the real servers do not do.

usage: fake_stdio_server.py MODE [--size N] [--log FILE] [--pid-file FILE] [--wait-for FILE]
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tool_list  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("mode")
parser.add_argument("--size", type=int, default=8000)
parser.add_argument("--log")
parser.add_argument("--pid-file")
parser.add_argument("--mark")
parser.add_argument("--wait-for")
options = parser.parse_args()
mode = options.mode

out = sys.stdout.buffer


def write(data):
    out.write(data)
    out.flush()


def log(text):
    if options.log:
        with open(options.log, "a", encoding="utf-8") as f:
            f.write(text + "\n")


if options.pid_file:
    with open(options.pid_file, "w") as f:
        f.write(str(os.getpid()))
if options.mark:
    open(options.mark, "w").close()
log("started")

if mode == "ignore-term":
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
if mode == "grandchild":
    # A helper that inherits our output and outlives us unless its whole group is ended.
    helper = subprocess.Popen(["sleep", "300"])
    with open(options.pid_file + ".helper", "w") as f:
        f.write(str(helper.pid))
if mode == "stderr-flood":
    chunk = b"noise " * 10000
    for _ in range(200):  # 12 MB, far more than any pipe holds
        sys.stderr.buffer.write(chunk)
    sys.stderr.buffer.flush()
if mode == "env":
    log("PATH=" + os.environ.get("PATH", "<unset>"))
    log("PROBE_VAR=" + os.environ.get("PROBE_VAR", "<unset>"))

tools = tool_list.exact(options.size)


def reply(message_id, result):
    return json.dumps({"jsonrpc": "2.0", "id": message_id, "result": result}, separators=(",", ":")).encode()


for raw in sys.stdin.buffer:
    log("line " + raw.decode("utf-8", "replace").rstrip("\n"))
    message = json.loads(raw)
    method = message.get("method")
    if method == "initialize":
        write(reply(1, {"protocolVersion": "2024-11-05", "capabilities": {"tools": {}},
                        "serverInfo": {"name": "fake", "version": "1"}}) + b"\n")
        continue
    if method != "tools/list":
        continue
    if options.wait_for:
        # Answers only once the other server has started too: proves the probes overlap.
        for _ in range(300):
            if os.path.exists(options.wait_for):
                break
            time.sleep(0.05)
        else:
            continue
    if mode == "silent":
        continue
    if mode in ("spaced-id", "spaced-id-exit"):
        write(json.dumps({"jsonrpc": "2.0", "id": 2, "result": {"tools": tools}}).encode() + b"\n")
        if mode == "spaced-id-exit":
            sys.exit(0)
        continue
    if mode == "two-results":
        # A line without the id first: reading goes on past it, and both lines count.
        write(reply(7, {"tools": tools}) + b"\n" + reply(2, {"tools": tools}) + b"\n")
        continue
    if mode == "invalid-utf8":
        write(reply(2, {"tools": tools}) + b"\n" + b"\xff\xfe not text\n")
        sys.exit(0)
    if mode == "not-objects":
        write(reply(2, {"tools": [1, "two", 3]}) + b"\n")
        sys.exit(0)  # no early stop is possible: end the output instead of waiting 20 s
    write(reply(2, {"tools": tools}) + b"\n")
    if mode == "answer-and-exit":
        sys.exit(0)

# Input closed: stay around for a while, so only a signal ends us.
if mode in ("ignore-term", "grandchild"):
    time.sleep(300)
