#!/usr/bin/env bash
# Installs the programs into a temporary prefix (cmake --install) and has
# the desktop's own thumbnail services make thumbnails of the sample and of
# every real drawing in ../shared/real, as file managers have them made:
# XFCE's tumbler, asked over a private session bus, and GNOME's thumbnail
# factory, which runs the thumbnailer in a bubblewrap sandbox whose /tmp is
# a fresh folder. Checks each cached thumbnail (its size, that the drawing
# shows on it), that nothing is left in the folders the thumbnailer was
# given, and that drawings get the MIME type's own icon. Also runs the
# installed thumbnailer by hand. A service whose packages are missing is
# skipped with a message; with neither, the whole check is (status 77).
#   desktop.sh BUILD-DIR SOURCE-DIR
#
# Packages: tumbler, dbus, python3-gi, gir1.2-gnomedesktop-3.0, bubblewrap,
# shared-mime-info. GNOME's sandbox sees only /usr: the prefix is bound at
# /usr/local, with a fresh /tmp, in a mount namespace of the test's own
# (unshare; root, or user namespaces).
set -uo pipefail
build=$1 src=$2
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
tumblerd=$(ls /usr/lib/*/tumbler-1/tumblerd /usr/lib/tumbler-1/tumblerd 2>/dev/null | head -1)

failed=0 ran=0
check() {  # NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok      $name"; else echo "FAILED  $name"; failed=$((failed + 1)); fi
}
# Runs the Python helper; its lines are the checks.
services() {
  local out status
  out=$("$@" 2>"$work/services.log")
  status=$?
  echo "$out"
  failed=$((failed + $(grep -c '^FAILED' <<<"$out")))
  ((status == 0)) || [[ $out == *FAILED* ]] || { echo "FAILED  $*: status $status"; cat "$work/services.log"; failed=$((failed + 1)); }
}
# Every name in a folder, hidden ones too.
names() { find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | paste -sd' '; }

have_gi() { "$python" -c "import gi; gi.require_version('$1', '$2'); from gi.repository import $1" 2>/dev/null; }
tumbler_ok=1 gnome_ok=1
[ -x "$python" ] && have_gi Gio 2.0 || { echo "skipped: no PyGObject for /usr/bin/python3 (package python3-gi)"; exit 77; }
command -v update-mime-database >/dev/null || { echo "skipped: no update-mime-database (package shared-mime-info)"; exit 77; }
[ -n "$tumblerd" ] || { echo "skipped tumbler: not installed (package tumbler)"; tumbler_ok=0; }
command -v dbus-run-session >/dev/null || { echo "skipped tumbler: no dbus-run-session (package dbus)"; tumbler_ok=0; }
have_gi GnomeDesktop 3.0 || { echo "skipped GNOME: no GnomeDesktop 3.0 for Python (package gir1.2-gnomedesktop-3.0)"; gnome_ok=0; }
command -v bwrap >/dev/null || { echo "skipped GNOME: no bwrap (package bubblewrap)"; gnome_ok=0; }
((tumbler_ok || gnome_ok)) || exit 77

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvex-desktop.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { echo "FAILED  cmake --install"; cat "$work/install.log"; exit 1; }
update-mime-database "$prefix/share/mime" >/dev/null 2>&1
check "installed: the thumbnailer, its entry, the MIME type and its icons" test -x "$prefix/bin/quorvex-thumbnail" \
  -a -s "$prefix/share/thumbnailers/quorvex.thumbnailer" -a -s "$prefix/share/mime/application/x-jww.xml" \
  -a -s "$prefix/share/icons/hicolor/scalable/mimetypes/application-x-jww.svg" \
  -a -s "$prefix/share/icons/hicolor/48x48/mimetypes/application-x-jww.png"

# The sample, and the sample under a name without .jww (file managers know
# drawings by their first bytes too).
cp "$src/samples/sample.jww" "$prefix/drawing-without-extension"
drawings=("$src/samples/sample.jww" "$prefix/drawing-without-extension")
real=$src/../shared/real
if compgen -G "$real/*.jww" >/dev/null; then
  drawings+=("$real"/*.jww)
else
  echo "skipped the real drawings: no folder $real"
fi
echo "        ${#drawings[@]} drawings"

# The environment of a desktop session that knows the prefix; no runtime
# folder set, as under some session managers and in GNOME's sandbox.
session_env=(env -u XDG_RUNTIME_DIR -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS
  XDG_DATA_DIRS="$prefix/share:/usr/local/share:/usr/share" XDG_CONFIG_HOME="$work/config" PATH="$prefix/bin:$PATH"
  GSETTINGS_BACKEND=memory)

# Drawings get the MIME type's own icon, which the prefix holds.
icons=$("${session_env[@]}" "$python" "$here/desktop_services.py" icon application/x-jww)
check "the MIME type's first icon is application-x-jww (icons: $icons)" test "${icons%% *}" = application-x-jww

# ---- by hand: a new file and a file its caller made ----
mkdir -p "$work/hand/tmp"
out=$("${session_env[@]}" TMPDIR="$work/hand/tmp" "$prefix/bin/quorvex-thumbnail" -s 64 "${drawings[0]}" "$work/hand/new.png" 2>&1)
check "by hand: a new picture, nothing printed${out:+: $out}" test -s "$work/hand/new.png" -a -z "$out"
exec 7<>"$work/hand/made.png"
out=$("${session_env[@]}" TMPDIR="$work/hand/tmp" "$prefix/bin/quorvex-thumbnail" -s 64 "${drawings[0]}" "$work/hand/made.png" 2>&1)
check "by hand: into the file its caller holds open" cmp -s "$work/hand/new.png" /dev/fd/7
exec 7<&-
check "by hand: nothing left in its temporary folder [$(names "$work/hand/tmp")]" test -z "$(names "$work/hand/tmp")"

# ---- XFCE: tumbler over a private session bus ----
if ((tumbler_ok)); then
  ran=1
  mkdir -p "$work/tumbler/cache" "$work/tumbler/tmp"
  tumbler=("${session_env[@]}" XDG_CACHE_HOME="$work/tumbler/cache" TMPDIR="$work/tumbler/tmp")
  # tumblerd is started by the bus when first asked, with the bus's
  # environment; what it logs goes to the bus's error output.
  services "${tumbler[@]}" dbus-run-session -- "$python" "$here/desktop_services.py" tumbler "${drawings[@]}"
  services "${tumbler[@]}" "$python" "$here/desktop_services.py" cached 128 "${drawings[@]}"
  check "tumbler: nothing left in its temporary folder [$(names "$work/tumbler/tmp")]" test -z "$(names "$work/tumbler/tmp")"
fi

# ---- GNOME: the thumbnail factory and its bubblewrap sandbox ----
if ((gnome_ok)); then
  unshare=(unshare --mount --propagation private)
  [ "$(id -u)" -eq 0 ] || unshare=(unshare --user --map-root-user --mount --propagation private)
  if ! "${unshare[@]}" true 2>/dev/null; then
    echo "skipped GNOME: no mount namespace of the test's own can be made here (${unshare[*]})"
  elif ! bwrap --ro-bind /usr /usr --symlink usr/lib /lib --symlink usr/lib64 /lib64 --symlink usr/bin /bin \
    --unshare-all --die-with-parent true 2>/dev/null; then
    echo "skipped GNOME: bubblewrap cannot make a sandbox here"
  else
    ran=1
    mkdir -p "$prefix/gnome/cache" "$prefix/gnome/drawings"
    cp "$here/desktop_services.py" "$prefix/gnome/"
    # The namespace's /tmp is a fresh folder, which hides a checkout (or
    # drawings) under /tmp: the factory is given copies in the prefix,
    # wherever the drawings are.
    gnome_drawings=()
    for i in "${!drawings[@]}"; do
      copy=$prefix/gnome/drawings/$i-$(basename "${drawings[$i]}")
      cp "${drawings[$i]}" "$copy"
      gnome_drawings+=("/usr/local/gnome/drawings/${copy##*/}")
    done
    # In the namespace the prefix is /usr/local (the sandbox binds /usr) and
    # /tmp is a fresh, empty folder; the thumbnails made, their check and
    # what is left in /tmp are written into the prefix, which outlives the
    # namespace.
    # In a sanitizer build, leak checking stops the thumbnailer's threads
    # with ptrace at its end, which the sandbox's seccomp filter forbids:
    # it is off there (the other checks stay on).
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "${unshare[@]}" bash -c '
      prefix=$1 python=$2
      shift 2
      mount --bind "$prefix" /usr/local && mount -t tmpfs tmpfs /tmp || exit 9
      gnome=(env -u XDG_RUNTIME_DIR -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS
        TMPDIR=/tmp XDG_DATA_DIRS=/usr/local/share:/usr/share XDG_CACHE_HOME=/usr/local/gnome/cache
        XDG_CONFIG_HOME=/usr/local/gnome/config GSETTINGS_BACKEND=memory PATH=/usr/local/bin:/usr/bin:/bin
        "$python" /usr/local/gnome/desktop_services.py)
      "${gnome[@]}" gnome "$@" >/usr/local/gnome/made 2>/usr/local/gnome/log
      echo $? >/usr/local/gnome/status
      find /tmp -mindepth 1 -printf "%P\n" | sort >/usr/local/gnome/left
      "${gnome[@]}" cached 128 "$@" >>/usr/local/gnome/made 2>&1 ||
        echo "FAILED  GNOME: the cached thumbnails did not all pass (status $?)" >>/usr/local/gnome/made
    ' namespace "$prefix" "$python" "${gnome_drawings[@]}"
    if [ -s "$prefix/gnome/status" ]; then
      cat "$prefix/gnome/made"
      failed=$((failed + $(grep -c '^FAILED' "$prefix/gnome/made")))
      if [ -s "$prefix/gnome/log" ]; then
        echo "FAILED  GNOME: the factory warned:"
        sed 's/^/        /' "$prefix/gnome/log"
        failed=$((failed + 1))
      else
        echo "ok      GNOME: no warning from the factory"
      fi
      check "GNOME: nothing left in the sandbox's /tmp [$(paste -sd' ' "$prefix/gnome/left")]" test ! -s "$prefix/gnome/left"
    else
      echo "FAILED  GNOME: the namespace could not be set up"
      failed=$((failed + 1))
    fi
  fi
fi

((ran)) || { echo "neither service could be asked: skipped"; exit 77; }
echo "$failed failed"
((failed == 0))
