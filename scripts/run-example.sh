#!/usr/bin/env bash
# Builds the plug-in, kestrel-host and kestrel-records (only those: the
# `example` preset, in build/example) and flies the example ascent
# (examples/ascent) through kestrel-host, the stand-in host, into
# out/example/; prints the run's summary, then charts the records it left
# and exports them as CSV with kestrel-records. Installs what it needs
# first; a second run with nothing changed rebuilds and reinstalls nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh example
# Configured once; Ninja itself reruns CMake when a CMakeLists.txt changes.
[[ -f build/example/build.ninja ]] || cmake --preset example >/dev/null
cmake --build --preset example >/dev/null

bin=build/example/bin
rm -rf out/example
mkdir -p out/example
"$bin/kestrel-host" run examples/ascent/flight.json --root out/example
records=(out/example/KestrelScribeData/*.txt)
if [[ ! -e "${records[0]}" ]]; then
  echo "run-example: the flight left no data file in out/example/KestrelScribeData" >&2
  exit 1
fi
"$bin/kestrel-records" check "${records[@]}"
"$bin/kestrel-records" plot "${records[@]}" -o out/example/pitch.svg
"$bin/kestrel-records" export "${records[@]}" -o out/example/pitch.csv
echo "outputs in out/example/: the data file(s) in KestrelScribeData/, pitch.svg (their chart), pitch.csv (their lines)," \
  "ascent.scn, left-display.svg, left-display.log"
