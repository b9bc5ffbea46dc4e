#!/usr/bin/env bash
# Builds a Debian package of the current tree (in build-package/, beside build/ so the compiler
# cache serves both) and prints the package's path as its last line. Install it with
#   sudo apt install ./quorlane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${QUORLANE_PACKAGE_DIR:-build-package}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORLANE_BUILD_TESTS=OFF -DQUORLANE_BUILD_BENCH=OFF >&2
cmake --build "$dir" >&2
rm -f "$dir"/quorlane_*.deb
(cd "$dir" && cpack -G DEB >&2)
deb=("$dir"/quorlane_*.deb)
[[ -f ${deb[0]} ]] || { echo "package.sh: cpack made no package" >&2; exit 1; }
echo "Size: $(du -h "${deb[0]}" | cut -f1) packed, $(dpkg-deb -f "${deb[0]}" Installed-Size) KiB installed" >&2
realpath "${deb[0]}"
