#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and fuzzes each
# in turn, the seconds shared out among them:
#   read     the reader (with its images and scratch files), explode, the
#            preview picture and the JWW writer
#   outputs  the SVG pictures (as stored and the preview) and the DXF
#            writer (at real size and as the sheet), in memory
#   paint    the thumbnail's painting and the PDF, with Qt offscreen
#   scripts/fuzz.sh [SECONDS [TARGET...]]    default 60, all three
# Seeds: fuzz/corpus and samples/; new inputs go to build-fuzz/corpus-TARGET.
# A crash, leak or hang stops the run with a non-zero status and leaves the
# input in build-fuzz/ (crash-*, leak-*, timeout-*, named after the target).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(read outputs paint)
for t in "${targets[@]}"; do
  case $t in read | outputs | paint) ;; *) echo "fuzz.sh: no target $t (read, outputs, paint)" >&2; exit 2 ;; esac
done
CXX=clang++ cmake -S . -B build-fuzz -DQUORVEX_FUZZ=ON -DQUORVEX_GUI=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
nice cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/quorvex-fuzz-}"
each=$((seconds / ${#targets[@]}))
[ "$each" -gt 0 ] || each=1
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus-$t"
  echo "fuzz.sh: quorvex-fuzz-$t for $each seconds"
  # The painting runs without a display, as a thumbnailer does.
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
    "build-fuzz/quorvex-fuzz-$t" -max_total_time="$each" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/$t-" "build-fuzz/corpus-$t" fuzz/corpus samples
done
