#!/usr/bin/env bash
# The install and the Debian package of a build: every file where Debian puts a game's, the
# package's own fields, nothing for lintian, desktop-file-validate or appstreamcli to say, and
# the program unpacked from the .deb opening its window, icon included, under the window
# tests' private X server. Works in a folder of its own, not in the build.
#   package_test.sh BUILD_FOLDER SDL_WINDOW_TEST
set -euo pipefail
build=$1
window_test=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
id=io.github.quillop.quillop

fail() {
    echo "package test: $*" >&2
    exit 1
}

for tool in lintian desktop-file-validate appstreamcli dpkg-deb; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/deps.sh installs it)"
done

cmake --install "$build" --prefix "$work/root" >/dev/null
expected="./games/quillop
./share/applications/$id.desktop
./share/doc/quillop/changelog.gz
./share/doc/quillop/copyright
./share/icons/hicolor/128x128/apps/quillop.png
./share/icons/hicolor/256x256/apps/quillop.png
./share/icons/hicolor/48x48/apps/quillop.png
./share/icons/hicolor/64x64/apps/quillop.png
./share/man/man6/quillop.6.gz
./share/metainfo/$id.metainfo.xml"
installed=$(cd "$work/root" && find . -type f | LC_ALL=C sort)
[ "$installed" = "$expected" ] ||
    fail "the install holds:"$'\n'"$installed"$'\n'"instead of:"$'\n'"$expected"
[ -x "$work/root/games/quillop" ] || fail "games/quillop is not executable"
for size in 48 64 128 256; do
    file -b "$work/root/share/icons/hicolor/${size}x$size/apps/quillop.png" |
        grep -q "^PNG image data, $size x $size," || fail "the ${size}x$size icon has another size"
done
entry="$work/root/share/applications/$id.desktop"
for line in '[Desktop Entry]' 'Type=Application' 'Name=Quillop' 'Exec=quillop 3 10 8' \
    'Icon=quillop'; do
    grep -qxF "$line" "$entry" || fail "the desktop entry lacks: $line"
done

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
debs=("$work"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = quillop ] || fail "package name"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"
dpkg-deb -f "$deb" Depends | grep -q libsdl2 || fail "the package does not depend on SDL2"

# Lintian's tags go to standard output; its standard error has only its remarks on how it
# was run (as root, for one).
if ! tags=$(lintian --fail-on error,warning "$deb" 2>"$work/lintian-errors") || [ -n "$tags" ]; then
    fail "lintian:"$'\n'"$tags"$'\n'"$(cat "$work/lintian-errors")"
fi

dpkg-deb -x "$deb" "$work/unpacked"
unpacked=$work/unpacked/usr
if ! said=$(desktop-file-validate "$unpacked/share/applications/$id.desktop" 2>&1) ||
    [ -n "$said" ]; then
    fail "desktop-file-validate:"$'\n'"$said"
fi
# A valid file still gets its pedantic hints counted on the last line; hints, warnings and
# errors are the lines of their own.
if ! said=$(appstreamcli validate --no-net "$unpacked/share/metainfo/$id.metainfo.xml" 2>&1) ||
    grep -q '^[A-Z]: ' <<<"$said"; then
    fail "appstreamcli validate:"$'\n'"$said"
fi

# gtest passes when a filter matches nothing: the case must be seen passing.
if ! ran=$(QUILLOP_PROGRAM="$unpacked/games/quillop" "$window_test" \
    --gtest_filter='DesktopProgram.OpensAFixedQuillopWindow*' 2>&1) ||
    ! grep -qF '[  PASSED  ] 1 test.' <<<"$ran"; then
    fail "the unpacked program's window:"$'\n'"$ran"
fi
echo "install and package hold the game as Debian lays it out; lintian, desktop-file-validate"
echo "and appstreamcli say nothing; the unpacked program opens its window with its icon"
