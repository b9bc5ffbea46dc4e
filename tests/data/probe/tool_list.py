"""Tool lists of a known size for the hand-made test servers.

`exact(n)` is a tools array whose compact form, with every "/" written as "\\/" and every other
character as UTF-8, is exactly n bytes long. It holds slashes and non-ASCII text, so a writer
that leaves slashes alone or escapes non-ASCII measures a different size.
"""
import json


def measured_size(tools):
    text = json.dumps(tools, separators=(",", ":"), ensure_ascii=False).replace("/", "\\/")
    return len(text.encode("utf-8"))


def exact(n):
    base = [{"name": "tool", "description": "", "inputSchema": {"type": "object"}}]
    # 40 slashes (2 bytes each as written) and 40 "é" (2 bytes each), then ASCII padding.
    head = "a/b/" * 20 + "é" * 40
    tools = [dict(base[0], description=head)]
    pad = n - measured_size(tools)
    if pad < 0:
        raise ValueError("size too small")
    tools[0]["description"] = head + "x" * pad
    assert measured_size(tools) == n
    return tools
