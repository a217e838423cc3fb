#!/usr/bin/env bash
# Builds the libFuzzer target with clang into build-fuzz/ and fuzzes the
# reader (with its images and scratch files), explode and writer.
#   scripts/fuzz.sh [SECONDS]    default 60
# Seeds: fuzz/corpus and samples/; new inputs go to build-fuzz/corpus. A
# crash, leak or hang stops the run with a non-zero status and leaves the
# input in build-fuzz/ (crash-*, leak-*, timeout-*).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ cmake -S . -B build-fuzz -DQUORVEX_FUZZ=ON -DQUORVEX_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j"$(nproc)" --target quorvex-fuzz-read
mkdir -p build-fuzz/corpus
build-fuzz/quorvex-fuzz-read -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix=build-fuzz/ build-fuzz/corpus fuzz/corpus samples
