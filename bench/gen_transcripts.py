#!/usr/bin/env python3
"""Writes Claude Code transcripts the way today's Claude Code lays them out, and prints the
figures a savings scan must find in them (computed here, independently of Quorlane's code).

  gen_transcripts.py --home DIR [--config-dir DIR] [--size 3M] [--projects 6]
                     [--sessions-per-project 4] [--seed 42] [--now 2026-12-05T00:00:00Z] [--quiet]

Transcripts go to CONFIG_DIR/projects (default HOME/.claude/projects), one folder per project,
named as Claude Code names it: every UTF-16 code unit outside [A-Za-z0-9] becomes "-", and a
name longer than 200 is cut to 200 plus "-" and the base-36 absolute value of the path's 32-bit
hash. Project paths include dots, underscores, spaces, non-ASCII letters and one longer than 200
characters. Lines are one JSON object each: about a quarter of type "user", the rest assistant,
progress, system and summary lines; timestamps carry milliseconds, some an offset, some whole
seconds, a few an unreadable text or none (those always count). No date falls within a day of
the 30-day boundary, so the figures hold whatever the local zone.

Ground truth (stdout as JSON, and HOME/transcripts_truth.json):
  user_lines_total    every line of type "user"
  user_lines_counted  those dated within 30 days of --now, plus the undated ones
  files, bytes, now, projects (each path with its folder name)
"""
import argparse
import datetime as dt
import json
import os
import random
import re
import sys
import uuid

WORDS = ("the of and to in is that for it as with function return const await error build server "
         "client request response config value file path line parse render token cache model "
         "project module version commit branch merge fix bug refactor memory thread queue lock "
         "json schema field record string café naïve résumé — “quoted” ✓ 🚀 日本語").split()
OTHER_TYPES = ["assistant"] * 9 + ["progress", "system", "summary", "file-history-snapshot"] * 1


def folder_name(path):
    units = path.encode("utf-16-le")
    codes = [units[i] | units[i + 1] << 8 for i in range(0, len(units), 2)]
    name = "".join(chr(c) if chr(c).isascii() and chr(c).isalnum() else "-" for c in codes)
    if len(name) <= 200:
        return name
    h = 0
    for c in codes:
        h = (h * 31 + c) & 0xFFFFFFFF
    magnitude = abs(h - (1 << 32) if h & 0x80000000 else h)
    digits = ""
    while True:
        magnitude, rest = divmod(magnitude, 36)
        digits = "0123456789abcdefghijklmnopqrstuvwxyz"[rest] + digits
        if magnitude == 0:
            break
    return name[:200] + "-" + digits


def project_paths(count):
    shapes = ["/home/dev/work/api", "/home/dev/my_app.v2", "/home/dev/Übungen/Blatt 3",
              "/home/dev/" + "deeply-nested-folder/" * 11 + "service", "/home/dev/🚀 launch",
              "/srv/repos/tool.kit"]
    return [shapes[i % len(shapes)] + ("" if i < len(shapes) else "-%d" % i) for i in range(count)]


def parse_size(text):
    match = re.fullmatch(r"(\d+)([KMG]?)", text)
    if not match:
        raise SystemExit("bad --size: " + text)
    return int(match.group(1)) * {"": 1, "K": 1 << 10, "M": 1 << 20, "G": 1 << 30}[match.group(2)]


def stamp(rng, moment):
    """The timestamp member's text, or None (no member); the date it means, or None."""
    roll = rng.random()
    if roll < 0.03:
        return None, None
    if roll < 0.05:
        return rng.choice(["yesterday", "2026-13-01T00:00:00Z", "1733000000"]), None
    if roll < 0.15:
        zone = dt.timezone(dt.timedelta(hours=rng.choice([2, -5, 9])))
        return moment.astimezone(zone).isoformat(timespec="milliseconds"), moment
    if roll < 0.25:
        return moment.strftime("%Y-%m-%dT%H:%M:%SZ"), moment.replace(microsecond=0)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (moment.microsecond // 1000), moment


def text(rng, length):
    words = []
    size = 0
    while size < length:
        word = rng.choice(WORDS)
        words.append(word)
        size += len(word) + 1
    return " ".join(words)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--config-dir")
    parser.add_argument("--size", default="3M")
    parser.add_argument("--projects", type=int, default=6)
    parser.add_argument("--sessions-per-project", type=int, default=4)
    parser.add_argument("--seed", type=int, default=42)
    parser.add_argument("--now", default="2026-12-05T00:00:00Z")
    parser.add_argument("--quiet", action="store_true")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    now = dt.datetime.fromisoformat(args.now.replace("Z", "+00:00"))
    window_start = now - dt.timedelta(days=30)
    root = os.path.join(args.config_dir or os.path.join(args.home, ".claude"), "projects")
    target = parse_size(args.size)

    files = []
    projects = []
    for path in project_paths(args.projects):
        folder = os.path.join(root, folder_name(path))
        os.makedirs(folder, exist_ok=True)
        projects.append({"path": path, "folder": folder_name(path)})
        for _ in range(args.sessions_per_project):
            session = str(uuid.UUID(int=rng.getrandbits(128), version=4))
            files.append((os.path.join(folder, session + ".jsonl"), path, session))

    user_total = user_counted = written = 0
    handles = [open(name, "w", encoding="utf-8") for name, _, _ in files]
    while written < target:
        index = rng.randrange(len(files))
        _, cwd, session = files[index]
        seconds = rng.uniform(0, 90 * 86400)
        if abs(seconds - 30 * 86400) < 86400:
            continue
        moment = now - dt.timedelta(seconds=seconds)
        is_user = rng.random() < 0.25
        line = {"parentUuid": None, "isSidechain": False, "userType": "external", "cwd": cwd,
                "sessionId": session, "version": "2.1.197", "gitBranch": "main",
                "type": "user" if is_user else rng.choice(OTHER_TYPES),
                "message": {"role": "user" if is_user else "assistant",
                            "content": text(rng, rng.choice([60, 200, 600, 2000, 12000]))},
                "uuid": str(uuid.UUID(int=rng.getrandbits(128), version=4))}
        member, date = stamp(rng, moment)
        if member is not None:
            line["timestamp"] = member
        encoded = json.dumps(line, ensure_ascii=False) + "\n"
        handles[index].write(encoded)
        written += len(encoded.encode("utf-8"))
        if is_user:
            user_total += 1
            user_counted += date is None or date >= window_start
    for handle in handles:
        handle.close()
    for number, (name, _, _) in enumerate(files):
        os.utime(name, (now.timestamp() - number, now.timestamp() - number))

    truth = {"now": args.now, "files": len(files), "bytes": written, "user_lines_total": user_total,
             "user_lines_counted": user_counted, "projects": projects}
    with open(os.path.join(args.home, "transcripts_truth.json"), "w", encoding="utf-8") as out:
        json.dump(truth, out, ensure_ascii=False)
    json.dump(truth, sys.stdout, ensure_ascii=False)
    if not args.quiet:
        print(file=sys.stderr)
        print("%d files, %d bytes, %d of %d user lines count" % (len(files), written, user_counted,
                                                                 user_total), file=sys.stderr)


if __name__ == "__main__":
    main()
