#!/usr/bin/env bash
# kestrel-records watch on a long record, beside plot on the same file:
#   - the time to index it (from the start until the file list says every
#     line is read) and the resident memory then (VmRSS, and the peak VmHWM);
#   - zoom latency: ranges of the record asked as the page asks them (800
#     columns), from 1 s to the whole record, wall time of each answer
#     (curl's time_total), the median and the slowest of each width;
#   - following: a writer appends 1000 lines a second for 30 s while a
#     client follows the events and asks the newest 60 s after each (at
#     most one round in 150 ms), as the page does; the server's CPU time over that (utime + stime) as a share
#     of one core;
#   - plot on the same record under /usr/bin/time: wall, CPU, peak RSS.
# The record is generated as scripts/bench-records.sh makes it (the same
# lines), 38,000,000 lines (1.3 GB) by default, in the build tree's disk.
#
# Usage: scripts/bench-watch.sh [--build-dir DIR] [LINES]
#   --build-dir DIR   Release build tree (default: build/bench, as scripts/bench.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build/bench
while (($# > 0)); do
  case "$1" in
    --build-dir) build_dir=$2; shift 2 ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) break ;;
  esac
done
lines=${1:-38000000}
records=$build_dir/bin/kestrel-records
if [[ ! -x "$records" ]]; then
  [[ -f "$build_dir/build.ninja" ]] ||
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build_dir" --target kestrel-records >/dev/null
fi
work=$build_dir/bench-watch
mkdir -p "$work/folder"
record=$build_dir/bench-records/Kestrel_${lines}.txt
if [[ ! -s "$record" ]]; then
  mkdir -p "$(dirname "$record")"
  awk -v n="$lines" 'BEGIN {
    before = "90.00"
    for (i = 0; i < n; i++) {
      now = sprintf("%.2f", 90 - 80 * (i / n) + 5 * sin(i / 5000.0) + 0.5 * sin(i * 1.7))
      printf "%.1f=pitch(%s, %s, 0.1)\n", i / 10, before, now
      before = now
    }
  }' >"$record"
fi
# The folder holds the record itself (a second name of the file: watch
# follows no symbolic link) and the file the writer appends to.
rm -f "$work/folder/"*.txt
ln "$record" "$work/folder/Kestrel_601234567.txt" 2>/dev/null || cp "$record" "$work/folder/Kestrel_601234567.txt"
cat "$record" >/dev/null
size=$(stat -c %s "$record")
echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== record: $lines lines, $size bytes"

"$records" watch "$work/folder" --port 0 >"$work/watch.out" 2>&1 &
pid=$!
trap 'kill -INT $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT
start=$(date +%s.%N)
url=""
for _ in $(seq 100); do
  url=$(grep -o 'http://127.0.0.1:[0-9]*/' "$work/watch.out" || true)
  [[ -n "$url" ]] && break
  sleep 0.05
done
[[ -n "$url" ]] || { echo "bench-watch: watch printed no URL: $(cat "$work/watch.out")" >&2; exit 1; }
while :; do
  list=$(curl -s "${url}api/files")
  if python3 -c 'import json, sys; f = json.loads(sys.argv[1])["files"]; sys.exit(0 if f and not f[0]["reading"] and f[0]["lines"] == int(sys.argv[2]) else 1)' "$list" "$lines"; then
    break
  fi
  sleep 0.05
done
end=$(date +%s.%N)
status() { awk -v k="$1" '$1 == k ":" { printf "%.1f MB", $2 / 1024 }' "/proc/$pid/status"; }
echo "indexed in $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f s", b - a }') (the first answer included), $(awk -v s="$size" -v a="$start" -v b="$end" 'BEGIN { printf "%.0f MB/s", s / 1e6 / (b - a) }')"
echo "resident memory with it indexed: $(status VmRSS) (peak $(status VmHWM))"
id=$(python3 -c 'import json, sys; print(json.loads(sys.argv[1])["files"][0]["id"])' "$list")
last=$(awk -v n="$lines" 'BEGIN { printf "%.1f", n / 10 }')

echo "zoom latency (800 columns; 20 ranges of each width at random places):"
printf '  %-14s %10s %10s %10s\n' width median slowest points
for width in 1 60 3600 100000 "$last"; do
  times=()
  points=0
  for k in $(seq 20); do
    from=$(awk -v w="$width" -v last="$last" -v k="$k" 'BEGIN { srand(k * 7919 + w); f = rand() * (last - w); if (f < 0) f = 0; printf "%.3f", f }')
    to=$(awk -v f="$from" -v w="$width" 'BEGIN { printf "%.3f", f + w }')
    t=$(curl -s -o "$work/range.json" -w '%{time_total}' "${url}api/range?file=$id&from=$from&to=$to&columns=800")
    times+=("$t")
    points=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["t"]))' "$work/range.json")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v w="$width" -v p="$points" '{ t[NR] = $1 } END {
    printf "  %-14s %8.1f ms %8.1f ms %10d\n", w " s", t[int((NR + 1) / 2)] * 1000, t[NR] * 1000, p }'
done
echo "resident memory after the zooms: $(status VmRSS) (peak $(status VmHWM))"

echo "following: 1000 lines a second for 30 s into a second file, a client asking the newest 60 s after each event"
follow=$work/folder/Kestrel_601234568.txt
: >"$follow"
python3 - "$follow" "$url" <<'EOF' &
import sys, time, urllib.request, json
path, url = sys.argv[1], sys.argv[2]
start = time.monotonic()
with open(path, "a") as out:
    i = 0
    while time.monotonic() - start < 30:
        due = int((time.monotonic() - start) * 1000)
        while i < due:
            out.write("%.1f=pitch(%.2f, %.2f, 0.1)\n" % (i / 10, 45 + (i % 100) / 100, 45 + ((i + 1) % 100) / 100))
            i += 1
        out.flush()
        time.sleep(0.01)
EOF
writer=$!
python3 - "$url" <<'EOF' &
import sys, time, urllib.request, json
url = sys.argv[1]
stream = urllib.request.urlopen(url + "api/events", timeout=60)
start = time.monotonic()
asked = 0
for raw in stream:
    if time.monotonic() - start > 30:
        break
    # As the page asks: a round at a time, rounds at least 150 ms apart.
    if raw.startswith(b"data:") and time.monotonic() - asked >= 0.15:
        asked = time.monotonic()
        files = json.load(urllib.request.urlopen(url + "api/files"))["files"]
        f = [f for f in files if f["name"].endswith("568.txt")]
        if f and f[0]["last"] is not None:
            last = f[0]["last"]
            urllib.request.urlopen("%sapi/range?file=%d&from=%f&to=%f&columns=800" % (url, f[0]["id"], last - 60, last)).read()
EOF
client=$!
ticks=$(getconf CLK_TCK)
cpu_before=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
wall_before=$(date +%s.%N)
wait $writer
cpu_after=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
wall_after=$(date +%s.%N)
wait $client || true
awk -v a="$cpu_before" -v b="$cpu_after" -v t="$ticks" -v w0="$wall_before" -v w1="$wall_after" 'BEGIN {
  printf "  server CPU %.2f s over %.1f s: %.1f %% of one core\n", (b - a) / t, w1 - w0, 100 * (b - a) / t / (w1 - w0) }'
echo "resident memory at the end: $(status VmRSS) (peak $(status VmHWM))"

echo "plot on the same record:"
/usr/bin/time -f '  wall %e s, CPU %U + %S s, peak RSS %M kB' "$records" plot "$record" -o "$work/pitch.svg" 2>&1 | tail -1
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
