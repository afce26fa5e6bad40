#!/usr/bin/env bash
# Measures how much of the module's code the tests run: builds preset
# `coverage` (g++ --coverage), runs every test, and reports line and branch
# coverage of the module's folders (text, recorder, display, module,
# platform). The HTML report lands in build/coverage/coverage.html.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh coverage
cmake --preset coverage >/dev/null
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
ctest --preset coverage >/dev/null

filters=(--filter 'text/' --filter 'recorder/' --filter 'display/' --filter 'module/' --filter 'platform/')
# Branches the compiler adds for exceptions are not the module's decisions.
gcovr --root . "${filters[@]}" --exclude-throw-branches --exclude-unreachable-branches \
  --html-details build/coverage/coverage.html --print-summary --txt build/coverage/coverage.txt build/coverage
cat build/coverage/coverage.txt
