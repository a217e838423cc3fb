#!/usr/bin/env bash
# The translations kept in step with the sources: makes po/quorvex.pot anew
# from the messages the sources mark (Tr, TrCount and TrLater,
# text/messages.h) and merges it into each LANG.po, whose new and changed
# messages are then to be translated (msgmerge marks changed ones fuzzy).
#   po/update.sh           update quorvex.pot and the LANG.po files
#   po/update.sh --check   change nothing; fail when quorvex.pot is not the
#                          sources' or a LANG.po lacks a translation, has a
#                          fuzzy one, or one whose printf directives differ
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."
check=0
[ "${1:-}" = "--check" ] && check=1
for tool in xgettext msgmerge msgcmp msgfmt; do
  command -v $tool >/dev/null || { echo "update.sh: $tool (Debian's gettext) is missing"; exit 77; }
done

# The programs' sources (not the tests, fuzz targets and benchmarks).
sources=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||')
sources=$(grep -vE '^(tests|fuzz|bench|build[^/]*)/|/tests/' <<<"$sources" | xargs grep -lE '\b(Tr|TrCount|TrLater)\("' | sort)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# File names only, no line numbers: the catalog changes with the messages,
# not with every edit around them.
xgettext --from-code=UTF-8 --language=C++ --keyword= --keyword=Tr --keyword=TrLater --keyword=TrCount:1,2 \
  --add-comments=TRANSLATORS: --add-location=file --sort-by-file --package-name=Quorvex \
  --msgid-bugs-address=quorvex@quorvex.example --copyright-holder="The Quorvex developers" \
  -o "$work/quorvex.pot" $sources
sed -i -e '1s/.*/# The messages of quorvex-convert and quorvex-thumbnail, in English as the sources say them./' \
  -e '/^# FIRST AUTHOR/d' "$work/quorvex.pot"
# The template but for its date, which changes with each run: the one in
# the tree stands while the rest is the same.
same_messages() { diff -q <(grep -v '^"POT-Creation-Date:' "$1") <(grep -v '^"POT-Creation-Date:' "$2") >/dev/null; }

if [ $check = 1 ]; then
  failed=0
  if same_messages po/quorvex.pot "$work/quorvex.pot"; then
    echo "ok      po/quorvex.pot has the sources' messages"
  else
    echo "FAILED  po/quorvex.pot is not the sources' messages (run po/update.sh):"
    diff <(grep -v '^"POT-Creation-Date:' po/quorvex.pot) <(grep -v '^"POT-Creation-Date:' "$work/quorvex.pot") |
      head -40 || true
    failed=1
  fi
  for po in po/*.po; do
    if msgcmp "$po" "$work/quorvex.pot" && msgfmt --check -o /dev/null "$po"; then
      echo "ok      $po translates every message"
    else
      echo "FAILED  $po: a message untranslated, fuzzy or with other printf directives"
      failed=1
    fi
  done
  exit $failed
fi

same_messages po/quorvex.pot "$work/quorvex.pot" || cp "$work/quorvex.pot" po/quorvex.pot
for po in po/*.po; do
  msgmerge --quiet --update --backup=none --add-location=file --sort-by-file "$po" po/quorvex.pot
done
pos=(po/*.po)
echo "po/quorvex.pot and ${pos[*]:-no translations} are in step with the sources"
