#!/usr/bin/env bash
# Checks the desktop entries (the window's and the viewer's) and the
# software centre's metainfo of each with their own validators (any remark
# fails, pedantic ones too), that each metainfo names this version, its
# desktop entry and the MIME type the project installs, and that each
# desktop entry opens drawings of that type. A validator that is not
# installed is skipped; with neither, the whole check is (status 77).
#   metadata.sh SOURCE-DIR VERSION
set -uo pipefail
src=$1 version=$2
mime=$src/thumbnail/quorvex-jww.xml

failed=0 ran=0
fail() {
  echo "FAILED  $*"
  failed=$((failed + 1))
}

# desktop entry, metainfo, the Exec line
check_pair() {
  local desktop=$1 metainfo=$2 exec=$3 out
  if command -v desktop-file-validate >/dev/null; then
    ran=1
    out=$(desktop-file-validate "$desktop" 2>&1)
    [[ $? -eq 0 && -z $out ]] && echo "ok      desktop-file-validate $desktop" || fail "desktop-file-validate: $out"
  else
    echo "skipped desktop-file-validate (package desktop-file-utils)"
  fi

  if command -v appstreamcli >/dev/null; then
    ran=1
    out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1)
    if [[ $? -eq 0 ]] && ! grep -q '^[EWIP]:' <<<"$out"; then
      echo "ok      appstreamcli validate $metainfo"
    else
      fail "appstreamcli: $out"
    fi
  else
    echo "skipped appstreamcli validate (package appstream)"
  fi

  # The newest release listed is this version: a software centre would
  # otherwise show an old one.
  local newest launch type handled
  newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
  [[ $newest == "$version" ]] && echo "ok      newest release $newest" ||
    fail "the metainfo's newest release is '$newest', the project is $version: add a <release>"

  # It launches the desktop entry that is installed and handles the MIME type
  # the project defines.
  launch=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
  [[ $launch == "$(basename "$desktop")" ]] && echo "ok      launchable $launch" ||
    fail "the metainfo launches '$launch', the desktop entry is $(basename "$desktop")"
  type=$(sed -n 's:.*<mime-type type="\([^"]*\)".*:\1:p' "$mime")
  handled=$(sed -n 's:.*<mediatype>\(.*\)</mediatype>.*:\1:p' "$metainfo")
  [[ $handled == "$type" ]] && echo "ok      mediatype $handled" ||
    fail "the metainfo handles '$handled', the MIME type is '$type'"
  # The desktop entry opens such drawings.
  grep -qx "MimeType=\(.*;\)\?$type;.*" "$desktop" && echo "ok      $(basename "$desktop") opens $type" ||
    fail "the desktop entry's MimeType does not list $type"
  grep -qx "Exec=$exec" "$desktop" && echo "ok      Exec=$exec" ||
    fail "the desktop entry does not pass the files to open (Exec=$exec)"
}

# The window opens one drawing as its input; the viewer opens each given.
check_pair "$src/app/quorvex.desktop" "$src/packaging/org.quorvex.quorvex.metainfo.xml" 'quorvex %f'
check_pair "$src/viewer/quorvex-view.desktop" "$src/packaging/org.quorvex.view.metainfo.xml" 'quorvex-view %F'
((ran)) || exit 77

echo "$failed failed"
((failed == 0))
