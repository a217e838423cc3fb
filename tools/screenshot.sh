#!/bin/sh
# Saves a picture of the main window, as an X server draws it, to
# docs/window.png (or the second argument).
#
#   tools/screenshot.sh [path/to/quorvex] [output.png]
#
# Builds nothing: pass the built program (default build/app/quorvex). Needs
# xvfb-run and xauth (Debian packages xvfb and xauth). The program's own
# hidden option --screenshot grabs the window after it is shown and closes.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-"$root/build/app/quorvex"}
output=${2:-"$root/docs/window.png"}

if [ ! -x "$program" ]; then
  echo "screenshot.sh: no program at $program (build it first)" >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "screenshot.sh: xvfb-run not found: apt-get install xvfb xauth" >&2
  exit 1
fi

mkdir -p "$(dirname "$output")"
case $output in /*) ;; *) output="$PWD/$output" ;; esac
rm -f "$output"

# -a picks a free display number; the screen is larger than the window.
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 800x400x24" \
  "$program" --screenshot "$output"

if [ ! -s "$output" ]; then
  echo "screenshot.sh: no picture was saved" >&2
  exit 1
fi
echo "saved $output"
