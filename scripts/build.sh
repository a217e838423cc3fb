#!/usr/bin/env bash
# Installs the build dependencies that are missing (Debian packages), then
# configures Quorvex and builds its programs: the window (quorvex),
# quorvex-convert, quorvex-thumbnail and the viewer (quorvex-view). The test suite and the benchmark
# are built by scripts/test.sh (or `cmake --build build`).
#   scripts/build.sh              release build in build/
#   scripts/build.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

# qt6-l10n-tools and qt6-tools-dev: Qt Linguist's lrelease, which builds the
# viewer's translations; gettext: msgfmt, which builds the Japanese messages
# of quorvex-convert and quorvex-thumbnail (po/).
scripts/install-missing.sh cmake g++ make libgtest-dev qt6-base-dev qt6-translations-l10n zlib1g-dev \
  fonts-ipafont-gothic qt6-l10n-tools qt6-tools-dev gettext

if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=ON
else
  dir=build
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$dir" -j"$(nproc)" --target quorvex-convert quorvex-thumbnail quorvex quorvex-view
