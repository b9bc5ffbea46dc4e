#!/usr/bin/env python3
"""Writes quorlane.1 from the help the commands print themselves, so the manual page says what
the installed binary does: manpage.py QUORLANE_BINARY VERSION DATE OUTPUT."""
import re
import subprocess
import sys


def run_help(binary, *command):
    result = subprocess.run([binary, *command, "--help"], capture_output=True, text=True, timeout=30)
    if result.returncode != 0:
        sys.exit(f"manpage.py: '{' '.join(['quorlane', *command])} --help' failed: {result.stderr}")
    return result.stdout


def roff(text):
    """Plain text, safe in roff: backslashes and hyphens escaped, no line starts a request."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\n".join(("\\&" + line) if line.startswith((".", "'")) else line for line in text.splitlines())


def main():
    binary, version, date, output = sys.argv[1:5]
    top = run_help(binary)
    about, _, rest = top.partition("Commands:\n")
    commands = re.findall(r"^  ([a-z][a-z-]*) +(.*)$", rest.split("\n\n")[0], re.MULTILINE)
    if not commands:
        sys.exit("manpage.py: 'quorlane --help' lists no commands")
    description = [p for p in about.split("\n\n")[1:] if p.strip()]

    page = [
        f'.TH QUORLANE 1 "{date}" "Quorlane {version}" "User Commands"',
        ".SH NAME",
        "quorlane \\- switch the MCP servers of Claude Code and Claude Desktop off and on",
        ".SH SYNOPSIS",
        ".B quorlane",
        "[\\fB\\-\\-preferences\\fR] [\\fB\\-\\-demo\\fR]",
        ".br",
        ".B quorlane",
        "\\fICOMMAND\\fR [\\fIOPTIONS\\fR]",
        ".br",
        ".B quorlane",
        "\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR",
        ".SH DESCRIPTION",
    ]
    for paragraph in description:
        page += [roff(" ".join(paragraph.split())), ".PP"]
    page.append(".SH COMMANDS")
    for name, summary in commands:
        page += [".TP", f".B {roff(name)}", roff(summary)]
    for name, _ in commands:
        page += [f'.SS "quorlane {roff(name)}"', ".nf", roff(run_help(binary, name).rstrip()), ".fi"]
    page += [
        ".SH EXIT STATUS",
        "0 on success, 1 when the work failed (the reason on standard error), 2 on a usage error.",
        ".SH FILES",
        ".TP",
        ".I ~/.claude.json",
        "Claude Code's configuration.",
        ".TP",
        ".I ~/.config/Claude/claude_desktop_config.json",
        "Claude Desktop's configuration.",
        ".TP",
        ".I ~/.config/Quorlane/",
        "Quorlane's stash of switched-off servers, its records, probe cache and preferences.",
        ".SH SEE ALSO",
        ".BR claude (1)",
    ]
    with open(output, "w", encoding="utf-8") as out:
        out.write("\n".join(page) + "\n")


if __name__ == "__main__":
    main()
