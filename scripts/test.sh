#!/usr/bin/env bash
# Builds Quorvex (installing what is missing) and runs the whole test suite.
#   scripts/test.sh              tests of the release build
#   scripts/test.sh --sanitize   tests under AddressSanitizer + UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh "$@"
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-asan
# Everything else: the test programs, the tools they run and the benchmark.
cmake --build "$dir" -j"$(nproc)"
# What the test of the desktop's thumbnail services asks (packaging.desktop):
# XFCE's tumbler over a session bus, GNOME's thumbnail factory through
# Python in its bubblewrap sandbox, and the MIME database tool.
scripts/install-missing.sh tumbler dbus python3-gi gir1.2-gnomedesktop-3.0 bubblewrap shared-mime-info
# What the DXF checks read the DXF output with (tests/dxf_check.py):
# ezdxf, LibreCAD printing it to PDF, which pdftoppm turns into a picture,
# and Inkscape's DXF import (a Python script of its own, which needs lxml
# and cssselect).
scripts/install-missing.sh python3-ezdxf python3-matplotlib python3-pil librsvg2-bin librecad poppler-utils
scripts/install-missing.sh inkscape python3-lxml python3-cssselect
# What the viewer's desktop check runs (packaging.open-with): the desktop's
# own choice of program (xdg-utils, with the MIME database for it) and a
# real X server with a window manager.
scripts/install-missing.sh xdg-utils libfile-mimeinfo-perl desktop-file-utils xvfb openbox xdotool imagemagick \
  x11-utils
# The browser that lays out the SVG pictures' texts as a user's would
# (Render.ABrowserKeepsTheLeadingAndDoubledSpacesOfTexts).
scripts/install-missing.sh chromium
# What the PDF checks read the PDF output with (tests/pdf_check.py):
# poppler, qpdf, and CUPS with a cups-pdf printer; and hyperfine, with
# which docs/measurements.md times the converter's start.
scripts/install-missing.sh qpdf cups printer-driver-cups-pdf python3-numpy python3-pil hyperfine
# What the tests of a drawing the window replaces use: trash-cli reads the
# trash as file managers do and restores from it; an ext4 image stands for
# a disk of its own.
scripts/install-missing.sh trash-cli e2fsprogs
# The locale definitions the tests make a Japanese locale of (localedef),
# to see the programs' messages in Japanese.
scripts/install-missing.sh locales
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
ctest --test-dir "$dir" --output-on-failure -j2
