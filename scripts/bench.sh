#!/usr/bin/env bash
# Builds kestrel-bench optimised (as preset "default": g++ and Ninja, but in
# Release) and runs every benchmark with repetitions, printing the median,
# mean, spread and coefficient of variation of each, then the ratio of the
# module's formatter to the C library's.
#
# Usage: scripts/bench.sh [--build-dir DIR] [--repetitions N] [-- FLAGS...]
#   --build-dir DIR    build tree to use (default: build/bench)
#   --repetitions N    runs of each benchmark (default: 10)
#   FLAGS              passed on to kestrel-bench (see kestrel-bench --help)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build/bench
repetitions=10
extra=()
while (($# > 0)); do
  case "$1" in
    --build-dir)
      [[ $# -ge 2 ]] || { echo "bench.sh: --build-dir needs a folder" >&2; exit 2; }
      build_dir="$2"; shift 2 ;;
    --repetitions)
      [[ $# -ge 2 && "$2" =~ ^[1-9][0-9]*$ ]] || { echo "bench.sh: --repetitions needs a positive whole number" >&2; exit 2; }
      repetitions="$2"; shift 2 ;;
    -h|--help)
      sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    --)
      shift; extra=("$@"); break ;;
    *)
      echo "bench.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh native

scripts/release-build.sh "$build_dir" kestrel-bench

csv="$(mktemp)"
trap 'rm -f "$csv"' EXIT
"$build_dir/bin/kestrel-bench" \
  --benchmark_repetitions="$repetitions" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_display_aggregates_only=true \
  --benchmark_out="$csv" --benchmark_out_format=csv \
  "${extra[@]}"

# The formatter against the C library, from the medians of the CPU times.
awk -F, '
  $1 == "\"BM_FormatFixed_median\""    { ff = $4 }
  $1 == "\"BM_Snprintf_median\""       { sn = $4 }
  $1 == "\"BM_FormatTextLine_median\"" { fl = $4 }
  $1 == "\"BM_SnprintfLine_median\""   { sl = $4 }
  END {
    if (ff != "" && sn != "") printf "FormatFixed / snprintf (median CPU time): %.2f\n", ff / sn
    if (fl != "" && sl != "") printf "FormatText line / snprintf line (median CPU time): %.2f\n", fl / sl
  }' "$csv"
