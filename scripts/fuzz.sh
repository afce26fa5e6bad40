#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`, clang with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for SECONDS (default 20),
# starting from its seed corpus in fuzz/corpus/. New inputs found go to a
# scratch folder, not into the committed seeds.
#   scripts/fuzz.sh          # about 20 s per target, as the tests do
#   scripts/fuzz.sh 3600     # a long run: an hour per target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

scripts/install-deps.sh native
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
status=0
for seeds in fuzz/corpus/*/; do
  name="$(basename "$seeds")"
  fuzzer="build/fuzz/bin/kestrel-fuzz-$name"
  mkdir -p "$scratch/$name"
  echo "== fuzzing $name for ${seconds}s"
  if ! (cd "$scratch" && "$OLDPWD/$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
        "$scratch/$name" "$OLDPWD/$seeds" 2>"$scratch/$name.log"); then
    tail -40 "$scratch/$name.log" >&2
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::new_units_added" "$scratch/$name.log" | sed "s/^/   /"
done
if ((status == 0)); then
  echo "fuzzing: every target ran clean"
fi
exit $status
