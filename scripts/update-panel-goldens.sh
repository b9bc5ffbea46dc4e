#!/usr/bin/env bash
# Renders the panel's reference pictures again into tests/data/golden. Look at every picture
# before committing it: the screenshot test compares against whatever is there.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target tst_panelscreens
QUORLANE_UPDATE_GOLDENS=1 QT_QPA_PLATFORM=offscreen ./build/bin/tst_panelscreens
git status --short tests/data/golden
