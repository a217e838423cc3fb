#!/usr/bin/env bash
# Installs the programs into a temporary prefix (cmake --install) and asks
# the desktop which program opens a drawing: xdg-mime's default and GIO's
# (what file managers such as Nautilus ask) must be the viewer, with the
# converter window among the others offered (Open With). Then, under a
# real X server with a window manager (Xvfb, openbox), `xdg-open` of the
# sample must start the viewer with the sample, whose window shows the
# drawing (a screenshot of the screen, kept in BUILD-DIR/viewer-check).
# Parts whose tools are missing are skipped with a message; with none of
# them, the whole check is (status 77).
#   open-with.sh BUILD-DIR SOURCE-DIR
#
# Packages: xdg-utils, shared-mime-info, desktop-file-utils; python3-gi
# (GIO); xvfb, openbox, xdotool, imagemagick (import).
set -uo pipefail
build=$1 src=$2
python=/usr/bin/python3

failed=0 ran=0
check() {  # NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok      $name"; else echo "FAILED  $name"; failed=$((failed + 1)); fi
}
for c in xdg-mime update-mime-database update-desktop-database; do
  command -v $c >/dev/null || { echo "skipped: no $c (packages xdg-utils, shared-mime-info, desktop-file-utils)"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvex-open-with.XXXXXX")
pids=()
finish() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap finish EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { echo "FAILED  cmake --install"; cat "$work/install.log"; exit 1; }
update-mime-database "$prefix/share/mime" >/dev/null 2>&1
update-desktop-database "$prefix/share/applications"
session=(env -u DBUS_SESSION_BUS_ADDRESS XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME="$work/data"
  XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/etc" PATH="$prefix/bin:$PATH" XDG_CURRENT_DESKTOP=X-Generic)

ran=1
default=$("${session[@]}" xdg-mime query default application/x-jww)
check "xdg-mime: a drawing opens with the viewer ($default)" test "$default" = quorvex-view.desktop
type=$("${session[@]}" xdg-mime query filetype "$src/samples/sample.jww")
check "xdg-mime: the sample is application/x-jww ($type)" test "$type" = application/x-jww

if "$python" -c "import gi; gi.require_version('Gio', '2.0'); from gi.repository import Gio" 2>/dev/null; then
  apps=$("${session[@]}" "$python" -c "
import gi; gi.require_version('Gio', '2.0'); from gi.repository import Gio
d = Gio.AppInfo.get_default_for_type('application/x-jww', False)
print(d.get_id() if d else '-', *[a.get_id() for a in Gio.AppInfo.get_all_for_type('application/x-jww')])")
  read -r gdefault gall <<<"$apps"
  check "GIO: the default is the viewer ($gdefault)" test "$gdefault" = quorvex-view.desktop
  check "GIO: the window is offered too ($gall)" grep -qw quorvex.desktop <<<"$gall"
else
  echo "skipped GIO: no PyGObject for $python (package python3-gi)"
fi

missing=()
for c in Xvfb openbox xdotool import xdg-open; do command -v $c >/dev/null || missing+=("$c"); done
if ((${#missing[@]})); then
  echo "skipped xdg-open under X: missing ${missing[*]} (packages xvfb, openbox, xdotool, imagemagick, xdg-utils)"
else
  display=:$((90 + RANDOM % 400))
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
  DISPLAY=$display openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 1
  cp "$src/samples/sample.jww" "$work/opened.jww"
  env -u QT_QPA_PLATFORM DISPLAY=$display "${session[@]}" LANGUAGE=en xdg-open "$work/opened.jww" >"$work/xdg-open.log" 2>&1 &
  # The program xdg-open started, found by what it was given.
  viewer=
  for _ in $(seq 100); do
    for p in /proc/[0-9]*; do
      cmd=$( { tr "\0" " " <"$p/cmdline"; } 2>/dev/null) || continue
      [[ $cmd == *"quorvex-view $work/opened.jww " && $cmd != *xdg-open* ]] && viewer=${p#/proc/}
    done
    [ -n "$viewer" ] && break
    sleep 0.1
  done
  check "xdg-open started quorvex-view with the drawing${viewer:+ (pid $viewer)}" test -n "$viewer"
  [ -n "$viewer" ] || sed "s/^/        /" "$work/xdg-open.log"
  if [ -n "$viewer" ]; then
    pids+=("$viewer")
    window=$(DISPLAY=$display timeout 20 xdotool search --sync --onlyvisible --pid "$viewer" --name 'opened.jww' 2>/dev/null | head -1)
    check "its window is titled with the drawing's name" test -n "$window"
    sleep 2
    mkdir -p "$build/viewer-check"
    DISPLAY=$display import -window root "$build/viewer-check/xdg-open.png" 2>/dev/null
    # The sample's magenta highlight is on the screen.
    colours=$(convert "$build/viewer-check/xdg-open.png" -fuzz 12% -fill black +opaque '#E6007E' -format '%[fx:mean*w*h]' info: 2>/dev/null)
    check "the screen shows the drawing's highlight (${colours:-?} of its pixels, $build/viewer-check/xdg-open.png)" \
      awk -v n="${colours:-0}" 'BEGIN { exit !(n > 20) }'
  fi
fi

((ran)) || exit 77
echo "$failed failed"
((failed == 0))
