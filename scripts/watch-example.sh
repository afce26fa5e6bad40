#!/usr/bin/env bash
# Flies the example ascent at pace 1 (a simulated second each wall second:
# about three minutes) into out/watch/ and opens the watch page on its data
# folder, so that the records can be seen growing as the module writes
# them. Builds what it needs first (the `example` preset, as
# scripts/run-example.sh does). Ctrl-C ends both.
#   scripts/watch-example.sh [PACE]
set -euo pipefail
cd "$(dirname "$0")/.."

pace=${1:-1}
scripts/install-deps.sh example
[[ -f build/example/build.ninja ]] || cmake --preset example >/dev/null
cmake --build --preset example >/dev/null

bin=build/example/bin
rm -rf out/watch
mkdir -p out/watch
"$bin/kestrel-records" watch out/watch/KestrelScribeData --open &
watch=$!
trap 'kill -INT $watch 2>/dev/null; wait $watch 2>/dev/null || true' EXIT
sleep 1
"$bin/kestrel-host" run examples/ascent/flight.json --root out/watch --pace "$pace"
echo "watch-example: the flight has ended; the page goes on showing its records until Ctrl-C"
wait $watch
