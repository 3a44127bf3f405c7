#!/usr/bin/env bash
# The install and the Debian package of a build: bin/quillop and its desktop entry in both,
# and the package's own fields filled in. Works in a folder of its own, not in the build.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "package test: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$work/root" >/dev/null
[ -x "$work/root/bin/quillop" ] || fail "no bin/quillop after the install"
entry="$work/root/share/applications/quillop.desktop"
[ -f "$entry" ] || fail "no share/applications/quillop.desktop after the install"
for line in '[Desktop Entry]' 'Type=Application' 'Name=Quillop' 'Exec=quillop 3 10 8'; do
    grep -qxF "$line" "$entry" || fail "the desktop entry lacks: $line"
done
[ "$(find "$work/root" -type f | wc -l)" -eq 2 ] || fail "the install holds more than two files"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
debs=("$work"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
contents=$(dpkg-deb -c "${debs[0]}")
grep -q ' \./usr/bin/quillop$' <<<"$contents" || fail "the package has no /usr/bin/quillop"
grep -q ' \./usr/share/applications/quillop\.desktop$' <<<"$contents" ||
    fail "the package has no desktop entry"
[ "$(dpkg-deb -f "${debs[0]}" Package)" = quillop ] || fail "package name"
[ -n "$(dpkg-deb -f "${debs[0]}" Maintainer)" ] || fail "no maintainer"
[ -n "$(dpkg-deb -f "${debs[0]}" Description)" ] || fail "no description"
dpkg-deb -f "${debs[0]}" Depends | grep -q libsdl2 || fail "the package does not depend on SDL2"
echo "install and package hold bin/quillop and its desktop entry"
