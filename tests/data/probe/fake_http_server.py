#!/usr/bin/env python3
"""A hand-made MCP server over HTTP on 127.0.0.1 for what the real servers do not do.

usage: fake_http_server.py MODE LOG_FILE
Prints "port N" once listening. Appends one JSON line per request to LOG_FILE:
{"method": <JSON-RPC method>, "body": <text>, "headers": {lower-case name: value},
"acceptHeaders": <how many Accept headers arrived>}.
"""
import json
import os
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tool_list  # noqa: E402

mode, log_path = sys.argv[1], sys.argv[2]
TOOLS = tool_list.exact(8000)  # 2000 tokens


def result(message_id, value):
    return json.dumps({"jsonrpc": "2.0", "id": message_id, "result": value}).encode()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", content_type="application/json", extra=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        message = json.loads(body) if body else {}
        method = message.get("method")
        with open(log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps({"method": method, "body": body.decode(),
                                  "headers": {k.lower(): v for k, v in self.headers.items()},
                                  "acceptHeaders": len(self.headers.get_all("Accept", []))}) + "\n")
        if mode == "hang":
            time.sleep(120)
            return
        if method == "initialize":
            if mode in ("status401", "status403"):
                return self.answer(int(mode[-3:]), result(1, {"tools": TOOLS}))
            extra = {"Mcp-Session-Id": "session-42"} if mode == "session" else None
            return self.answer(200, result(1, {"protocolVersion": "2024-11-05", "capabilities": {}}), extra=extra)
        if method == "notifications/initialized":
            extra = {"mcp-session-id": "not-this-one"} if mode == "session" else None
            return self.answer(202, extra=extra)
        if method != "tools/list":
            return self.answer(400)
        listed = result(2, {"tools": TOOLS})
        if mode == "sse":
            stream = b"event: message\nid: 7\n: a comment\n\ndata: " + listed + b"\n\n"
            return self.answer(200, stream, "text/event-stream")
        if mode == "sse-nospace":
            return self.answer(200, b"event: message\ndata:" + listed + b"\n\n", "text/event-stream")
        if mode == "sse-crlf":
            return self.answer(200, b"event: message\r\ndata: " + listed + b"\r\n\r\n", "text/event-stream")
        if mode == "tools401":
            return self.answer(401, listed)
        if mode == "tools403":
            return self.answer(403, listed)
        if mode == "error500":
            return self.answer(500, listed)
        if mode == "empty-tools":
            return self.answer(200, result(2, {"tools": []}))
        if mode == "rpc-error":
            return self.answer(200, json.dumps({"jsonrpc": "2.0", "id": 2,
                                                "error": {"code": -32601, "message": "no"}}).encode())
        return self.answer(200, listed)


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print("port", server.server_address[1], flush=True)
server.serve_forever()
