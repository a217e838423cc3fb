#!/usr/bin/env bash
# Unpacks the Debian package that scripts/package.sh made into a temporary
# root and runs the converter and the thumbnailer from there on the sample
# drawing: what a user gets after installing it. Skipped (status 77) when no
# package of this version has been made.
#   installed.sh BUILD-DIR SOURCE-DIR VERSION
set -uo pipefail
build=$1 src=$2 version=$3

command -v dpkg-deb >/dev/null || { echo "dpkg-deb not found: skipped"; exit 77; }
deb=$build/quorvex_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "no package at $deb (scripts/package.sh makes it): skipped"; exit 77; }

root=$(mktemp -d "${TMPDIR:-/tmp}/quorvex-package.XXXXXX")
trap 'rm -rf "$root"' EXIT
failed=0
check() {  # NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok      $name"; else echo "FAILED  $name"; failed=$((failed + 1)); fi
}

dpkg-deb -x "$deb" "$root/fs" || { echo "cannot unpack $deb"; exit 1; }
field() { dpkg-deb -f "$deb" "$1"; }
check "Package: quorvex" test "$(field Package)" = quorvex
check "Version: $version" test "$(field Version)" = "$version"
# Depends as dpkg-shlibdeps writes it: with the C library and Qt's.
depends=$(field Depends)
check "Depends from the binaries: $depends" grep -q 'libc6 (>= .*libqt6gui6 (>= ' <<<"$depends"

for f in usr/bin/quorvex usr/bin/quorvex-convert usr/bin/quorvex-thumbnail usr/bin/quorvex-view \
  usr/share/applications/quorvex.desktop usr/share/metainfo/org.quorvex.quorvex.metainfo.xml \
  usr/share/applications/quorvex-view.desktop usr/share/metainfo/org.quorvex.view.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/quorvex-view.svg usr/share/icons/hicolor/48x48/apps/quorvex-view.png \
  usr/share/icons/hicolor/256x256/apps/quorvex-view.png usr/share/man/man1/quorvex-view.1.gz \
  usr/share/bash-completion/completions/quorvex-view \
  usr/share/icons/hicolor/scalable/apps/quorvex.svg usr/share/icons/hicolor/48x48/apps/quorvex.png \
  usr/share/icons/hicolor/256x256/apps/quorvex.png usr/share/mime/packages/quorvex-jww.xml \
  usr/share/icons/hicolor/scalable/mimetypes/application-x-jww.svg \
  usr/share/icons/hicolor/48x48/mimetypes/application-x-jww.png \
  usr/share/icons/hicolor/256x256/mimetypes/application-x-jww.png \
  usr/share/thumbnailers/quorvex.thumbnailer usr/share/man/man1/quorvex.1.gz \
  usr/share/man/man1/quorvex-convert.1.gz usr/share/man/man1/quorvex-thumbnail.1.gz \
  usr/share/bash-completion/completions/quorvex-convert usr/share/bash-completion/completions/quorvex \
  usr/share/bash-completion/completions/quorvex-thumbnail usr/share/doc/quorvex/copyright \
  usr/share/locale/ja/LC_MESSAGES/quorvex.mo; do
  check "holds /$f" test -s "$root/fs/$f"
done
check "the copyright file holds the licence" grep -q 'Permission is hereby granted' "$root/fs/usr/share/doc/quorvex/copyright"

# Every library each program needs is found on this system.
for p in quorvex quorvex-convert quorvex-thumbnail quorvex-view; do
  check "$p: all libraries found" bash -c "ldd '$root/fs/usr/bin/$p' >'$root/ldd' && ! grep -q 'not found' '$root/ldd'"
done

convert=$root/fs/usr/bin/quorvex-convert
check "quorvex-convert --version" test "$("$convert" --version)" = "quorvex-convert $version"
out=$(LC_ALL=C "$convert" "$src/samples/sample.jww" "$root/out.jww")
check "quorvex-convert converts the sample: $out" \
  test "$out" = "$src/samples/sample.jww -> $root/out.jww: 2 dimensions exploded, 6 lines and 8 points added"
# Its messages in Japanese from the package's catalog (C.UTF-8 is on every
# system, and takes the language from LANGUAGE), in English under LC_ALL=C.
said=$(LC_ALL= LC_MESSAGES= LANG=C.UTF-8 LANGUAGE=ja "$convert" "$src/samples/sample.jww" "$root/ja.jww")
check "quorvex-convert speaks Japanese: $said" grep -q ': 寸法図形 2 個を分解、線 6 本と点 8 個を追加$' <<<"$said"
said=$(LC_ALL=C LANGUAGE=ja "$convert" "$src/samples/sample.jww" "$root/c.jww")
check "quorvex-convert under LC_ALL=C: $said" grep -q ': 2 dimensions exploded, 6 lines and 8 points added$' <<<"$said"
info=$("$convert" --info "$root/out.jww")
check "the output reads back, no dimension without a value left" grep -q '"dimensionsWithoutValue": 0,' <<<"$info"

thumbnail=$root/fs/usr/bin/quorvex-thumbnail
# Asked on a terminal without a display, as quorvex(1) and
# quorvex-thumbnail(1) list them.
nodisplay=(env -u DISPLAY -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY)
check "quorvex --version without a display" test "$("${nodisplay[@]}" "$root/fs/usr/bin/quorvex" --version)" = "quorvex $version"
check "quorvex-view --version without a display" test "$("${nodisplay[@]}" "$root/fs/usr/bin/quorvex-view" --version)" = "quorvex-view $version"
check "quorvex-thumbnail --version" test "$("${nodisplay[@]}" "$thumbnail" --version)" = "quorvex-thumbnail $version"
# A file manager runs it with no display and no platform asked for.
check "quorvex-thumbnail draws the sample" "${nodisplay[@]}" "$thumbnail" -s 64 "$src/samples/sample.jww" "$root/out.png"
# A PNG whose longer side is 64 pixels.
png_ok() {
  [ "$(head -c 8 "$root/out.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 1
  local w h
  w=$(od -An -tu1 -j16 -N4 "$root/out.png" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
  h=$(od -An -tu1 -j20 -N4 "$root/out.png" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
  echo "        ${w}x$h pixels"
  { [ "$w" -eq 64 ] && [ "$h" -le 64 ]; } || { [ "$h" -eq 64 ] && [ "$w" -le 64 ]; }
}
check "the thumbnail is a 64-pixel PNG" png_ok

echo "$failed failed"
((failed == 0)) || echo "(a package made before the last changes? scripts/package.sh makes it anew)"
((failed == 0))
