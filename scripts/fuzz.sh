#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `sanitize`: clang with AddressSanitizer
# and UndefinedBehaviorSanitizer, the same build the sanitizer tests run on)
# and runs each target for SECONDS (default 20) from its seed corpus in
# fuzz/corpus/<target>/, two at a time. Every folder under fuzz/corpus/ is a
# target: kestrel-fuzz-<folder>. New inputs go to a scratch folder, not into
# the committed seeds; an input that makes a target fail is kept in
# build/fuzz-failures/<target>/.
#
#   scripts/fuzz.sh                   each target about 20 s
#   scripts/fuzz.sh 3600              a long run: an hour per target
#   scripts/fuzz.sh --target NAME 60  one target (NAME as in fuzz/corpus/)
#   options: --build-dir DIR (default build/sanitize, configured with preset
#            sanitize), --jobs N (targets at a time, default 2),
#            --no-build (the fuzzers are built already)
set -uo pipefail
cd "$(dirname "$0")/.."

build_dir=build/sanitize
jobs=2
build=1
only=()
seconds=20
while (($# > 0)); do
  case "$1" in
    --build-dir) build_dir="${2:?fuzz.sh: --build-dir needs a folder}"; shift 2 ;;
    --target) only+=("${2:?fuzz.sh: --target needs a name}"); shift 2 ;;
    --jobs) jobs="${2:?fuzz.sh: --jobs needs a number}"; shift 2 ;;
    --no-build) build=0; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *)
      if [[ "$1" =~ ^[1-9][0-9]*$ ]]; then seconds=$1; shift
      else echo "fuzz.sh: unknown argument '$1' (try --help)" >&2; exit 2
      fi ;;
  esac
done

targets=()
for seeds in fuzz/corpus/*/; do
  targets+=("$(basename "$seeds")")
done
if ((${#only[@]} > 0)); then
  for name in "${only[@]}"; do
    if [[ ! -d "fuzz/corpus/$name" ]]; then
      echo "fuzz.sh: no target '$name' (targets: ${targets[*]})" >&2
      exit 2
    fi
  done
  targets=("${only[@]}")
fi

if ((build)); then
  scripts/install-deps.sh native || exit 1
  if [[ "$build_dir" == build/sanitize ]]; then
    cmake --preset sanitize >/dev/null || exit 1
  fi
  cmake --build "$build_dir" --target kestrel-fuzzers || exit 1
fi

bin="$(cd "$build_dir" 2>/dev/null && pwd)/bin"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures="build/fuzz-failures"

# fuzz_one NAME: runs the target; its verdict in $scratch/NAME.verdict.
fuzz_one() {
  local name=$1 fuzzer="$bin/kestrel-fuzz-$1" seeds="$PWD/fuzz/corpus/$1"
  local work="$scratch/$name" log="$scratch/$name.log"
  mkdir -p "$work/new"
  if [[ ! -x "$fuzzer" ]]; then
    echo "FAIL  $name: $fuzzer was not built" >"$scratch/$name.verdict"
    return
  fi
  # The fuzzers move into a scratch folder of their own (the display makes
  # its data folder where it runs), so a failing input is written by path.
  if (cd "$work" && "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
        "$work/new" "$seeds" >"$log" 2>&1); then
    local runs units
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    units=$(sed -n 's/^stat::new_units_added: *//p' "$log")
    echo "ok    $name: ${runs:-?} inputs run in ${seconds} s, ${units:-0} new" >"$scratch/$name.verdict"
  else
    mkdir -p "$failures/$name"
    local kept=""
    for input in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [[ -e "$input" ]] || continue
      cp "$input" "$failures/$name/"
      kept="$failures/$name/$(basename "$input")"
    done
    cp "$log" "$failures/$name/log.txt"
    {
      echo "FAIL  $name: see $failures/$name/log.txt"
      if [[ -n "$kept" ]]; then
        echo "      rerun: $build_dir/bin/kestrel-fuzz-$name $kept"
      else
        echo "      rerun: scripts/fuzz.sh --target $name $seconds"
      fi
    } >"$scratch/$name.verdict"
  fi
}

echo "fuzzing ${targets[*]}: ${seconds} s each, $jobs at a time"
running=0
for name in "${targets[@]}"; do
  fuzz_one "$name" &
  running=$((running + 1))
  if ((running >= jobs)); then
    wait -n
    running=$((running - 1))
  fi
done
wait

passed=0
failed=0
for name in "${targets[@]}"; do
  sed 's/^/  /' "$scratch/$name.verdict"
  if grep -q '^ok' "$scratch/$name.verdict"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
