#!/usr/bin/env python3
"""Measures a server the way the estimate is defined, independently of Quorlane's code.

usage: reference_estimate.py stdio COMMAND [ARGS...]
       reference_estimate.py http URL

Performs its own MCP handshake, takes "result"."tools" of the tools/list reply, writes it as
compact JSON with every "/" as "\\/" and other characters as UTF-8, and prints
max(bytes // 4, 1500).
"""
import json
import subprocess
import sys
import urllib.request


def estimate(tools):
    text = json.dumps(tools, separators=(",", ":"), ensure_ascii=False).replace("/", "\\/")
    return max(len(text.encode("utf-8")) // 4, 1500)


INIT = {"jsonrpc": "2.0", "id": 1, "method": "initialize",
        "params": {"protocolVersion": "2024-11-05", "capabilities": {},
                   "clientInfo": {"name": "reference", "version": "1"}}}
NOTE = {"jsonrpc": "2.0", "method": "notifications/initialized"}
LIST = {"jsonrpc": "2.0", "id": 2, "method": "tools/list", "params": {}}


def stdio(command):
    child = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
    try:
        def send(message):
            child.stdin.write((json.dumps(message) + "\n").encode())
            child.stdin.flush()

        def reply_to(wanted):
            for line in child.stdout:
                message = json.loads(line)
                if message.get("id") == wanted:
                    return message
            raise SystemExit("no reply")

        send(INIT)
        reply_to(1)
        send(NOTE)
        send(LIST)
        return reply_to(2)["result"]["tools"]
    finally:
        child.kill()
        child.wait()


def http(url):
    session = None

    def post(message):
        nonlocal session
        headers = {"Content-Type": "application/json", "Accept": "application/json, text/event-stream"}
        if session:
            headers["mcp-session-id"] = session
        request = urllib.request.Request(url, data=json.dumps(message).encode(), headers=headers)
        with urllib.request.urlopen(request, timeout=30) as response:
            session = session or response.headers.get("mcp-session-id")
            body = response.read().decode()
        if not body.strip():
            return None
        try:
            return json.loads(body)
        except ValueError:
            for line in body.splitlines():
                if line.startswith("data:"):
                    return json.loads(line[5:])
        return None

    post(INIT)
    post(NOTE)
    return post(LIST)["result"]["tools"]


if __name__ == "__main__":
    tools = stdio(sys.argv[2:]) if sys.argv[1] == "stdio" else http(sys.argv[2])
    print(estimate(tools))
