#!/usr/bin/env bash
# Drives the viewer the way a user does, under a real X server with a window
# manager (Xvfb, openbox): the sample and three real drawings opened from the
# command line, a screenshot of the screen for each beside the picture of
# `quorvex-convert --svg` (rsvg-convert), to be looked at; then a print
# through CUPS: a cups-pdf queue made the default, Ctrl+P and Enter in the
# print dialog, and the page that the queue wrote checked with poppler (its
# size is the drawing's sheet, and the drawing is on it at 1:1). Prints one
# line per check and a closing count; exits 1 when a check failed.
#
#   tools/drive-viewer.sh [OUTDIR]        screenshots to OUTDIR (default build/viewer-check)
#
# Builds nothing: it runs build/viewer/quorvex-view and
# build/tools/quorvex-convert. Needs the Debian packages xvfb, openbox,
# xdotool, imagemagick, x11-utils, librsvg2-bin, poppler-utils and, for the
# print, cups and printer-driver-cups-pdf (it starts its own scheduler,
# as root, and stops it again).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
viewer=${QUORVEX_VIEW:-$root/build/viewer/quorvex-view}
converter=${QUORVEX_CONVERT:-$root/build/tools/quorvex-convert}
out=${1:-$root/build/viewer-check}
real=$root/../shared/real

for f in "$viewer" "$converter"; do
  [ -x "$f" ] || { echo "drive-viewer.sh: no program at $f (build first: scripts/build.sh)" >&2; exit 2; }
done
missing=()
for c in Xvfb openbox xdotool import xdpyinfo rsvg-convert pdfinfo pdftoppm; do
  command -v "$c" >/dev/null 2>&1 || missing+=("$c")
done
if ((${#missing[@]})); then
  echo "drive-viewer.sh: missing ${missing[*]}: apt-get install xvfb openbox xdotool imagemagick x11-utils librsvg2-bin poppler-utils" >&2
  exit 2
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvex-drive-viewer.XXXXXX")
pids=() cupsd_pid=""
finish() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  if [ -n "$cupsd_pid" ]; then
    lpadmin -x QuorvexPDF 2>/dev/null
    kill "$cupsd_pid" 2>/dev/null
    wait "$cupsd_pid" 2>/dev/null
  fi
  rm -rf "$work"
  return 0
}
trap finish EXIT

passed=0 failed=0
check() {  # NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok      $name"; passed=$((passed + 1)); else echo "FAILED  $name"; failed=$((failed + 1)); fi
}

display=:$((500 + RANDOM % 400))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY=$display
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1
export LANGUAGE=en QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# Starts the viewer on a drawing and waits for its window; the pid.
start() {
  "$viewer" "$@" >"$work/viewer.log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  xdotool search --sync --onlyvisible --pid "$pid" --name "$(basename "$1")" >/dev/null 2>&1
  sleep 2  # its first picture
  echo "$pid"
}
stop() {
  kill "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

drawings=("$root/samples/sample.jww")
for n in plan-test1 plan-test7 blocks-nested; do [ -f "$real/$n.jww" ] && drawings+=("$real/$n.jww"); done
((${#drawings[@]} == 4)) || echo "note: real drawings missing in $real: ${#drawings[@]} drawings"
for d in "${drawings[@]}"; do
  name=$(basename "$d" .jww)
  pid=$(start "$d")
  check "$name: the viewer's window shows it" bash -c "xdotool search --onlyvisible --pid $pid --name $name.jww >/dev/null"
  import -window root "$out/$name-viewer.png" 2>/dev/null
  check "$name: screenshot $out/$name-viewer.png" test -s "$out/$name-viewer.png"
  stop "$pid"
  "$converter" --svg "$d" "$work/$name.svg" >/dev/null && rsvg-convert -w 1200 "$work/$name.svg" -o "$out/$name-svg.png"
  check "$name: its SVG beside it, $out/$name-svg.png" test -s "$out/$name-svg.png"
done

# ---- a print through CUPS to a cups-pdf queue ----
if ! command -v cupsd >/dev/null || ! [ -f /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd ]; then
  echo "skipped the print: no cupsd or cups-pdf (packages cups, printer-driver-cups-pdf)"
elif [ "$(id -u)" -ne 0 ]; then
  echo "skipped the print: the scheduler is started as root"
else
  /usr/sbin/cupsd -f >"$work/cupsd.log" 2>&1 &
  cupsd_pid=$!
  for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.2; done
  lpadmin -p QuorvexPDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null && lpadmin -d QuorvexPDF
  pdfdir=$(eval echo "$(sed -n 's/^Out //p' /etc/cups/cups-pdf.conf)")
  pdfdir=${pdfdir:-$HOME/PDF}
  mkdir -p "$pdfdir"
  before=$(ls "$pdfdir" 2>/dev/null | wc -l)
  drawing=${drawings[1]:-${drawings[0]}}
  name=$(basename "$drawing" .jww)
  pid=$(start "$drawing")
  window=$(xdotool search --onlyvisible --pid "$pid" --name "$name.jww" | head -1)
  xdotool windowactivate --sync "$window" key ctrl+p
  dialog=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^Print' | head -1)
  check "Ctrl+P shows the print dialog" test -n "$dialog"
  sleep 1
  import -window root "$out/print-dialog.png" 2>/dev/null
  xdotool windowactivate --sync "$dialog" key Return
  pdf=
  for _ in $(seq 150); do
    pdf=$(ls -t "$pdfdir"/*.pdf 2>/dev/null | head -1)
    [ -n "$pdf" ] && (($(ls "$pdfdir" | wc -l) > before)) && [ -s "$pdf" ] && sleep 1 && break
    pdf=
    sleep 0.2
  done
  stop "$pid"
  check "the queue wrote a PDF${pdf:+ ($pdf)}" test -n "$pdf"
  if [ -n "$pdf" ]; then
    cp "$pdf" "$out/print.pdf"
    size=$(pdfinfo "$out/print.pdf" | sed -n 's/^Page size: *\([0-9.]*\) x \([0-9.]*\) pts.*/\1 \2/p')
    echo "        page size $size pts"
    # plan-test1 is drawn on A2 (594 x 420 mm, 1683.78 x 1190.55 pts); the
    # queue's paper is A2 upright, the landscape sheet turned on it.
    check "the page is the A2 sheet" awk -v s="$size" 'BEGIN { split(s, a, " "); if (a[1] > a[2]) { t = a[1]; a[1] = a[2]; a[2] = t }
      exit !(a[1] > 1189 && a[1] < 1193 && a[2] > 1682 && a[2] < 1686) }'
    # At 1:1 the drawing's shown box (the converter's --svg --print picture
    # without its margin of 4% of the longer side) lies on the sheet as its
    # paper millimetres say, centred: across the upright paper its height,
    # from the paper's edge at 210 mm less its top or (turned the other
    # way) 210 mm plus its bottom. Notes kept out of the way (texts of no
    # length) may run off the paper along its length. 4 pixels a millimetre.
    "$converter" --svg --print "$drawing" "$work/print.svg" >/dev/null
    read -r vy vh < <(sed -n 's/.*viewBox="[-0-9.]* \([-0-9.]*\) \([0-9.]*\) \([0-9.]*\)".*/\1 \3 \2/p' "$work/print.svg" |
      awk '{ long = ($3 > $2 ? $3 : $2); m = long / 1.08 * 0.04; print $1 + m, $2 - 2 * m }')
    pdftoppm -r 101.6 -png -singlefile "$out/print.pdf" "$out/print"
    ink=$(convert "$out/print.png" -fuzz 3% -trim -format '%w %X' info: 2>/dev/null | tr -d '+')
    echo "        across the paper: ink ${ink% *} pixels from pixel ${ink#* }; the shown box is $vh mm high from y $vy mm"
    check "1:1: the ink across the paper is the drawing's height, where the sheet puts it (within 2 mm)" \
      awk -v i="$ink" -v y="$vy" -v h="$vh" 'BEGIN { split(i, a, " "); w = a[1] / 4; x = a[2] / 4
        d1 = x - (210 - (y + h)); d2 = x - (210 + y); if (d1 < 0) d1 = -d1; if (d2 < 0) d2 = -d2
        exit !(w - h < 2 && h - w < 2 && (d1 < 2 || d2 < 2)) }'
  fi
fi

echo "$passed passed, $failed failed"
((failed == 0))
