#!/usr/bin/env bash
# `cmake --install` of a build puts the program, its menu entry, its icon at
# every size and its manual page under the prefix; --version, --help and
# the manual page agree with each other.
set -u
BUILD="$1"
VERSION="$2"
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cmake --install "$BUILD" --prefix "$dir" > "$dir/install.txt" 2>&1 || { cat "$dir/install.txt"; fail "install failed"; }
bin="$dir/bin/zol"
[ -x "$bin" ] || fail "no program in bin/"
[ "$("$bin" --version)" = "zol $VERSION" ] || fail "--version says \"$("$bin" --version)\", not zol $VERSION"

desktop="$dir/share/applications/zol.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
for line in "Type=Application" "Exec=zol" "Icon=zol" "Terminal=false"; do
    grep -qx "$line" "$desktop" || fail "the desktop entry lacks $line"
done
head -1 "$desktop" | grep -qx '\[Desktop Entry\]' || fail "the desktop entry does not begin with its group"

# Each icon is a PNG of its size (width and height from the IHDR chunk).
for size in 16 24 32 48 64 128 256; do
    icon="$dir/share/icons/hicolor/${size}x${size}/apps/zol.png"
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || fail "the ${size}x${size} icon is no PNG"
    w=$(od -An -j16 -N4 -tu1 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
    h=$(od -An -j20 -N4 -tu1 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "the ${size}x${size} icon is ${w}x${h}"
done

man="$dir/share/man/man1/zol.1"
[ -f "$man" ] || fail "no manual page"
grep -q "zol $VERSION" "$man" || fail "the manual page does not carry the version"
# Every option of --help is in the manual page.
for option in $("$bin" --help | grep -oE -- '--[a-z-]+' | sort -u); do
    grep -q -- "$(sed 's/-/\\\\-/g' <<<"$option")" "$man" || fail "the manual page lacks $option"
done
if command -v groff > /dev/null; then
    groff -man -Tutf8 -ww "$man" > "$dir/man.txt" 2> "$dir/man.err" || fail "the manual page does not format"
    [ ! -s "$dir/man.err" ] || { cat "$dir/man.err"; fail "the manual page has formatting warnings"; }
    grep -q "snapshot" "$dir/man.txt" || fail "the formatted manual page is empty"
fi
echo "install: program, desktop entry, 7 icons and manual page of zol $VERSION"
