#!/usr/bin/env bash
# Installs what Quorlane needs to build and test (Debian 12, run as root), then configures and
# builds it in ./build. Safe to run again: it installs only what is missing and builds incrementally.
set -euo pipefail
cd "$(dirname "$0")/.."

APT_PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config git
    clang libc++-dev libc++abi-dev
    qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qcoro-qt6-dev
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
    qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtqml-workerscript
    qml6-module-qttest qt6-qpa-plugins qt6-svg-dev
    nlohmann-json3-dev libsimdjson-dev
    procps lsof tmux jq python3 nodejs npm
    desktop-file-utils appstream dpkg-dev fakeroot
    clang libclang-rt-14-dev
    libxcb1-dev libxcb-shape0-dev libxcb-xinput-dev libqt6svg6
    xvfb openbox trayer xdotool x11-utils
)
# npm peers used by the tests: the real Claude Code CLI and the reference MCP servers.
NPM_PACKAGES=(
    @anthropic-ai/claude-code@2.1.197
    @modelcontextprotocol/server-everything@2026.8.31
    @modelcontextprotocol/server-memory@2026.8.31
    @modelcontextprotocol/server-filesystem@2026.8.31
)

missing=()
for pkg in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
# A machine that already has a newer Node.js outside Debian's packages keeps it.
if command -v node >/dev/null && command -v npm >/dev/null; then
    missing=("${missing[@]/nodejs/}")
    missing=("${missing[@]/npm/}")
fi
read -r -a missing <<<"${missing[*]}"
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

npm_missing=()
installed_npm=$(npm ls -g --depth=0 2>/dev/null || true)
for pkg in "${NPM_PACKAGES[@]}"; do
    grep -qF -- "${pkg}" <<<"$installed_npm" || npm_missing+=("$pkg")
done
if ((${#npm_missing[@]})); then
    echo "Installing from npm: ${npm_missing[*]}"
    npm install -g --no-fund --no-audit "${npm_missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
