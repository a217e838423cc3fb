#!/usr/bin/env bash
# Checks that every folder includes only its own headers and those of the
# layers below it, that nothing but os/ includes a system header (only os/
# talks to the system, and os/'s own headers show none of it), that below
# convert/ nothing includes more of os/ than byte sources, sinks and
# memory blocks, and that Qt stays in the shells (the window, the
# thumbnailer, the converter's PDF module, the viewer), the painting layer
# they share (paint/) and its fuzz target. Every folder that holds C++
# sources is listed here and in docs/layout.md: one that is not fails the
# check, so that no folder escapes its rules. Prints each include (and each
# folder) that breaks a rule; exit 1 if any does.
#   scripts/check-layers.sh
set -uo pipefail
cd "$(dirname "$0")/.."

# Folder: the folders whose headers it may include (its own first).
declare -A may=(
  [os]="os"
  [bytes]="bytes os"
  [text]="text os"
  [attrib]="attrib"
  [jww]="jww bytes text os"
  [explode]="explode jww bytes text os"
  [render]="render jww bytes text attrib os"
  [dxf]="dxf render jww bytes text attrib os"
  [convert]="convert dxf render explode jww bytes text attrib os"
  [app]="app convert dxf render explode jww bytes text attrib os"
  [paint]="paint convert dxf render explode jww bytes text attrib os"
  [thumbnail]="thumbnail paint convert dxf render explode jww bytes text attrib os"
  [pdf]="pdf paint convert dxf render explode jww bytes text attrib os"
  [viewer]="viewer paint convert dxf render explode jww bytes text attrib os"
  [tools]="tools convert dxf render explode jww bytes text attrib os"
)
# The folders of checks and measurements, and the tests/ folder of any
# folder above: they may include every folder's headers and the system's.
checks=(tests fuzz bench)
# The folders that may use Qt (and their tests/), and the checks that do:
# the fuzz target of the Qt painting.
qt=(app paint thumbnail pdf viewer)
qt_checks=(fuzz)
# C library headers (<... .h>) a folder without system calls may still use.
declare -A libraries=([text]="iconv.h libintl.h" [render]="zlib.h")
# The format code and the layers above it up to convert/ see bytes only:
# of os/ they may include the byte sources and sinks and large memory
# blocks, never what opens files (paths are convert/'s).
declare -A os_headers=([bytes]="bytes.h bigmemory.h" [text]="" [jww]="bytes.h bigmemory.h" [attrib]="" [explode]=""
  [render]="" [dxf]="")

bad=0
complain() { echo "$1: $2"; bad=1; }
listed() { [[ " $2 " == *" $1 "* ]]; }  # WORD LIST

all="${!may[*]} ${checks[*]}"
sources() { find "$1" \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' \) -type f; }

# Every folder that holds sources (not the hidden ones, nor build trees) is
# one of the above, and docs/layout.md describes each.
for dir in */; do
  folder=${dir%/}
  [ -e "$folder/CMakeCache.txt" ] && continue
  [ -n "$(sources "$folder" | head -1)" ] || continue
  listed "$folder" "$all" || complain "$folder/" "a folder of sources that scripts/check-layers.sh does not list"
done
for folder in $all; do
  grep -q "\`$folder/\`" docs/layout.md || complain "$folder/" "not described in docs/layout.md"
done

# Checks one file's includes: FILE FOLDERS-IT-MAY-USE RULES, where RULES is
# the folder whose rules for system headers and os/ apply, or "check".
check_file() {
  local file=$1 uses=$2 rules=$3 qt_ok=$4 line used header
  while IFS= read -r line; do
    if [[ $line =~ ^#include\ \"([a-z]+)/([^\"]+)\" ]]; then
      used=${BASH_REMATCH[1]}
      listed "$used" "$uses" || complain "$file" "includes a higher or unrelated layer: $line"
      if [[ $used == os && $rules != os && -v "os_headers[$rules]" ]]; then
        listed "${BASH_REMATCH[2]}" "${os_headers[$rules]}" ||
          complain "$file" "opens files: only bytes, not paths, below convert/: $line"
      fi
    elif [[ $line =~ ^#include\ \<(Q[A-Za-z]*)\> ]]; then
      [ "$qt_ok" = 1 ] || complain "$file" "Qt outside the shells and their painting layer: $line"
    elif [[ $line =~ ^#include\ \<(.+\.h)\> ]]; then
      header=${BASH_REMATCH[1]}
      case $rules in
        check) ;;
        os) [[ $file == *.cpp ]] || complain "$file" "a system header in an os/ header: $line" ;;
        *) listed "$header" "${libraries[$rules]:-}" || complain "$file" "a system header: $line" ;;
      esac
    fi
  done < <(grep -E '^#include ' "$file")
}

for folder in "${!may[@]}"; do
  qt_ok=0
  listed "$folder" "${qt[*]}" && qt_ok=1
  while IFS= read -r file; do
    if [[ $file == "$folder"/tests/* ]]; then
      check_file "$file" "$all" check "$qt_ok"
    else
      check_file "$file" "${may[$folder]}" "$folder" "$qt_ok"
    fi
  done < <(sources "$folder")
done
for folder in "${checks[@]}"; do
  qt_ok=0
  listed "$folder" "${qt_checks[*]}" && qt_ok=1
  while IFS= read -r file; do check_file "$file" "$all" check "$qt_ok"; done < <(sources "$folder")
done
[ $bad = 0 ] && echo "every include goes down the layers"
exit $bad
