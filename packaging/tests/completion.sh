#!/usr/bin/env bash
# Completes quorvex-convert command lines with the bash completion as bash
# would, in a folder of drawings, pictures and other files, and checks what
# is offered.
#   completion.sh COMPLETION-FILE
set -uo pipefail
source "$1" || { echo "cannot load $1"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvex-completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir drawings out
touch plan.jww OLD.JWW 'with space.jww' plan.svg plan.dxf plan.PDF notes.txt plan.jww.bak drawings/a.jww

failed=0
# expect "WORD WORD ... |" "OFFERED ...": the words typed so far (the last
# one is being completed, empty when a space was typed), and the offers,
# sorted, separated by single spaces.
expect() {
  local typed=$1 want=$2
  read -r -a COMP_WORDS <<<"quorvex-convert $typed"
  [[ $typed == *' ' || -z $typed ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quorvex_convert quorvex-convert "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd' ')
  if [[ $got == "$want" ]]; then
    echo "ok      [$typed] -> [$got]"
  else
    echo "FAILED  [$typed] -> [$got], expected [$want]"
    failed=$((failed + 1))
  fi
}

# Drawings (in either case of letters) and folders; never other files.
expect "" "OLD.JWW drawings out plan.jww with space.jww"
expect "pl" "plan.jww"
# The output: a drawing, a DXF or a PDF.
expect "plan.jww " "OLD.JWW drawings out plan.PDF plan.dxf plan.jww with space.jww"
expect "plan.jww out.jww " ""
expect "drawings/" "drawings/a.jww"
# Options where an option may stand.
expect "--" "--dxf --help --info --mono --paper --pdf --preview --svg --version"
expect "-" "--dxf --help --info --mono --paper --pdf --preview --svg --version -d -j"
# The sheet as a DXF: a drawing, then a DXF name; or a batch's option.
expect "--paper " "OLD.JWW drawings out plan.jww with space.jww"
expect "--paper plan.jww " "drawings out plan.dxf"
expect "--paper plan.jww plan.dxf " ""
expect "--paper -" "--dxf -d -j"
# A PDF in one colour: a drawing, then a PDF name; or a batch's option.
expect "--mono " "OLD.JWW drawings out plan.jww with space.jww"
expect "--mono plan.jww " "drawings out plan.PDF"
expect "--mono -" "--pdf -d -j"
# A picture: a drawing, then an SVG name.
expect "--svg " "OLD.JWW drawings out plan.jww with space.jww"
expect "--preview plan.jww " "drawings out plan.svg"
expect "--svg plan.jww p" "plan.svg"
expect "--preview --p" "--print"
expect "--svg --print " "OLD.JWW drawings out plan.jww with space.jww"
expect "--svg --print plan.jww " "drawings out plan.svg"
expect "--svg plan.jww plan.svg " ""
expect "--info " "OLD.JWW drawings out plan.jww with space.jww"
expect "--info plan.jww " ""
expect "--help " ""
# A batch: folders after -d, nothing after -j, the other option once, then drawings.
expect "-d " "drawings out"
expect "-d out -" "--dxf --mono --paper --pdf -j"
expect "-d out -j " ""
expect "-j 2 -d out " "OLD.JWW drawings out plan.jww with space.jww"
expect "-j2 -" "--dxf --mono --paper --pdf -d"
expect "-d out --dxf --paper -" "-j"
# One kind per batch: after --pdf, only its own option.
expect "-d out --pdf -" "--mono -j"
expect "-d out --mono --pdf -" "-j"
expect "--dxf -d out plan.jww " "OLD.JWW drawings out plan.jww with space.jww"
expect "-d out plan.jww " "OLD.JWW drawings out plan.jww with space.jww"

echo "$failed failed"
((failed == 0))
