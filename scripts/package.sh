#!/usr/bin/env bash
# Builds Quorvex (installing what is missing) and makes the Debian package
# build/quorvex_<version>_<arch>.deb: the window, quorvex-convert,
# quorvex-thumbnail and the viewer quorvex-view in /usr/bin with the desktop
# entries (the viewer's the default for drawings), icons, MIME type,
# thumbnailer entry, metainfo, manual pages and bash completion. Its Depends
# come from the binaries (dpkg-shlibdeps). The package is checked with
# lintian (an error fails the script), the desktop entry with
# desktop-file-validate and the metainfo with appstreamcli. Prints the
# package's path last.
#   scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/build.sh
# dpkg-shlibdeps, and the three checkers.
scripts/install-missing.sh dpkg-dev lintian appstream desktop-file-utils

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
arch=$(dpkg --print-architecture)
[ -n "$version" ] || { echo "package.sh: no project version in build/CMakeCache.txt" >&2; exit 1; }
deb=$root/build/quorvex_${version}_${arch}.deb

# The files go where debhelper would put them, so that dpkg-shlibdeps finds
# the package they belong to.
work=$root/build/package
stage=$work/debian/quorvex
rm -rf "$work" "$deb"
mkdir -p "$stage/DEBIAN"
DESTDIR=$stage cmake --install build --prefix /usr >/dev/null
# Without debugging symbols and the compiler's notes, as Debian strips.
# The programs and the PDF module they load.
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage"/usr/bin/* \
  $(find "$stage/usr/lib" -name '*.so' 2>/dev/null)

# The date of the last commit stands for the build's: the same sources make
# the same package.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH=$epoch
maintainer="The Quorvex developers <quorvex@quorvex.example>"

doc=$stage/usr/share/doc/quorvex
mkdir -p "$doc"
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: Quorvex"
  echo
  echo "Files: *"
  echo "Copyright: $(sed -n 's/^Copyright (c) //p' LICENSE)"
  echo "License: Expat"
  # The licence text, each line indented and empty lines as " .".
  sed -n '/^Permission/,$p' LICENSE | sed -e 's/^$/./' -e 's/^/ /'
} >"$doc/copyright"
{
  echo "quorvex ($version) unstable; urgency=medium"
  echo
  echo "  * Built from the project's sources$(git -C "$root" log -1 --format=' at commit %h' 2>/dev/null || true)."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$epoch")"
} | gzip -9n >"$doc/changelog.gz"
find "$stage/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +

# Plain permissions whatever the umask: programs 0755, everything else 0644.
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$stage"/usr/bin/*

# Depends from the libraries the programs are linked with. Recommends: the
# Japanese font the window's texts are drawn in, Qt's own Japanese texts
# for its dialogs, what lets xdg-open tell a drawing by its name on a
# desktop of no known kind, and the shell's completion that loads the
# programs' completion; the programs run without them.
mkdir -p "$work/debian"
printf 'Source: quorvex\n\nPackage: quorvex\nArchitecture: any\n' >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O debian/quorvex/usr/bin/* | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
installed_size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)

cat >"$stage/DEBIAN/control" <<EOF
Package: quorvex
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $installed_size
Depends: $depends
Recommends: fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n, libfile-mimeinfo-perl, bash-completion
Section: graphics
Priority: optional
Description: explode dimensions without a value in JWW drawings
 Quorvex reads a drawing of the Jw_cad CAD program (a .jww file), breaks
 every dimension figure whose value text is empty or blank into the plain
 lines and points it is drawn with, and writes the whole drawing to a
 second .jww file in the same format version. Everything else is carried
 over: the header settings, the other entities, the block definitions in
 use and the images a drawing carries.
 .
 The package holds the viewer (quorvex-view), which opens drawings from
 the file manager, highlights what the explode would change, shows and
 hides layers, exports and prints the sheet at true size; the window
 (quorvex); the command-line converter (quorvex-convert), which also
 converts many drawings at a time and draws them as SVG pictures; and a
 thumbnailer that shows drawings as pictures in file managers.
EOF
(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0 md5sum) \
  >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -exec touch -h -d "@$epoch" {} +

dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null

# ---- checks ----
status=0
for entry in quorvex quorvex-view; do
  desktop-file-validate "$stage/usr/share/applications/$entry.desktop" || status=1
done
for metainfo in "$stage"/usr/share/metainfo/*.metainfo.xml; do
  appstreamcli validate --no-net "$metainfo" >/dev/null || { appstreamcli validate --no-net "$metainfo" || true; status=1; }
done
# Errors fail; what lintian still prints is explained in docs/packaging.md.
lintian --fail-on error --tag-display-limit 0 "$deb" || status=1
if ((status)); then
  echo "package.sh: $deb was made but did not pass its checks" >&2
  exit 1
fi
echo "$deb"
