#!/usr/bin/env bash
# Completes quorvex-view command lines with its bash completion as bash
# would, in a folder of drawings and other files, and checks what is
# offered: its options first, then drawings (any number) and folders.
#   completion-view.sh COMPLETION-FILE
set -uo pipefail
source "$1" || { echo "cannot load $1"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvex-completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir drawings
touch plan.jww OLD.JWW plan.svg plan.dxf notes.txt plan.jww.bak drawings/a.jww

failed=0
expect() {
  local typed=$1 want=$2
  read -r -a COMP_WORDS <<<"quorvex-view $typed"
  [[ $typed == *' ' || -z $typed ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quorvex_view quorvex-view "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd' ')
  if [[ $got == "$want" ]]; then
    echo "ok      [$typed] -> [$got]"
  else
    echo "FAILED  [$typed] -> [$got], expected [$want]"
    failed=$((failed + 1))
  fi
}

expect "" "OLD.JWW drawings plan.jww"
expect "-" "--help --version -h"
expect "pl" "plan.jww"
# Several drawings, each in a tab.
expect "plan.jww " "OLD.JWW drawings plan.jww"
expect "plan.jww OLD.JWW d" "drawings"
expect "drawings/" "drawings/a.jww"
expect "--help " ""
expect "--version " ""

echo "$failed failed"
((failed == 0))
