#!/usr/bin/env bash
# Walks the memory a picture may use: runs quorvex-thumbnail and
# quorvex-convert --svg on the sample and on a large generated drawing under
# `ulimit -v` limits from FROM to TO megabytes in steps of STEP, each run
# under `timeout` to catch a hang, and prints the exit status seen at each
# limit (runs of one status as a range) with the first line each new
# status printed. A run must end with 0 (its picture written) or 7 (out of
# memory, no picture); the dynamic loader's own failure to map a library,
# before the program runs at all, is shown as "loader". Anything else (a
# hang, 124; an abort or a crash, 128+N; another status) is listed, and the
# script then exits 1.
#
#   tools/memory-walk.sh [--from MB] [--to MB] [--step MB] [--entities N]
#                        [--timeout SECONDS] [--build DIR]
#
# Defaults: 20 to 300 MB in steps of 10, a drawing of 100,000 entities
# (16 MB), 120 seconds a run, the programs in build/. Builds nothing: build
# quorvex-thumbnail, quorvex-convert and quorvex-bench first.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
from=20 to=300 step=10 entities=100000 seconds=120 build=$root/build
while [ $# -gt 0 ]; do
  case $1 in
    --from) from=$2; shift 2 ;;
    --to) to=$2; shift 2 ;;
    --step) step=$2; shift 2 ;;
    --entities) entities=$2; shift 2 ;;
    --timeout) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: tools/memory-walk.sh [--from MB] [--to MB] [--step MB] [--entities N] [--timeout SECONDS] [--build DIR]" >&2
       exit 2 ;;
  esac
done
thumbnail=$build/thumbnail/quorvex-thumbnail convert=$build/tools/quorvex-convert bench=$build/quorvex-bench
for p in "$thumbnail" "$convert" "$bench"; do
  [ -x "$p" ] || { echo "memory-walk.sh: no program at $p (build it first)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The runs' scratch folders go here too.
export TMPDIR=$work
unset XDG_RUNTIME_DIR
"$bench" --write "$entities" "$work/large.jww" >/dev/null || { echo "memory-walk.sh: cannot write the drawing" >&2; exit 2; }
drawings=("$root/samples/sample.jww" "$work/large.jww")

bad=0
# One program on one drawing over the limits: "LIMITS: STATUS  first line".
walk() {
  local name=$1 drawing=$2 out=$3; shift 3
  local last="" first=0 previous=0 line=""
  echo "$name, $(basename "$drawing") ($(( $(stat -c %s "$drawing") / 1024 )) KiB):"
  for ((mb = from; mb <= to; mb += step)); do
    rm -f "$out"
    ( timeout "$seconds" bash -c 'ulimit -v "$1"; shift; exec "$@"' _ $((mb * 1024)) "$@" "$drawing" "$out" \
      >/dev/null 2>"$work/err" ) 2>/dev/null
    local status=$? shown
    shown=$status
    if [ $status = 127 ] && grep -q "error while loading shared libraries" "$work/err"; then shown="127 loader"; fi
    case $shown in
      0) [ -s "$out" ] || { shown="0 without a picture"; bad=1; } ;;
      7|"127 loader") [ -e "$out" ] && { shown="$shown with a picture"; bad=1; } ;;
      124) shown="124 hang"; bad=1 ;;
      *) bad=1 ;;
    esac
    if [ "$shown" != "$last" ]; then
      [ -n "$last" ] && printf '  %s: %s  %s\n' "$([ $first = $previous ] && echo $first || echo "$first-$previous")" "$last" "$line"
      last=$shown first=$mb
      line=$(grep -v -e "XDG_RUNTIME_DIR" -e "^Fontconfig" "$work/err" | head -n 1 | cut -c 1-120)
    fi
    previous=$mb
  done
  printf '  %s: %s  %s\n' "$([ $first = $previous ] && echo $first || echo "$first-$previous")" "$last" "$line"
}

for drawing in "${drawings[@]}"; do
  walk "quorvex-thumbnail" "$drawing" "$work/out.png" "$thumbnail"
  walk "quorvex-convert --svg" "$drawing" "$work/out.svg" "$convert" --svg
done
[ $bad = 0 ] && echo "every run ended with 0 or 7 (or in the loader)" || echo "some runs ended otherwise (above)"
exit $bad
