#!/usr/bin/env bash
# What kestrel-host costs per data line next to a bare C loop, and its peak
# memory on a long flight.
#  1. Cost per line, measured side by side: kestrel-host plays
#     bench/flight-cost-lines.json (2,000,000 steps of 1 s, recording on:
#     199,999 lines) and bench/flight-cost-idle.json (the same, recording
#     off); kestrel-bare-lines appends the same 199,999 lines to a file in
#     the same data folder, each with fopen(path, "a"), fputs and fclose, and
#     once more with a count of 0 (everything but the loop). Each side's cost
#     per line is (with lines - without) / lines, in CPU time (user + system)
#     and in wall-clock time; the medians of the rounds, played interleaved,
#     and their ratio.
#  2. Peak memory: kestrel-host plays bench/flight-5m-lines.json
#     (50,000,000 steps, 4,999,999 lines) under /usr/bin/time -v.
# Prints the machine's load average before and after.
#
# Usage: scripts/bench-host.sh [--build-dir DIR] [--rounds N] [--no-memory]
#   --build-dir DIR   Release build tree (default: build/bench, as scripts/bench.sh)
#   --rounds N        rounds of the four runs (default: 7)
#   --no-memory       leave out the 50-million-step flight (a minute or so)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build/bench
rounds=7
memory=1
while (($# > 0)); do
  case "$1" in
    --build-dir)
      [[ $# -ge 2 ]] || { echo "bench-host.sh: --build-dir needs a folder" >&2; exit 2; }
      build_dir="$2"; shift 2 ;;
    --rounds)
      [[ $# -ge 2 && "$2" =~ ^[1-9][0-9]*$ ]] || { echo "bench-host.sh: --rounds needs a positive whole number" >&2; exit 2; }
      rounds="$2"; shift 2 ;;
    --no-memory)
      memory=0; shift ;;
    -h|--help)
      sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *)
      echo "bench-host.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh native

scripts/release-build.sh "$build_dir" kestrel-host KestrelScribeMFD kestrel-bare-lines >/dev/null

host="$build_dir/bin/kestrel-host"
bare="$build_dir/bin/kestrel-bare-lines"
# On the disk the build is on, as a user's root folder would be.
work="$build_dir/bench-host-runs"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# The lines both sides write: the data file of one run of the host.
"$host" run bench/flight-cost-lines.json --root "$work/lines" >/dev/null
data=$(find "$work/lines/KestrelScribeData" -type f)
lines=$(wc -l <"$data")
cp "$data" "$work/the-lines.txt"
echo "== cost per line: $lines lines, $rounds rounds"

# timed NAME COMMAND...: appends "NAME wall user system" to the results.
TIMEFORMAT='%3R %3U %3S'
timed() {
  local name=$1 t
  shift
  t=$({ time "$@" >/dev/null 2>&1; } 2>&1)
  echo "$name $t" >>"$work/times"
}

for ((r = 0; r < rounds; ++r)); do
  # Each run starts from the same state: a fresh root for the host, a fresh
  # file for the loop, in the data folder the host's first run made.
  rm -rf "$work/run"
  timed host-lines "$host" run bench/flight-cost-lines.json --root "$work/run"
  rm -rf "$work/run"
  timed host-idle "$host" run bench/flight-cost-idle.json --root "$work/run"
  rm -f "$work/lines/KestrelScribeData/bare.txt"
  timed bare-lines "$bare" "$work/lines/KestrelScribeData/bare.txt" "$work/the-lines.txt" "$lines"
  if ! cmp -s "$work/lines/KestrelScribeData/bare.txt" "$work/the-lines.txt"; then
    echo "bench-host.sh: the bare loop did not write the same lines" >&2
    exit 1
  fi
  rm -f "$work/lines/KestrelScribeData/bare.txt"
  timed bare-none "$bare" "$work/lines/KestrelScribeData/bare.txt" "$work/the-lines.txt" 0
done

# Per round and side: (with lines - without) / lines, in microseconds; then
# the medians.
awk -v l="$lines" -v rounds="$rounds" '
  function median(a, n,   i, j, t) {
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  { n[$1]++; wall[$1, n[$1]] = $2; cpu[$1, n[$1]] = $3 + $4 }
  END {
    for (r = 1; r <= rounds; ++r) {
      hc[r] = (cpu["host-lines", r] - cpu["host-idle", r]) / l * 1e6
      hw[r] = (wall["host-lines", r] - wall["host-idle", r]) / l * 1e6
      bc[r] = (cpu["bare-lines", r] - cpu["bare-none", r]) / l * 1e6
      bw[r] = (wall["bare-lines", r] - wall["bare-none", r]) / l * 1e6
    }
    mhc = median(hc, rounds); mhw = median(hw, rounds); mbc = median(bc, rounds); mbw = median(bw, rounds)
    printf "  %-34s %8s %8s\n", "per line (median, microseconds)", "CPU", "wall"
    printf "  %-34s %8.2f %8.2f\n", "kestrel-host", mhc, mhw
    printf "  %-34s %8.2f %8.2f\n", "bare loop (fopen, fputs, fclose)", mbc, mbw
    printf "  %-34s %8.2f %8.2f\n", "ratio host / bare loop", mhc / mbc, mhw / mbw
  }' "$work/times"

if ((memory)); then
  echo "== peak memory: bench/flight-5m-lines.json"
  if [[ ! -x /usr/bin/time ]]; then
    echo "bench-host.sh: /usr/bin/time is missing (scripts/install-deps.sh installs the package time)" >&2
    exit 1
  fi
  rm -rf "$work/run"
  /usr/bin/time -v "$host" run bench/flight-5m-lines.json --root "$work/run" >"$work/5m.out" 2>"$work/5m.err"
  grep -E '^  +KestrelScribeData/' "$work/5m.out" | sed 's/^ */  data file: /'
  grep -E 'Maximum resident set size|Elapsed \(wall clock\)|User time|System time' "$work/5m.err" | sed 's/^\t*/  /'
fi

echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
