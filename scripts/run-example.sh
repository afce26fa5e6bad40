#!/usr/bin/env bash
# Builds the project and flies the example ascent (examples/ascent) through
# kestrel-host, the stand-in host, into out/example/; prints the run's
# summary and charts each data file. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null

host=build/default/bin/kestrel-host
rm -rf out/example
mkdir -p out/example
"$host" run examples/ascent/flight.json --root out/example
for data in out/example/KestrelScribeData/*.txt; do
  [[ -e "$data" ]] || continue
  "$host" plot "$data" -o "out/example/$(basename "${data%.txt}").svg"
done
echo "outputs in out/example/: the data file(s) and their charts, ascent.scn, left-display.svg, left-display.log"
