#!/usr/bin/env bash
# kestrel-records side by side on long records: check, export into a file,
# export to standard output (held back in a scratch file until every line
# is read) and plot, each under /usr/bin/time -v: wall-clock and CPU time,
# peak resident memory, and the size of what it wrote.
# The records are generated here: a pitch falling from 90 to 10 degrees with
# two swings on it, a sample every 0.1 s, lines as the module prints them,
# 1,000,000 and 38,000,000 lines by default (33 MB and 1.3 GB), in the
# build tree's disk. Prints the machine's load average before and after.
#
# Usage: scripts/bench-records.sh [--build-dir DIR] [--rounds N] [--keep] [LINES...]
#   --build-dir DIR   Release build tree (default: build/bench, as scripts/bench.sh)
#   --rounds N        runs of each command; the median time, the highest memory (default: 3)
#   --keep            keep the generated records in DIR/bench-records
#   LINES...          record lengths (default: 1000000 38000000)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build/bench
rounds=3
keep=0
lengths=()
while (($# > 0)); do
  case "$1" in
    --build-dir)
      [[ $# -ge 2 ]] || { echo "bench-records.sh: --build-dir needs a folder" >&2; exit 2; }
      build_dir="$2"; shift 2 ;;
    --rounds)
      [[ $# -ge 2 && "$2" =~ ^[1-9][0-9]*$ ]] || { echo "bench-records.sh: --rounds needs a positive whole number" >&2; exit 2; }
      rounds="$2"; shift 2 ;;
    --keep)
      keep=1; shift ;;
    -h|--help)
      sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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

echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %-22s %10s %10s %10s %12s %12s\n' lines command "wall (s)" "user (s)" "sys (s)" "peak RSS" written
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
  echo "== $(basename "$record"): $n lines, $(du -h --apparent-size "$record" | cut -f1)B"
  for command in check export-file export-stdout plot; do
    walls=() users=() syss=() peak=0 written=-
    for ((r = 0; r < rounds; ++r)); do
      case "$command" in
        check) args=(check "$record"); out=/dev/null; made="" ;;
        export-file) args=(export "$record" -o "$work/out.csv"); out=/dev/null; made="$work/out.csv" ;;
        export-stdout) args=(export "$record"); out="$work/stdout.csv"; made="$work/stdout.csv" ;;
        plot) args=(plot "$record" -o "$work/out.svg"); out=/dev/null; made="$work/out.svg" ;;
      esac
      /usr/bin/time -v -o "$work/time.txt" "$records" "${args[@]}" >"$out"
      walls+=("$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$work/time.txt")")
      users+=("$(awk -F': ' '/User time/ { print $2 }' "$work/time.txt")")
      syss+=("$(awk -F': ' '/System time/ { print $2 }' "$work/time.txt")")
      rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
      ((rss > peak)) && peak=$rss
      [[ -n "$made" ]] && written="$(du -h --apparent-size "$made" | cut -f1)B"
      rm -f "$work/out.csv" "$work/stdout.csv" "$work/out.svg"
    done
    median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
    printf '%-10s %-22s %10s %10s %10s %9s kB %12s\n' "$n" "$command" "$(median "${walls[@]}")" \
      "$(median "${users[@]}")" "$(median "${syss[@]}")" "$peak" "$written"
  done
done
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
