#!/usr/bin/env bash
# Checks that the manual page and the bash completion of quorvex-convert
# keep in step with the program: every option its help lists is in both,
# and the manual page lists the exit statuses the help lists, in order.
#   in-step.sh QUORVEX-CONVERT SOURCE-DIR
set -uo pipefail
convert=$1 src=$2
page=$src/packaging/man/quorvex-convert.1
completion=$src/packaging/completion/quorvex-convert

failed=0
help=$("$convert" --help) || { echo "FAILED  $convert --help"; exit 1; }

# The options: the first word of each line of the help's "Options:" part.
options=$(sed -n '/^Options:/,/^$/p' <<<"$help" | awk '$1 ~ /^-/ {print $1}')
[ -n "$options" ] || { echo "FAILED  no options found in the help"; exit 1; }
# The page as plain words: roff's "\-" is a hyphen, font changes go.
page_text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")
# The words the completion offers: its -W '...' lists.
offered=" $(grep -o -- "-W '[^']*'" "$completion" | sed "s/^-W '//; s/'\$//" | paste -sd' ') "
for o in $options; do
  if grep -qE -- "(^|[[:space:],|[(])$o([[:space:],|)]|\$)" <<<"$page_text"; then
    echo "ok      the manual page has $o"
  else
    echo "FAILED  the manual page lacks $o"
    failed=$((failed + 1))
  fi
  if [[ $offered == *" $o "* ]]; then
    echo "ok      the completion offers $o"
  else
    echo "FAILED  the completion does not offer $o"
    failed=$((failed + 1))
  fi
done

# The exit statuses: the help's, and the bold tags after EXIT STATUS.
in_help=$(sed -n '/^Exit status:/,$p' <<<"$help" | awk '$1 ~ /^[0-9]/ {print $1}' | paste -sd' ')
in_page=$(sed -n '/^\.SH EXIT STATUS/,/^\.SH /p' "$page" | sed -n 's/^\.B //p' | paste -sd' ')
if [[ $in_help == "$in_page" ]]; then
  echo "ok      exit statuses $in_help"
else
  echo "FAILED  exit statuses: the help lists [$in_help], the manual page [$in_page]"
  failed=$((failed + 1))
fi

echo "$failed failed"
((failed == 0))
