#!/usr/bin/env bash
# Checks that every folder includes only its own headers and those of the
# layers below it, that nothing but os/ includes a system header (only os/
# talks to the system, and os/'s own headers show none of it), that below
# convert/ nothing includes more of os/ than byte sources, sinks and
# memory blocks, and that Qt stays in the shells (the window, the thumbnailer,
# the viewer) and the painting layer they share (paint/). Prints each include that breaks a rule; exit 1 if any does.
#   scripts/check-layers.sh
set -uo pipefail
cd "$(dirname "$0")/.."

# Folder: the folders whose headers it may include (its own first).
declare -A may=(
  [os]="os"
  [text]="text os"
  [attrib]="attrib"
  [jww]="jww text os"
  [explode]="explode jww text os"
  [render]="render jww text attrib os"
  [dxf]="dxf render jww text attrib os"
  [convert]="convert dxf render explode jww text attrib os"
  [app]="app convert dxf render explode jww text attrib os"
  [paint]="paint convert dxf render explode jww text attrib os"
  [thumbnail]="thumbnail paint convert dxf render explode jww text attrib os"
  [viewer]="viewer paint convert dxf render explode jww text attrib os"
  [tools]="tools convert dxf render explode jww text attrib os"
)
# C library headers (<... .h>) a folder without system calls may still use.
declare -A libraries=([text]="iconv.h" [render]="zlib.h")
# The format code and the layers above it up to convert/ see bytes only:
# of os/ they may include the byte sources and sinks and large memory
# blocks, never what opens files (paths are convert/'s).
declare -A os_headers=([text]="" [jww]="bytes.h bigmemory.h" [attrib]="" [explode]="" [render]="" [dxf]="")

bad=0
complain() { echo "$1: $2"; bad=1; }

for folder in "${!may[@]}"; do
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r line; do
      if [[ $line =~ ^#include\ \"([a-z]+)/([^\"]+)\" ]]; then
        used=${BASH_REMATCH[1]}
        [[ " ${may[$folder]} " == *" $used "* ]] || complain "$file" "includes a higher or unrelated layer: $line"
        if [[ $used == os && $folder != os && -v "os_headers[$folder]" ]]; then
          [[ " ${os_headers[$folder]} " == *" ${BASH_REMATCH[2]} "* ]] || complain "$file" "opens files: only bytes, not paths, below convert/: $line"
        fi
      elif [[ $line =~ ^#include\ \<(Q[A-Za-z]*)\> ]]; then
        [[ $folder == app || $folder == paint || $folder == thumbnail || $folder == viewer ]] || complain "$file" "Qt outside the shells and their painting layer: $line"
      elif [[ $line =~ ^#include\ \<(.+\.h)\> ]]; then
        header=${BASH_REMATCH[1]}
        case $folder in
          os) [[ $file == *.cpp ]] || complain "$file" "a system header in an os/ header: $line" ;;
          *)
            [[ " ${libraries[$folder]:-} " == *" $header "* ]] || complain "$file" "a system header: $line" ;;
        esac
      fi
    done < <(grep -E '^#include ' "$file")
  done
done
[ $bad = 0 ] && echo "every include goes down the layers"
exit $bad
