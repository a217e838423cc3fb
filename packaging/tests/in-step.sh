#!/usr/bin/env bash
# Checks that each program's manual page (and its bash completion, where it
# has one) keeps in step with the program: every option its help lists is
# in both, and the manual page lists the exit statuses the help lists, in
# order (where the help lists them). The help is asked for without a
# display, as from a terminal.
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
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help) || { fail "$name --help"; continue; }

  # The options: the leading words of each line of the help's "Options:"
  # part that begin with a dash ("-h, --help  ..." gives -h and --help).
  options=$(sed -n '/^Options:/,/^$/p' <<<"$help" |
    awk '{for (i = 1; i <= NF && $i ~ /^-/; i++) {o = $i; sub(/,$/, "", o); print o}}')
  [ -n "$options" ] || { fail "$name: no options found in the help"; continue; }
  # The page as plain words: roff's "\-" is a hyphen, font changes go.
  page_text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")
  # The words the completion offers: its -W '...' lists.
  offered=
  [ -f "$completion" ] && offered=" $(grep -o -- "-W '[^']*'" "$completion" | sed "s/^-W '//; s/'\$//" | paste -sd' ') "
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
