#!/usr/bin/env bash
# Builds everything and runs every test. Installs what it needs first.
#   - the native build with g++ and with clang++: unit, end-to-end and
#     fault-injection tests;
#   - the same tests under AddressSanitizer and UndefinedBehaviorSanitizer;
#   - each fuzzer for a short while (KESTREL_FUZZ_SECONDS, default 20);
#   - the Windows builds, checked and run under Wine against the native
#     records (scripts/windows-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

for preset in default clang sanitize; do
  echo "== $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== fuzzing"
scripts/fuzz.sh "${KESTREL_FUZZ_SECONDS:-20}"

scripts/windows-test.sh
