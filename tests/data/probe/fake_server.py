#!/usr/bin/env python3
"""Hand-made MCP servers for what the real ones never do, and an independent measure of any server.

usage: fake_server.py stdio MODE [--size N] [--log FILE] [--pid-file FILE] [--mark FILE] [--wait-for FILE]
       fake_server.py http MODE LOG_FILE        (prints "port N"; logs one JSON line per request)
       fake_server.py measure stdio COMMAND...  |  measure http URL
The measure performs its own handshake and prints max(bytes // 4, 1500), bytes being the tools
array written compactly with every "/" as "\\/" and other characters as UTF-8.
"""
import json, os, signal, subprocess, sys, time, urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def size(tools):
    text = json.dumps(tools, separators=(",", ":"), ensure_ascii=False).replace("/", "\\/")
    return len(text.encode("utf-8"))


def exact(n):
    # Slashes and non-ASCII inside: a writer that leaves "/" alone or escapes "é" measures otherwise.
    tools = [{"name": "tool", "description": "a/b/" * 20 + "é" * 40, "inputSchema": {"type": "object"}}]
    tools[0]["description"] += "x" * (n - size(tools))
    assert size(tools) == n
    return tools


def reply(message_id, result, **dump):
    return json.dumps({"jsonrpc": "2.0", "id": message_id, "result": result}, **dump).encode()


INIT = {"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": {
    "protocolVersion": "2024-11-05", "capabilities": {}, "clientInfo": {"name": "reference", "version": "1"}}}
NOTE = {"jsonrpc": "2.0", "method": "notifications/initialized"}
LIST = {"jsonrpc": "2.0", "id": 2, "method": "tools/list", "params": {}}


def stdio_server(mode, args):
    opts = dict(zip(args[::2], args[1::2]))
    tools, out, log = exact(int(opts.get("--size", 8000))), sys.stdout.buffer, opts.get("--log")

    def note(text):
        if log:
            with open(log, "a", encoding="utf-8") as f:
                f.write(text + "\n")

    def write(data):
        out.write(data)
        out.flush()

    if "--pid-file" in opts:
        open(opts["--pid-file"], "w").write(str(os.getpid()))
    if "--mark" in opts:
        open(opts["--mark"], "w").close()
    note("started\nPATH=%s\nPROBE_VAR=%s" % (os.environ.get("PATH"), os.environ.get("PROBE_VAR")))
    if mode == "ignore-term":
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
    if mode == "grandchild":  # a helper that inherits our output and outlives us unless our group ends
        open(opts["--pid-file"] + ".helper", "w").write(str(subprocess.Popen(["sleep", "300"]).pid))
    if mode == "stderr-flood":  # 12 MB, far more than any pipe holds
        for _ in range(200):
            sys.stderr.buffer.write(b"noise " * 10000)
        sys.stderr.buffer.flush()
    for raw in sys.stdin.buffer:
        note("line " + raw.decode("utf-8", "replace").rstrip("\n"))
        method = json.loads(raw).get("method")
        if method == "initialize":
            write(reply(1, {"protocolVersion": "2024-11-05", "capabilities": {"tools": {}}}) + b"\n")
        if method != "tools/list" or mode == "silent":
            continue
        while mode == "chatty":  # writes all the time, never the answer
            write(b'{"jsonrpc":"2.0","method":"notifications/message","params":{"data":"busy"}}\n')
            time.sleep(0.05)
        # Answers only once the other server has started too: proves the probes overlap.
        while "--wait-for" in opts and not os.path.exists(opts["--wait-for"]):
            time.sleep(0.05)
        listed = reply(2, {"tools": tools}, separators=(",", ":")) + b"\n"
        if mode.startswith("spaced-id"):
            listed = reply(2, {"tools": tools}) + b"\n"
        if mode == "two-results":  # a line of another id first: only the answer with id 2 counts
            listed = reply(7, {"tools": tools}, separators=(",", ":")) + b"\n" + listed
        if mode == "flood":  # tool lists without an id before the answer, the answer again after it
            write(b'{"result":{"tools":[]}}\n' * 100000)
            listed += listed * 20
        if mode == "invalid-utf8":
            listed += b"\xff\xfe not text\n"
        write(listed)
        if mode in ("spaced-id-exit", "invalid-utf8"):
            sys.exit(0)
    if mode in ("ignore-term", "grandchild"):  # input closed: only a signal ends us
        time.sleep(300)


def http_server(mode, log_path):
    # MODE: json, sse, sse-flood, session, hang, flood, or initNNN / listNNN (that status on that request).
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def answer(self, status, body=b"", content_type="application/json", extra={}):
            self.send_response(status)
            for name, value in [("Content-Type", content_type), ("Content-Length", len(body))] + list(extra.items()):
                self.send_header(name, str(value))
            self.end_headers()
            self.wfile.write(body)

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            method = json.loads(body).get("method")
            with open(log_path, "a", encoding="utf-8") as log:
                log.write(json.dumps({"method": method, "body": body.decode(),
                                      "headers": {k.lower(): v for k, v in self.headers.items()},
                                      "acceptHeaders": len(self.headers.get_all("Accept", []))}) + "\n")
            if mode == "hang":
                return time.sleep(120)
            listed = reply(2, {"tools": exact(8000)})
            aimed = {"init": "initialize", "list": "tools/list"}.get(mode[:4]) == method
            status = int(mode[4:]) if aimed else 200
            if method == "initialize":
                extra = {"Mcp-Session-Id": "session-42"} if mode == "session" else {}
                return self.answer(status, listed if status != 200 else reply(1, {}), extra=extra)
            if method == "notifications/initialized":  # an id offered here must not be taken over
                return self.answer(202, extra={"mcp-session-id": "not-this-one"} if mode == "session" else {})
            if mode == "flood":  # a tools/list answer of 1 GiB, sent until the client hangs up
                self.send_response(200)
                self.send_header("Content-Length", str(1 << 30))
                self.end_headers()
                sent = 0
                try:
                    while sent < 1 << 30:
                        self.wfile.write(b" " * (1 << 16))
                        sent += 1 << 16
                except OSError:
                    pass
                with open(log_path, "a", encoding="utf-8") as log:  # how far the client read
                    log.write(json.dumps({"method": "flood", "sent": sent}) + "\n")
                return
            if mode == "sse-flood":  # the answer, then answers again until the client hangs up
                self.send_response(200)
                self.send_header("Content-Type", "text/event-stream")
                self.send_header("Connection", "close")
                self.end_headers()
                try:
                    self.wfile.write(b"data: " + listed + b"\n\n")
                    for _ in range(1 << 14):
                        self.wfile.write((b"data: " + reply(2, {"tools": []}) + b"\n\n") * 1000)
                except OSError:
                    pass
                return
            if mode == "sse":
                return self.answer(status, b"event: message\nid: 7\n: note\n\ndata: " + listed + b"\n\n",
                                   "text/event-stream")
            return self.answer(status, listed)

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("port", server.server_address[1], flush=True)
    server.serve_forever()


def measure(kind, target):
    session = None

    def post(message):
        nonlocal session
        headers = {"Content-Type": "application/json", "Accept": "application/json, text/event-stream"}
        headers.update({"mcp-session-id": session} if session else {})
        request = urllib.request.Request(target[0], data=json.dumps(message).encode(), headers=headers)
        with urllib.request.urlopen(request, timeout=30) as response:
            session = session or response.headers.get("mcp-session-id")
            text = response.read().decode()
        data = [line[5:] for line in text.splitlines() if line.startswith("data:")]
        return json.loads(data[0] if data else text) if text.strip() else None

    if kind == "http":
        post(INIT), post(NOTE)
        return post(LIST)["result"]["tools"]
    child = subprocess.Popen(target, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    def exchange(messages, wanted):
        child.stdin.write(b"".join(json.dumps(m).encode() + b"\n" for m in messages))
        child.stdin.flush()
        return next(m for m in map(json.loads, child.stdout) if m.get("id") == wanted)

    try:
        exchange([INIT], 1)
        return exchange([NOTE, LIST], 2)["result"]["tools"]
    finally:
        child.kill()
        child.wait()


if __name__ == "__main__":
    if sys.argv[1] == "stdio":
        stdio_server(sys.argv[2], sys.argv[3:])
    elif sys.argv[1] == "http":
        http_server(sys.argv[2], sys.argv[3])
    else:
        print(max(size(measure(sys.argv[2], sys.argv[3:])) // 4, 1500))
