#!/usr/bin/env bash
# Counts the system calls a data line costs, with strace:
#  1. kestrel-host playing bench/flight-lines.json (10000 steps of 1 s,
#     recording on: 999 lines): the calls on the data file, each divided by
#     the lines; and the whole run against bench/flight-idle.json (the same
#     flight with recording left off), the difference divided by the lines;
#  2. kestrel-bench's BM_PreStepSampleLine, whose host opens, writes and
#     closes the data file with the C library's stdio at every line: the
#     calls on the data file divided by its opens.
# Also counts the host operations per line from kestrel-host's --trace.
#
# Usage: scripts/bench-syscalls.sh [--build-dir DIR]   (default: build/bench-syscalls)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build/bench-syscalls
while (($# > 0)); do
  case "$1" in
    --build-dir)
      [[ $# -ge 2 ]] || { echo "bench-syscalls.sh: --build-dir needs a folder" >&2; exit 2; }
      build_dir="$2"; shift 2 ;;
    -h|--help)
      sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *)
      echo "bench-syscalls.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh native
if ! command -v strace >/dev/null; then
  echo "bench-syscalls.sh: strace is not installed (apt-get install strace)" >&2
  exit 1
fi

# The default preset's settings; system call counts do not depend on them.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target kestrel-host kestrel-bench

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
host="$build_dir/bin/kestrel-host"

# strace -c's table as "name calls" lines.
calls() { awk '$NF != "total" && $NF != "syscall" && $4 ~ /^[0-9]+$/ { print $NF, $4 }' "$1" | sort; }

# Counted without --trace, whose own writes would count too; the trace comes
# from a run of its own.
for flight in lines idle; do
  mkdir -p "$work/$flight"
  strace -f -c -o "$work/$flight.sum" "$host" run "bench/flight-$flight.json" --root "$work/$flight" >/dev/null
done
mkdir -p "$work/traced"
"$host" run bench/flight-lines.json --root "$work/traced" --trace "$work/lines.trace" >/dev/null
lines=$(grep -c '^oapiWriteLine' "$work/lines.trace" || true)
if [[ "$lines" -eq 0 ]]; then
  echo "bench-syscalls.sh: the flight wrote no lines" >&2
  exit 1
fi
echo "== kestrel-host: $lines lines"
for op in oapiOpenFile oapiWriteLine oapiCloseFile; do
  n=$(grep -c "^$op" "$work/lines.trace" || true)
  awk -v op="$op" -v n="$n" -v l="$lines" 'BEGIN { printf "  host operation %-14s %6d  (%.2f per line)\n", op, n, n / l }'
done
echo "  calls on the data file (strace -y), per line:"
mkdir -p "$work/named"
strace -f -y -o "$work/named.log" "$host" run bench/flight-lines.json --root "$work/named" >/dev/null
# An open of the data file for reading is the summary counting its lines.
grep 'KestrelScribeData/' "$work/named.log" | sed -E 's/^[0-9]+ +//' |
  awk '{ call = $0; sub(/\(.*/, "", call); if (call ~ /^open/) call = call ($0 ~ /O_WRONLY/ ? " (write)" : " (read)"); print call }' |
  sort | uniq -c | awk -v l="$lines" '{ n = $1; $1 = ""; printf "    %-18s %7d  (%.2f per line)\n", $0, n, n / l }'
echo "  the whole run against the same flight with recording off:"
join -a1 -a2 -e0 -o 0,1.2,2.2 <(calls "$work/lines.sum") <(calls "$work/idle.sum") |
  awk -v l="$lines" '{ d = $2 - $3; total += d; if (d != 0) printf "    %-16s %+7d  (%.2f per line)\n", $1, d, d / l }
                     END { printf "  system calls per line: %.2f\n", total / l }'

echo "== kestrel-bench BM_PreStepSampleLine (stdio host)"
strace -f -y -o "$work/bench.log" "$build_dir/bin/kestrel-bench" --benchmark_filter='^BM_PreStepSampleLine$' \
  --benchmark_min_time=0.05 >/dev/null 2>&1
# Calls on the data file, told apart by the file's name (strace -y shows it
# for every descriptor); unlink and stat from the benchmark's own set-up and
# check are left out.
grep 'KestrelScribeData/' "$work/bench.log" | grep -v -E 'unlink|statx?\(AT_FDCWD|newfstatat\(AT_FDCWD' |
  sed -E 's/^[0-9]+ +//; s/\(.*//' | sort | uniq -c |
  awk '{ n[$2] = $1; total += $1 } END { for (c in n) printf "  %-12s %7d\n", c, n[c];
         if (n["openat"] > 0) printf "  system calls per line: %.2f\n", total / n["openat"] }'
