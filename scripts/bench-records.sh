#!/usr/bin/env bash
# kestrel-records side by side on long records, and next to `wc -l` and an
# awk that splits every line into its fields, on the same file in the same
# run: check, export into a file, export to standard output (held back in a
# scratch file until every line is read) and plot, each under
# /usr/bin/time: wall-clock and CPU time (user + system, what counts on a
# shared machine; the mean of the rounds and the best), MB/s a core (the
# record's size over the best CPU time), the best CPU time as a multiple of
# wc's and of awk's, peak resident memory, and the size of what it wrote.
# The records are generated here: a pitch falling from 90 to 10 degrees with
# two swings on it, a sample every 0.1 s, lines as the module prints them,
# 1,000,000 and 38,000,000 lines by default (33 MB and 1.3 GB), in the
# build tree's disk. Each record is read once before it is timed, so that
# every command finds it in the page cache. Prints the machine's load
# average before and after.
#
# Usage: scripts/bench-records.sh [--build-dir DIR] [--rounds N] [--compare BINARY] [--keep] [LINES...]
#   --build-dir DIR   Release build tree (default: build/bench, as scripts/bench.sh)
#   --rounds N        runs of each command: the mean times and the best CPU
#                     time (GNU time counts in hundredths, so more rounds
#                     steady the short ones), the highest memory (default: 3)
#   --compare BINARY  also another kestrel-records (say, an earlier build) on
#                     the same records: its rows are marked "(compared)"
#   --keep            keep the generated records in DIR/bench-records
#   LINES...          record lengths (default: 1000000 38000000)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build/bench
rounds=3
keep=0
compare=""
lengths=()
while (($# > 0)); do
  case "$1" in
    --build-dir)
      [[ $# -ge 2 ]] || { echo "bench-records.sh: --build-dir needs a folder" >&2; exit 2; }
      build_dir="$2"; shift 2 ;;
    --rounds)
      [[ $# -ge 2 && "$2" =~ ^[1-9][0-9]*$ ]] || { echo "bench-records.sh: --rounds needs a positive whole number" >&2; exit 2; }
      rounds="$2"; shift 2 ;;
    --compare)
      [[ $# -ge 2 && -x "$2" && -f "$2" ]] || { echo "bench-records.sh: --compare needs a kestrel-records program" >&2; exit 2; }
      compare="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift 2 ;;
    --keep)
      keep=1; shift ;;
    -h|--help)
      sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    [1-9]*)
      [[ "$1" =~ ^[1-9][0-9]*$ ]] || { echo "bench-records.sh: '$1' is not a number of lines" >&2; exit 2; }
      lengths+=("$1"); shift ;;
    *)
      echo "bench-records.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
((${#lengths[@]} > 0)) || lengths=(1000000 38000000)

scripts/install-deps.sh native
scripts/release-build.sh "$build_dir" kestrel-records >/dev/null
records="$(cd "$build_dir" && pwd)/bin/kestrel-records"

work="$build_dir/bench-records"
mkdir -p "$work"
((keep)) || trap 'rm -rf "$work"' EXIT
# The scratch file of export to standard output goes beside the records.
export TMPDIR
TMPDIR="$(cd "$work" && pwd)"

# measure NAME OUT MADE COMMAND...: runs COMMAND $rounds times, its standard
# output into OUT (MADE: the file it writes, whose size is shown), and
# prints its row. Sets wc_cpu or awk_cpu when NAME is theirs.
wc_cpu="" awk_cpu=""
measure() {
  local name=$1 out=$2 made=$3
  shift 3
  local wall=0 user=0 sys=0 best="" peak=0 written=- r
  for ((r = 0; r < rounds; ++r)); do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >"$out"
    read -r w u s m <"$work/time.txt"
    wall=$(awk -v a="$wall" -v b="$w" 'BEGIN { print a + b }')
    user=$(awk -v a="$user" -v b="$u" 'BEGIN { print a + b }')
    sys=$(awk -v a="$sys" -v b="$s" 'BEGIN { print a + b }')
    best=$(awk -v a="$best" -v u="$u" -v s="$s" 'BEGIN { c = u + s; print (a == "" || c < a) ? c : a }')
    ((m > peak)) && peak=$m
    [[ -n "$made" ]] && written="$(du -h --apparent-size "$made" | cut -f1)B"
    rm -f "$work/out.csv" "$work/stdout.csv" "$work/out.svg"
  done
  local row
  row=$(awk -v wall="$wall" -v user="$user" -v sys="$sys" -v best="$best" -v n="$rounds" -v size="$size" \
    -v wc="$wc_cpu" -v awkcpu="$awk_cpu" 'BEGIN {
      cpu = (user + sys) / n
      rate = best > 0 ? sprintf("%.0f", size / 1e6 / best) : "-"
      xwc = wc != "" && wc > 0 ? sprintf("%.1f", best / wc) : "-"
      xawk = awkcpu != "" && awkcpu > 0 ? sprintf("%.2f", best / awkcpu) : "-"
      printf "%8.3f %8.3f %8.3f %8.3f %8.3f %8s %8s %8s", wall / n, user / n, sys / n, cpu, best, rate, xwc, xawk
    }')
  case "$name" in
    "wc -l") wc_cpu=$best ;;
    awk) awk_cpu=$best ;;
  esac
  printf '%-10s %-26s %s %9s kB %8s\n' "$n" "$name" "$row" "$peak" "$written"
}

echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %-26s %8s %8s %8s %8s %8s %8s %8s %8s %12s %8s\n' lines command "wall" "user" "sys" "cpu (s)" "best" "MB/s" "x wc -l" "x awk" \
  "peak RSS" written
for n in "${lengths[@]}"; do
  record="$work/Kestrel_${n}.txt"
  if [[ ! -s "$record" ]]; then
    awk -v n="$n" 'BEGIN {
      before = "90.00"
      for (i = 0; i < n; i++) {
        now = sprintf("%.2f", 90 - 80 * (i / n) + 5 * sin(i / 5000.0) + 0.5 * sin(i * 1.7))
        printf "%.1f=pitch(%s, %s, 0.1)\n", i / 10, before, now
        before = now
      }
    }' >"$record"
  fi
  size=$(stat -c %s "$record")
  echo "== $(basename "$record"): $n lines, $(du -h --apparent-size "$record" | cut -f1)B ($size bytes)"
  cat "$record" >/dev/null
  wc_cpu="" awk_cpu=""
  measure "wc -l" /dev/null "" wc -l "$record"
  measure awk /dev/null "" awk -F'[=(,)]' '{s+=$3} END{print s}' "$record"
  programs=("$records")
  [[ -n "$compare" ]] && programs+=("$compare")
  for program in "${programs[@]}"; do
    mark=""
    [[ "$program" == "$records" ]] || mark=" (compared)"
    measure "check$mark" /dev/null "" "$program" check "$record"
    measure "export -o FILE$mark" /dev/null "$work/out.csv" "$program" export "$record" -o "$work/out.csv"
    measure "export (stdout)$mark" "$work/stdout.csv" "$work/stdout.csv" "$program" export "$record"
    measure "plot -o FILE$mark" /dev/null "$work/out.svg" "$program" plot "$record" -o "$work/out.svg"
  done
done
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
