#!/usr/bin/env bash
# Checks that every portable source compiles against LLVM's libc++, the standard library of
# Apple's toolchain, which lacks things libstdc++ has (or brings in by accident), and without a
# warning from Clang (each file's own -Wall -Wextra, as errors). Syntax only,
# with each file's own flags from build/compile_commands.json; the Linux- and macOS-only folders
# are left out. Needs clang and libc++-dev (scripts/setup.sh installs them) and a configured build.
#   scripts/check-libcxx.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
compiler=${CLANG:-clang++}

[[ -f "$build/compile_commands.json" ]] || { echo "check-libcxx: no $build/compile_commands.json: configure first" >&2; exit 2; }
command -v "$compiler" >/dev/null || { echo "check-libcxx: $compiler not found: run scripts/setup.sh" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One response file per source: its flags without the output, dependency and GCC-only options.
python3 - "$root" "$build/compile_commands.json" "$work" <<'PY'
import json, os, shlex, sys
root, database, work = sys.argv[1], sys.argv[2], sys.argv[3]
skip_alone = {"-c", "-fcoroutines"}
skip_with_value = {"-o", "-MF", "-MT", "-MQ"}
count = 0
for entry in json.load(open(database)):
    source = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(source, root)
    if relative.split(os.sep)[0] not in ("src", "tests", "bench"):
        continue  # generated files (moc, resources) and anything outside the tree
    if "/linux/" in relative or "/macos/" in relative:
        continue  # one system's code, compiled only there
    arguments = entry.get("arguments") or shlex.split(entry["command"])
    flags, skip_next = [], False
    for argument in arguments[1:]:
        if skip_next:
            skip_next = False
        elif argument in skip_with_value:
            skip_next = True
        elif argument not in skip_alone and argument not in ("-MD", "-MMD") and argument != entry["file"]:
            flags.append(argument)
    count += 1
    with open(os.path.join(work, "%04d.rsp" % count), "w") as out:
        out.write("\n".join(shlex.quote(f) for f in flags + [source]) + "\n")
print("check-libcxx: %d sources" % count, file=sys.stderr)
PY

# Two at a time: the build machines have two cores. Each file's errors come out whole.
status=0
find "$work" -name '*.rsp' -print0 | sort -z |
    xargs -0 -P2 -I{} sh -c '"$0" -stdlib=libc++ -fsyntax-only -Werror @"$1" 2>"$1.err" || { cat "$1.err" >&2; exit 1; }' \
        "$compiler" {} || status=1
if ((status)); then
    echo "check-libcxx: some sources do not compile cleanly with clang and libc++ (see above)" >&2
    exit 1
fi
echo "check-libcxx: every portable source compiles with libc++"
