#!/usr/bin/env bash
# The Debian package of this build: made with CPack, then its files, its metadata, its manual
# page and its completion checked as a user's system would see them. Installing it stays manual
# (README); nothing here touches the system. Usage: tst_package.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/quorlane_*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/quorlane /usr/share/applications/dev.quorlane.Quorlane.desktop \
    /usr/share/icons/hicolor/scalable/apps/dev.quorlane.Quorlane.svg \
    /usr/share/icons/hicolor/symbolic/apps/dev.quorlane.Quorlane-symbolic.svg \
    /usr/share/metainfo/dev.quorlane.Quorlane.metainfo.xml /usr/share/man/man1/quorlane.1.gz \
    /usr/share/bash-completion/completions/quorlane /usr/share/zsh/vendor-completions/_quorlane; do
    grep -qx "$path" "$work/contents" || fail "$path is not in the package"
done
# Only /usr, nothing a removal would leave behind in /etc, /var or a home.
grep -v '^/usr\(/\|$\)' "$work/contents" | grep -v '^/$' && fail "files outside /usr"

# Run-time dependencies: the libraries' packages from the linker's view, the QML modules from
# the panel's imports.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6quick6 libqt6widgets6 qml6-module-qtquick qml6-module-qtquick-layouts; do
    grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done

dpkg-deb -x "$deb" "$work/root"
root=$work/root
readelf -S "$root/usr/bin/quorlane" | grep -q '\.debug_info' && fail "/usr/bin/quorlane is not stripped"
desktop-file-validate "$root/usr/share/applications/dev.quorlane.Quorlane.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/dev.quorlane.Quorlane.metainfo.xml" >"$work/as.log" ||
    { cat "$work/as.log"; fail "AppStream metainfo"; }
version=$(dpkg-deb -f "$deb" Version)
grep -q "release version=\"$version\"" "$root/usr/share/metainfo/dev.quorlane.Quorlane.metainfo.xml" ||
    fail "the metainfo does not name release $version"

export HOME=$work/home
mkdir -p "$HOME"
printf '{"mcpServers":{"alpha":{"command":"/bin/false"},"beta two":{"command":"/bin/false"}}}' >"$HOME/.claude.json"
[[ $("$root/usr/bin/quorlane" --version) == "quorlane $version" ]] || fail "--version does not say $version"

# The manual page: every command from the help, each with its options.
man=$(zcat "$root/usr/share/man/man1/quorlane.1.gz")
for section in '.SH COMMANDS' '.SS "quorlane disable"' '\-\-project'; do
    grep -qF -- "$section" <<<"$man" || fail "the manual page lacks $section"
done

# Completion as bash offers it, with the packaged binary first on PATH.
complete_words() {
    PATH="$root/usr/bin:$PATH" bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _quorlane; printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/quorlane" "$@"
}
[[ $(complete_words quorlane dis) == disable ]] || fail "no command completion: $(complete_words quorlane dis)"
[[ $(complete_words quorlane enable --pro) == --project ]] || fail "no option completion"
[[ $(complete_words quorlane disable "") == $'alpha\nbeta two' ]] ||
    fail "no server completion: $(complete_words quorlane disable "")"
if command -v zsh >/dev/null; then
    zsh -n "$root/usr/share/zsh/vendor-completions/_quorlane" || fail "zsh completion does not parse"
fi
echo "PASS: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB, $(dpkg-deb -f "$deb" Installed-Size) KiB installed"
