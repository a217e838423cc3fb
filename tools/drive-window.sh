#!/usr/bin/env bash
# Drives the window the way a user does, under a real X server with a window
# manager: clicks and key presses through xdotool, a screenshot after each
# step. Prints one line per check and a closing count; exits 1 when a check
# failed. Refusals that show no dialog are checked on the screen: the
# reason in red beside the field at fault, the field tinted. Ends with the window started with a drawing on its command line,
# as a file manager starts it, with a name that names no file and with a
# drawing whose name lacks .jww (both refused with a message).
#
#   tools/drive-window.sh [OUTDIR]        screenshots to OUTDIR (default build/window-check)
#
# Set QUORVEX_BIG_DRAWING to a large drawing (a hundred megabytes or so) to
# watch the window during a long conversion as well.
#
# Builds nothing: it runs build/app/quorvex and compares with
# build/tools/quorvex-convert. Needs the Debian packages xvfb, openbox,
# xdotool, imagemagick (import, for the screenshots) and x11-utils (xprop,
# xwininfo).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=${QUORVEX_PROGRAM:-$root/build/app/quorvex}
converter=${QUORVEX_CONVERT:-$root/build/tools/quorvex-convert}
out=${1:-$root/build/window-check}
big=${QUORVEX_BIG_DRAWING:-}

for f in "$program" "$converter"; do
  [ -x "$f" ] || { echo "drive-window.sh: no program at $f (build first: scripts/build.sh)" >&2; exit 2; }
done
missing=()
for c in Xvfb openbox xdotool import xprop xwininfo; do command -v "$c" >/dev/null 2>&1 || missing+=("$c"); done
if ((${#missing[@]})); then
  echo "drive-window.sh: missing ${missing[*]}: apt-get install xvfb openbox xdotool imagemagick x11-utils" >&2
  exit 2
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvex-drive.XXXXXX")
xvfb_pid="" wm_pid="" app_pid=""
finish() {
  for pid in "$app_pid" "$wm_pid" "$xvfb_pid"; do
    if [ -n "$pid" ]; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$work"
  return 0
}
trap finish EXIT

passed=0 failed=0
check() {  # NAME COMMAND...: one line for the check, counted
  local name=$1
  shift
  if "$@"; then
    echo "ok      $name"
    passed=$((passed + 1))
  else
    echo "FAILED  $name"
    failed=$((failed + 1))
  fi
}
shot() { import -window root "$out/$1.png"; }
pause() { sleep "${1:-0.5}"; }

# ---- an X server, a window manager, the program ----

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "drive-window.sh: Xvfb did not start" >&2; exit 2; }
export DISPLAY=":$(head -1 "$work/display")"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done

mkdir -m 700 "$work/runtime" "$work/config"
printf 'Quorvex notes: this is plain text, not a drawing.\n' >"$work/notes.jww"
# Starts the program in the work folder with these arguments.
start() {
  (cd "$work" && XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
    exec "$program" "$@" >>"$work/program.log" 2>&1) &
  app_pid=$!
}
start

# True while a visible window's title matches.
visible() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
# Waits for a visible window whose title matches; prints its id.
window() { timeout "${2:-10}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1 || true; }
# True once no visible window's title matches (within 10 seconds).
gone() {
  for _ in $(seq 100); do
    visible "$1" || return 0
    sleep 0.1
  done
  return 1
}
# Left click at a point of the main window's client area.
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; }
# Types slowly enough for the dialog's name completion to keep up.
type_slowly() { xdotool type --delay 40 "$1"; }
# Chooses a file with a 参照 button (X Y): the dialog, the path typed,
# Return.
choose() {
  click "$1" "$2"
  window "$dialog_title" >/dev/null
  pause
  type_slowly "$3"
  xdotool key Return
  gone "$dialog_title" || true
  pause
}
# "x y w h" of a window on the screen.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /Width:/{w=$NF} /Height:/{h=$NF} END{print x, y, w, h}'
}
# True when the message box tells the window manager that it is a dialog:
# of the dialog type, modal, kept over the main window, and asking for no
# minimise and no maximise button (Motif functions without 0x8 and 0x10).
# (openbox 3.6 still draws both: it ignores these Motif bits, offers
# minimise on every window and draws maximise disabled on a window of fixed
# size.)
dialog_hints() {
  local props functions
  props=$(xprop -id "$1" _NET_WM_WINDOW_TYPE _NET_WM_STATE WM_TRANSIENT_FOR _MOTIF_WM_HINTS)
  grep -q '_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DIALOG' <<<"$props" || return 1
  grep -q '_NET_WM_STATE_MODAL' <<<"$props" || return 1
  (($(sed -n 's/^WM_TRANSIENT_FOR(WINDOW): window id # //p' <<<"$props") == main)) || return 1
  functions=$(sed -n 's/^_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = 0x\([0-9a-f]*\), 0x\([0-9a-f]*\),.*/\1 \2/p' <<<"$props")
  read -r flags functions <<<"$functions"
  (((0x$flags & 1) && !(0x$functions & 0x18)))
}
# True when a row's field is marked as at fault (input or output): its
# reason in red beside the caption (a good many red pixels there) and the
# field tinted (its right end, where no text reaches, not white).
marked() {
  local mx my top field
  read -r mx my _ _ < <(geometry "$main")
  if [ "$1" = input ]; then top=7 field=42; else top=63 field=98; fi
  local red tint
  red=$(import -window root -crop "401x16+$((mx + 144))+$((my + top))" -depth 8 txt:- 2>/dev/null |
    sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    awk '$1 > 128 && $2 < 96 && $3 < 96 { n++ } END { print n + 0 }')
  tint=$(import -window root -crop "1x1+$((mx + 538))+$((my + field))" -depth 8 txt:- 2>/dev/null |
    grep -o '#[0-9A-Fa-f]\{6\}' | head -1)
  ((red >= 20)) && [ -n "$tint" ] && [ "$tint" != "#FFFFFF" ]
}
not_marked() { ! marked "$1"; }
# True when neither row is marked.
unmarked() { ! marked input && ! marked output; }
# True when the message box's centre lies within 30 pixels of the window's.
centred_over_main() {
  local mx my mw mh bx by bw bh
  read -r mx my mw mh < <(geometry "$main")
  read -r bx by bw bh < <(geometry "$1")
  local dx=$(((bx + bw / 2) - (mx + mw / 2))) dy=$(((by + bh / 2) - (my + mh / 2)))
  ((dx < 0)) && dx=$((-dx))
  ((dy < 0)) && dy=$((-dy))
  ((dx <= 30 && dy <= 30))
}

main=$(window '^Jww')
[ -n "$main" ] || { echo "drive-window.sh: the window did not appear" >&2; cat "$work/program.log" >&2; exit 1; }
pause 1
shot 01-start
check "Qt's Japanese translation is loaded" grep -q 'qtbase_ja\.qm' "/proc/$app_pid/maps"

dialog_title='^Jw_cad'
message_title='^Quorvex$'
browse1=(36 44) browse2=(36 100) convert=(276 140)

# ---- 変換 with empty fields beeps, marks the input and puts the focus on the first 参照; Enter there opens the dialog ----
click "${convert[@]}"
pause
shot 01a-refused-empty-input
check "変換 with no input marks the input field with the reason" marked input
check "and not the output field" not_marked output
xdotool key Return
d=$(window "$dialog_title")
check "Enter on the focused first 参照 opens the dialog" test -n "$d"
pause
shot 02-dialog-by-enter

# ---- a path typed into the first dialog and Return ----
sample="$root/samples/sample.jww"
type_slowly "${sample%.jww}"
pause 1
shot 03-completion-list
type_slowly ".jww"
xdotool key Return
check "Return takes the typed path and closes the dialog" gone "$dialog_title"
pause
shot 04-after-return

# ---- one click on the second 参照 opens the second dialog, its name box empty ----
click "${browse2[@]}"
d=$(window "$dialog_title" 5)
check "one click on the second 参照 opens the dialog" test -n "$d"
pause
shot 05-second-dialog
type_slowly "$work/out.jww"
xdotool key Return
gone "$dialog_title" || true
pause

# ---- 変換: the done message, centred, closed by Enter; the output as quorvex-convert writes it ----
click "${convert[@]}"
m=$(window "$message_title" 30)
check "a finished conversion shows a message" test -n "$m"
pause
shot 06-done-message
check "the message is centred over the window" centred_over_main "$m"
check "the message is a modal dialog over the window, asking for no minimise or maximise button" dialog_hints "$m"
xdotool key Return
check "Enter closes the message" gone "$message_title"
"$converter" "$sample" "$work/by-command.jww" >/dev/null
check "the window's output equals quorvex-convert's" cmp -s "$work/out.jww" "$work/by-command.jww"

# ---- refusals seen without a sound: a non-drawing chosen, the input chosen as the output ----
printf 'not a drawing\n' >"$work/notes.txt"
choose "${browse2[@]}" "$work/notes.txt"
shot 06a-not-a-drawing-chosen
check "a non-drawing chosen for the output marks the output field" marked output
choose "${browse2[@]}" "$sample"
check "the next choice takes the mark away" unmarked
click "${convert[@]}"
pause
shot 06b-output-is-the-input
check "the input chosen as the output marks the output field" marked output
check "without a message box" test -z "$(xdotool search --onlyvisible --name "$message_title" 2>/dev/null)"

# ---- an output that cannot be written ----
choose "${browse2[@]}" "/sys/out.jww"
click "${convert[@]}"
m=$(window "$message_title" 30)
check "an unwritable output shows a message" test -n "$m"
pause
shot 07-write-error
xdotool key Escape
check "Esc closes the message" gone "$message_title"

# ---- a text file named .jww; the focus is back on 変換, so Enter tries again ----
choose "${browse1[@]}" "$work/notes.jww"
choose "${browse2[@]}" "$work/out2.jww"
click "${convert[@]}"
m=$(window "$message_title" 30)
check "a text file named .jww brings up a message" test -n "$m"
pause
shot 08-read-failure
xdotool key Escape
gone "$message_title" || true
pause
xdotool key Return
m=$(window "$message_title" 10)
check "after the message the focus is on 変換 (Enter converts again)" test -n "$m"
xdotool key Return
gone "$message_title" || true
check "a failed read writes no output" test ! -e "$work/out2.jww"

# ---- Tab from 変換 goes round to the first 参照; keypad Enter there opens the dialog, Esc closes it ----
xdotool key Tab
pause
xdotool key KP_Enter
d=$(window "$dialog_title" 5)
check "keypad Enter on the first 参照 (reached by Tab) opens the dialog" test -n "$d"
xdotool key Escape
gone "$dialog_title" || true
pause

# ---- a long conversion: the window repaints, disabled, and stays open ----
if [ -n "$big" ]; then
  choose "${browse1[@]}" "$big"
  click "${convert[@]}"
  pause 0.3
  xdotool key alt+F4
  pause 0.5
  shot 09-converting
  check "the window stays open while converting" visible '^Jww'
  m=$(window "$message_title" 120)
  check "the long conversion ends with its message" test -n "$m"
  shot 10-long-done
  xdotool key Return
  gone "$message_title" || true
fi

# ---- closing ----
# Closes the window with Alt+F4; true when the program then ends with status 0.
close_window() {
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  xdotool key alt+F4
  local status=0
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app_pid" 2>/dev/null; then
    status=1
  else
    wait "$app_pid" || status=$?
    app_pid=""
  fi
  gone '^Jww' || true
  test "$status" -eq 0
}
check "the window closes and the program ends with status 0" close_window

# ---- a drawing on the command line (relative to the program's folder) is the input ----
cp "$sample" "$work/plan.jww"
start plan.jww
main=$(window '^Jww')
check "started with a drawing, the window appears" test -n "$main"
pause 1
shot 11-started-with-a-drawing
choose "${browse2[@]}" "$work/from-command-line.jww"
click "${convert[@]}"
m=$(window "$message_title" 30)
check "with only the output chosen, 変換 converts the drawing given" test -n "$m"
pause
shot 12-done-from-command-line
xdotool key Return
gone "$message_title" || true
check "its output equals quorvex-convert's" cmp -s "$work/from-command-line.jww" "$work/by-command.jww"
check "the window closes and the program ends with status 0" close_window

# ---- the converted drawing again: nothing left to explode, said in the message ----
start "$work/from-command-line.jww"
main=$(window '^Jww')
pause 1
choose "${browse2[@]}" "$work/again.jww"
click "${convert[@]}"
m=$(window "$message_title" 30)
check "a drawing with nothing to explode converts too" test -n "$m"
pause
shot 14-nothing-to-explode
xdotool key Return
gone "$message_title" || true
check "the window closes and the program ends with status 0" close_window

# ---- a name that names no file: said in a message; the input stays empty, 変換 writes nothing ----
start missing.jww
main=$(window '^Jww')
check "started with a missing drawing, the window appears" test -n "$main"
m=$(window "$message_title" 10)
check "a message says the drawing named cannot be opened" test -n "$m"
pause
shot 15-started-with-a-missing-drawing
check "the message is centred over the window" centred_over_main "$m"
check "the message is a modal dialog over the window, asking for no minimise or maximise button" dialog_hints "$m"
xdotool key Return
check "Enter closes the message" gone "$message_title"
pause
# The focus is on the first 参照: Enter opens its dialog.
xdotool key Return
d=$(window "$dialog_title" 5)
check "after the message the focus is on the first 参照" test -n "$d"
xdotool key Escape
gone "$dialog_title" || true
pause
choose "${browse2[@]}" "$work/from-missing.jww"
click "${convert[@]}"
pause 2
check "with the missing drawing, 変換 shows no message" test -z "$(xdotool search --onlyvisible --name "$message_title" 2>/dev/null)"
check "and writes nothing" test ! -e "$work/from-missing.jww"
check "the window closes and the program ends with status 0" close_window

# ---- a drawing whose name lacks .jww (a file manager knows it by its content) ----
cp "$sample" "$work/plan-without-extension"
start plan-without-extension
main=$(window '^Jww')
m=$(window "$message_title" 10)
check "a drawing named without .jww is refused with a message" test -n "$m"
pause
shot 16-drawing-without-jww
xdotool key Escape
check "Esc closes the message" gone "$message_title"
check "the window closes and the program ends with status 0" close_window

echo "screenshots in $out"
echo "window-check: $passed passed, $failed failed"
((failed == 0))
