#!/usr/bin/env bash
# Checks that each program's manual page (and its bash completion, where it
# has one) keeps in step with the program: every option its help lists is
# in both, and the manual page lists the exit statuses the help lists, in
# order (where the help lists them). The help is asked for without a
# display, as from a terminal, and in English (LC_ALL=C), the manual
# pages' language.
#   in-step.sh SOURCE-DIR PROGRAM...
set -uo pipefail
src=$1
shift

failed=0
fail() {
  echo "FAILED  $*"
  failed=$((failed + 1))
}

for program in "$@"; do
  name=$(basename "$program")
  page=$src/packaging/man/$name.1
  completion=$src/packaging/completion/$name
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=C "$program" --help) || { fail "$name --help"; continue; }

  # The options: the leading words of each line of the help's "Options:"
  # part that begin with a dash ("-h, --help  ..." gives -h and --help).
  options=$(sed -n '/^Options:/,/^$/p' <<<"$help" |
    awk '{for (i = 1; i <= NF && $i ~ /^-/; i++) {o = $i; sub(/,$/, "", o); print o}}')
  [ -n "$options" ] || { fail "$name: no options found in the help"; continue; }
  # The page as plain words: roff's "\-" is a hyphen, font changes go.
  page_text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")
  # The words the completion offers: its -W lists (but for what they take
  # from variables and commands), and the options in
  # its table of the kinds of output (rows 'EXTENSION BATCH-OPTION OPTION').
  offered= kinds=
  if [ -f "$completion" ]; then
    kinds=$(sed -n "/^_[a-z_]*_kinds=(/,/^)/p" "$completion" | sed -n "s/^ *'\([^']*\)'\$/\1/p")
    offered=" $(grep -o -- "-W [\"'][^\"']*[\"']" "$completion" | sed "s/^-W [\"']//; s/[\"']\$//" | tr ' ' '\n' |
      grep -v '\$' | paste -sd' ') $(cut -d' ' -f2- <<<"$kinds" | paste -sd' ') "
  fi
  for o in $options; do
    if grep -qE -- "(^|[[:space:],|[(])$o([[:space:],|)]|\$)" <<<"$page_text"; then
      echo "ok      $name: the manual page has $o"
    else
      fail "$name: the manual page lacks $o"
    fi
    [ -f "$completion" ] || continue
    if [[ $offered == *" $o "* ]]; then
      echo "ok      $name: the completion offers $o"
    else
      fail "$name: the completion does not offer $o"
    fi
  done

  # The kinds of output, for a program whose completion has a table of
  # them: each OUTPUT.EXT of the help's usage is in the manual page's
  # synopsis and, but for the drawing's own .jww, a row of the table with
  # the options the usage gives it ("[OPTION] INPUT.jww OUTPUT.EXT" and
  # "-d OUTDIR [... | BATCH-OPTION [OPTION] ...]").
  [ -z "$kinds" ] && usage= || usage=$(sed -n '/^Usage:/,/^$/p' <<<"$help")
  synopsis=$(sed -n '/^\.SH SYNOPSIS/,/^\.SH /p' "$page" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g')
  batch=$(sed -n 's/.* -d OUTDIR \[\(.*\)\] \[-j N\].*/\1/p' <<<"$usage" | sed 's/ | /\n/g')
  for ext in $(grep -o 'OUTPUT\.[a-z]*' <<<"$usage" | sed 's/^OUTPUT\.//' | sort -u); do
    if grep -q "OUTPUT\.$ext" <<<"$synopsis"; then
      echo "ok      $name: the manual page's synopsis has OUTPUT.$ext"
    else
      fail "$name: the manual page's synopsis lacks OUTPUT.$ext"
    fi
    [[ $ext != jww ]] || continue
    own=$(grep "OUTPUT\.$ext\$" <<<"$usage" | grep -o '\[-[-a-z]*\]' | tr -d '[]')
    asks=$(grep -- " \[$own\]\$" <<<"$batch" | cut -d' ' -f1)
    [ -n "$own" ] || asks=$(grep -v ' ' <<<"$batch" | head -1)
    want=$(echo $ext $asks $own)
    if grep -qx -- "$want" <<<"$kinds"; then
      echo "ok      $name: the completion knows the output .$ext ($want)"
    else
      fail "$name: the completion's table of outputs lacks '$want'"
    fi
  done

  # The exit statuses: the help's, and the bold tags after EXIT STATUS.
  in_help=$(sed -n '/^Exit status:/,$p' <<<"$help" | awk '$1 ~ /^[0-9]/ {print $1}' | paste -sd' ')
  [ -n "$in_help" ] || continue
  in_page=$(sed -n '/^\.SH EXIT STATUS/,/^\.SH /p' "$page" | sed -n 's/^\.B //p' | paste -sd' ')
  if [[ $in_help == "$in_page" ]]; then
    echo "ok      $name: exit statuses $in_help"
  else
    fail "$name: exit statuses: the help lists [$in_help], the manual page [$in_page]"
  fi
done

echo "$failed failed"
((failed == 0))
