#!/usr/bin/env bash
# Builds the Debian package of a build folder, unpacks it and checks what a user gets:
# the layout, the declared dependencies, valid menu and AppStream entries, and a program
# that finds every library it needs, its own among them inside the package.
#   checkpackage.sh BUILD_FOLDER WORK_FOLDER
set -euo pipefail
build=$1
work=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/quillmark_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "expected one quillmark_*.deb, got: ${debs[*]}"
fi
deb=${debs[0]}

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in "7zip | p7zip-full" libqt5widgets5 libc6; do
    [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
for file in bin/quillmark share/quillmark/help.txt share/applications/quillmark.desktop \
    share/metainfo/com.morrowquay.Quillmark.metainfo.xml \
    share/icons/hicolor/scalable/apps/quillmark.svg; do
    [ -f "$usr/$file" ] || fail "missing /usr/$file"
done
for picture in file json jpg png asset music cs cslist; do
    [ -f "$usr/share/quillmark/img/$picture.jpg" ] || fail "missing picture $picture.jpg"
done
for size in 16 24 32 48 64 128 256; do
    [ -f "$usr/share/icons/hicolor/${size}x$size/apps/quillmark.png" ] || fail "missing $size px icon"
done
[ "$(ls "$usr/bin")" = quillmark ] || fail "more than the program in /usr/bin: $(ls "$usr/bin")"
libraries=$(find "$usr" -name 'libdovetalk.so*')
[ -n "$libraries" ] || fail "libdovetalk missing"
# The library's development files stay out of the program's package.
stray=$(find "$usr" -name '*.h' -o -name '*.cmake' -o -name 'libdovetalk.so')
[ -z "$stray" ] || fail "development files packaged: $stray"

desktop-file-validate "$usr/share/applications/quillmark.desktop"
appstream-util validate-relax --nonet "$usr/share/metainfo/com.morrowquay.Quillmark.metainfo.xml"

links=$(env -u LD_LIBRARY_PATH ldd "$usr/bin/quillmark")
echo "$links"
if grep -q "not found" <<<"$links"; then
    fail "unresolved libraries"
fi
grep -q "libdovetalk.so.* => $usr/" <<<"$links" || fail "libdovetalk not taken from the package"
# Qt's SQL module reaches SQLite through a plugin that no linked library names.
if grep -q libQt5Sql <<<"$links" && [[ $depends != *libqt5sql5-sqlite* ]]; then
    fail "Depends lacks the SQLite driver libqt5sql5-sqlite"
fi
echo "package ok: $(basename "$deb"), $(stat -c %s "$deb") bytes"
