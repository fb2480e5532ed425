#!/usr/bin/env bash
# Checks what `cmake --install` lays out and the .deb made of it, from a built release folder:
#   tests/install/check_install.sh BUILD_DIR DEB
# - an install into a temporary DESTDIR: bin/dravolin --version runs, and bin/dravolin without
#   arguments opens the installed demo (it keeps the folder it opened in its settings file);
# - the menu entry and the AppStream data pass desktop-file-validate and appstreamcli validate;
# - the package's file list holds the programs, the desktop file, the icons, the AppStream data,
#   the manual pages, the README and the demo; lintian finds no errors;
# - the program's manual page tells its keys and its folders and points to the installed README.
set -euo pipefail
build=$1
deb=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check_install: $*" >&2
  exit 1
}

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"
"$root/bin/dravolin" --version | grep -q '^Dravolin ' || fail "bin/dravolin --version"
for program in dravolin dravolin-author dravolin-check dravolin-curve dravolin-drive \
  dravolin-make-demo dravolin-package dravolin-timer-check dravolin-video; do
  [ -x "$root/bin/$program" ] || fail "bin/$program is missing"
  [ -s "$root/share/man/man1/$program.1.gz" ] || fail "the manual page of $program is missing"
  man --warnings -l "$root/share/man/man1/$program.1.gz" 2>&1 >/dev/null | grep . &&
    fail "the manual page of $program has roff warnings"
done

page=$(zcat "$root/share/man/man1/dravolin.1.gz")
for section in '^\.SH KEYS' '^\.SH FILES' 'Scroll Lock' 'dravolin/dravolin\.conf' \
  'share/dravolin/recordings' '/usr/share/doc/dravolin/README\.md\.gz'; do
  grep -q "$section" <<<"$page" || fail "the manual page of dravolin lacks $section"
done
[ -s "$root/share/doc/dravolin/README.md.gz" ] || fail "the README is not installed"
zgrep -q '^# Dravolin' "$root/share/doc/dravolin/README.md.gz" || fail "the README is not whole"
[ -s "$root/share/doc/dravolin/docs/cab.png" ] || fail "the README's pictures are not installed"

# Started without arguments and no settings yet, the program opens the installed demo.
mkdir -p "$work/config" "$work/home"
status=0
HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen \
  DRAVOLIN_SOUND_DEVICE=none timeout 20 "$root/bin/dravolin" >"$work/out.txt" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$work/out.txt" >&2; fail "bin/dravolin ended with status $status"; }
settings="$work/config/dravolin/dravolin.conf"
[ -f "$settings" ] || fail "bin/dravolin wrote no settings file"
grep -qx "dataFolder=$root/share/dravolin/demo" "$settings" ||
  fail "bin/dravolin did not open the installed demo: $(grep dataFolder "$settings")"

desktop-file-validate "$root/share/applications/dravolin.desktop"
grep -qx 'MimeType=application/x-dravolin-package;' "$root/share/applications/dravolin.desktop" ||
  fail "the desktop entry does not open line packages"
xmllint --noout "$root/share/mime/packages/dravolin.xml" 2>/dev/null ||
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
    "$root/share/mime/packages/dravolin.xml" || fail "the MIME type's XML is not well formed"
# The installed tools package the installed demo, install it into a home of their own and list it.
pkg_home="$work/pkg-home"
mkdir -p "$pkg_home"
HOME="$pkg_home" XDG_DATA_HOME= "$root/bin/dravolin-package" create "$root/share/dravolin/demo" \
  "$work/demo.dravolin" --id demo >/dev/null || fail "dravolin-package create on the demo"
HOME="$pkg_home" XDG_DATA_HOME= "$root/bin/dravolin-package" install "$work/demo.dravolin" \
  >/dev/null || fail "dravolin-package install of the demo"
HOME="$pkg_home" XDG_DATA_HOME= "$root/bin/dravolin-package" list | grep -q '^demo 1 ' ||
  fail "dravolin-package list does not show the demo"
[ -s "$pkg_home/.local/share/dravolin/lines/demo/move/sakura.avi" ] ||
  fail "the installed demo has no line video"
appstreamcli validate --no-net --pedantic "$root"/share/metainfo/*.metainfo.xml >/dev/null ||
  appstreamcli validate --no-net "$root"/share/metainfo/*.metainfo.xml

listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/dravolin ./usr/bin/dravolin-make-demo ./usr/bin/dravolin-author \
  ./usr/share/applications/dravolin.desktop ./usr/bin/dravolin-package \
  ./usr/share/mime/packages/dravolin.xml \
  ./usr/share/icons/hicolor/48x48/apps/dravolin.png \
  ./usr/share/icons/hicolor/128x128/apps/dravolin.png \
  ./usr/share/icons/hicolor/256x256/apps/dravolin.png \
  ./usr/share/icons/hicolor/scalable/apps/dravolin.svg \
  ./usr/share/metainfo/org.dravolin.Dravolin.metainfo.xml \
  ./usr/share/man/man1/dravolin.1.gz ./usr/share/man/man1/dravolin-drive.1.gz \
  ./usr/share/doc/dravolin/copyright ./usr/share/doc/dravolin/README.md.gz \
  ./usr/share/doc/dravolin/docs/summary_window.png ./usr/share/dravolin/demo/dravolin.dat \
  ./usr/share/dravolin/demo/E231_train.dat ./usr/share/dravolin/demo/move/sakura.avi; do
  grep -qxF "$path" <<<"$listing" || fail "the package lacks $path"
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no library dependencies found"

if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error "$deb"
fi
echo "check_install: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB) and the installed tree are fine"
