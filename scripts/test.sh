#!/usr/bin/env bash
# Runs the tests, in one of two tiers. Installs what it needs first.
#
#   scripts/test.sh            the everyday tier (README: what it takes)
#     default   g++ build: every unit, end-to-end and fault-injection test,
#               two at a time (as every ctest stage runs them)
#     sanitize  clang++ with AddressSanitizer and UndefinedBehaviorSanitizer:
#               the same tests, each test program run whole (all its tests
#               in one process), two at a time; the libFuzzer targets are
#               built alongside
#     fuzz      every fuzzer (one per folder of fuzz/corpus/) 10 s from its seeds
#     windows   both MinGW-w64 builds and their tables; every flight on the
#               x86_64 build under 64-bit Wine against the native records
#   scripts/test.sh --full     all of that, and:
#     default   also builds the benchmarks; then runs the end-to-end, fault
#               and records tests again, each up to 3 times, in random order
#     sanitize  each test in a process of its own, as in default; that
#               repeated run too
#     clang     clang++ build of everything, every test on it
#     fuzz      every fuzzer 120 s instead of 10 s
#     wine32    every flight on the i686 build, the plug-in's true form,
#               under 32-bit Wine against the native records
#     watch     the watch page in headless Chromium while kestrel-host flies
#               the example, paced, into the folder it follows
#               (scripts/watch-browser.py; its picture in build/watch-browser/)
#     package   the release package built twice from scratch, the same bytes,
#               and what it holds; its one command flown in the unpacked
#               folder under 32-bit Wine; the guide against the programs and
#               in headless Chromium (scripts/package-test.sh)
#   scripts/test.sh [--full] STAGE...   only those stages (deps always runs)
#   scripts/test.sh --times ...         also, at the end, where the time went:
#               each stage's wall and CPU time, its build and its tests apart,
#               the slowest compilations of each build and the slowest tests
#
# Each stage prints a line when it starts and one when it ends, with its
# wall and CPU time (a ctest stage's build and tests apart); what its
# commands print goes to build/test-logs/STAGE.log. The run
# ends with the count of every test it ran and, for each failure, its stage
# and the command that reruns just that. KESTREL_FUZZ_SECONDS sets the fuzzing
# time per target.
set -uo pipefail
cd "$(dirname "$0")/.."

full=0
show_times=0
chosen=()
while (($# > 0)); do
  case "$1" in
    --full) full=1; shift ;;
    --times) show_times=1; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    deps|default|clang|sanitize|fuzz|windows|wine32|watch|package) chosen+=("$1"); shift ;;
    *) echo "test.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

if ((full)); then
  stages=(deps default clang sanitize fuzz windows wine32 watch package)
  whole_preset=""
  fuzz_seconds=${KESTREL_FUZZ_SECONDS:-120}
  deps_level=all
  tier="full tier"
else
  stages=(deps default sanitize fuzz windows)
  fuzz_seconds=${KESTREL_FUZZ_SECONDS:-10}
  # The sanitizer tests, each program whole (whole_run, below); the full
  # tier runs each test in a process of its own, as the other stages do.
  whole_preset=sanitize
  deps_level=windows
  tier="everyday tier"
fi
if ((${#chosen[@]} > 0)); then
  [[ " ${chosen[*]} " == *" wine32 "* || " ${chosen[*]} " == *" package "* || " ${chosen[*]} " == *" watch "* ]] &&
    deps_level=all
  picked=(deps)
  for stage in "${stages[@]}"; do
    [[ "$stage" != deps && " ${chosen[*]} " == *" $stage "* ]] && picked+=("$stage")
  done
  for stage in "${chosen[@]}"; do
    [[ " ${picked[*]} " == *" $stage "* ]] ||
      { echo "test.sh: stage '$stage' is not part of the $tier (try --full)" >&2; exit 2; }
  done
  stages=("${picked[@]}")
fi

logs=build/test-logs
mkdir -p "$logs"

duration() { # SECONDS -> 1m05s
  local s=$1
  if ((s >= 60)); then printf '%dm%02ds' $((s / 60)) $((s % 60)); else printf '%ds' "$s"; fi
}

# cpu_now: sets cpu_total to the CPU seconds (user and system) of every
# command this script has waited for; a stage's share is the time it would
# take alone on one core, whatever else the machine runs. (`times` must run
# in this shell, not in a subshell, to see them.)
cpu_total=0
cpu_now() {
  times >"$logs/.times"
  cpu_total=$(sed -n 2p "$logs/.times" | awk '{
    total = 0
    for (i = 1; i <= 2; ++i) { split($i, p, "m"); total += p[1] * 60 + p[2] }
    printf "%d", total }')
}

total_passed=0
total_failed=0
failures=()
timings=()
details=()
built_presets=()
stage_name=""
stage_log=""
stage_passed=0
stage_failed=0
stage_skipped=0

# broken WHAT RERUN: one failure of the current stage.
broken() {
  stage_failed=$((stage_failed + 1))
  failures+=("$stage_name: $1"$'\n'"      rerun: $2")
}
# step COMMAND...: runs it with its output in the stage's log.
step() {
  echo "\$ $*" >>"$stage_log"
  "$@" >>"$stage_log" 2>&1
}

# ctest_stage PRESET TARGET...: configures PRESET, builds the targets, runs
# every test, two at a time; fails when it cannot build them.
ctest_stage() {
  local preset=$1
  shift
  local part_start=$SECONDS cpu_start
  cpu_now
  cpu_start=$cpu_total
  step cmake --preset "$preset" || { broken "configuring $preset" "cmake --preset $preset"; return 1; }
  step nice cmake --build "build/$preset" --target "$@" ||
    { broken "building $*" "cmake --build build/$preset --target $*"; return 1; }
  part_done "build" "$part_start" "$cpu_start"
  built_presets+=("$preset")
  part_start=$SECONDS
  cpu_now
  cpu_start=$cpu_total
  if [[ "$preset" == "$whole_preset" ]]; then
    whole_run "$preset"
  else
    ctest_run alone "$preset" "$preset" -j2
  fi
  part_done "tests" "$part_start" "$cpu_start"
  return 0
}

# whole_run PRESET: every test, as ctest_run would run them, but each
# GoogleTest program once, whole, two programs at a time, rather than one
# process for each test: under the sanitizers a program's start and its
# leak check at the end cost about 0.1 s, which for one process a test is
# a third of the stage. What runs is the same: every test a program holds,
# and through ctest the tests that are no GoogleTest program (label
# `script`); a test that is in neither is a failure. A program's tests are
# counted from its own lines, failed and unexpectedly skipped ones alike,
# and each is rerun alone through ctest, as in a ctest_run.
whole_run() {
  local preset=$1 dir="build/$1" out="$logs/$1.whole"
  rm -rf "$out"
  mkdir -p "$out"
  # The sanitizers' settings of the test preset, as ctest would set them.
  local env_vars=() name
  for name in ASAN_OPTIONS UBSAN_OPTIONS; do
    local value
    value=$(sed -nE "s/^ *\"$name\": \"([^\"]*)\",?$/\1/p" CMakePresets.json | head -1)
    [[ -z "$value" ]] || env_vars+=("$name=$value")
  done
  # Each program, biggest first (the longest runs), in the folder ctest
  # runs its tests in: the one its list of tests was written to.
  local programs=() list program folder
  while IFS= read -r list; do
    program=$(basename "$list")
    program=${program%%\[*}
    folder=$(sed -nE 's/.*WORKING_DIRECTORY ([^ )]+).*/\1/p' "$list" | head -1)
    [[ -n "$folder" ]] || folder=$(cd "$(dirname "$list")" && pwd)
    [[ -x "$dir/bin/$program" ]] || continue
    programs+=("$(stat -c %s "$dir/bin/$program") $program $folder")
  done < <(find "$dir/tests" -name '*_tests.cmake' -path '*\[*\]_tests.cmake')
  local running=0 size bin
  echo "\$ $dir/bin/PROGRAM (each GoogleTest program whole, two at a time; output in $out/)" >>"$stage_log"
  while read -r size program folder; do
    bin="$(pwd)/$dir/bin/$program"
    (cd "$folder" && env "${env_vars[@]}" timeout -k 10 1800 "$bin" >"$OLDPWD/$out/$program.log" 2>&1
     echo $? >"$OLDPWD/$out/$program.code") &
    running=$((running + 1))
    if ((running >= 2)); then
      wait -n
      running=$((running - 1))
    fi
  done < <(printf '%s\n' "${programs[@]}" | sort -rn)
  wait
  local counted=0 kind test skipped failed code
  while read -r size program folder; do
    cat "$out/$program.log" >>"$stage_log"
    code=$(cat "$out/$program.code" 2>/dev/null || echo "none")
    local failed_here=0
    while IFS='|' read -r kind test skipped failed; do
      case "$kind" in
        COUNTS) # test: how many passed
          stage_passed=$((stage_passed + test))
          stage_skipped=$((stage_skipped + skipped))
          counted=$((counted + test + skipped + failed)) ;;
        FAILED|UNEXPECTED|CRASHED)
          failed_here=1
          local what=""
          [[ "$kind" != UNEXPECTED ]] || what=" (skipped, not as expected)"
          [[ "$kind" != CRASHED ]] || what=" (its program $program ended while it ran, exit code $code)"
          broken "test ${test}${what}" "$(ctest_one "$preset" "$test")" ;;
      esac
    done < <(awk '
      function ended(line) { sub(/^\[[^]]*\] /, "", line); sub(/ \([0-9]+ ms\)$/, "", line); sub(/, where GetParam\(\) = .*/, "", line); return line }
      /^\[ RUN      \] / { running = ended($0); marked = 0 }
      /^Skipped as expected: / { marked = 1 }
      /^\[       OK \] .* \([0-9]+ ms\)$/ { ++passed; running = "" }
      /^\[  FAILED  \] .* \([0-9]+ ms\)$/ { print "FAILED|" ended($0); ++failed; running = "" }
      /^\[  SKIPPED \] .* \([0-9]+ ms\)$/ { if (marked) ++skipped; else { print "UNEXPECTED|" ended($0); ++failed } running = "" }
      END { print "COUNTS|" passed + 0 "|" skipped + 0 "|" failed + 0; if (running != "") print "CRASHED|" running }
    ' "$out/$program.log")
    # Every test ended as it should and still the program failed: at its
    # end (a leak the sanitizer found, say), or before its first test.
    if [[ "$code" != 0 ]] && ((failed_here == 0)); then
      broken "$program ended with exit code $code after its tests (see $out/$program.log)" \
        "(cd $(quoted "$folder") && $(quoted "${env_vars[@]}") $(quoted "$(pwd)/$dir/bin/$program"))"
    fi
    # The time of each test, for --times.
    sed -nE 's/^\[       OK \] ([^ ]+).* \(([0-9]+) ms\)$/\2 \1/p' "$out/$program.log" >>"$out/times.txt"
  done < <(printf '%s\n' "${programs[@]}")
  ctest_run alone "$preset" "$preset.scripts" -j2 -L script
  local all
  all=$(ctest --preset "$preset" -N 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
  local scripts
  scripts=$(ctest --preset "$preset" -N -L script 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
  if [[ -z "$all" || $((counted + ${scripts:-0})) -ne "$all" ]]; then
    broken "ctest lists ${all:-no} tests, the programs ran $counted and ${scripts:-no} are scripts" \
      "ctest --preset $preset -j2"
  fi
}
# part_done WHAT START CPU-START: one part of the current stage took this
# long; the stage's last line says so.
stage_parts=()
part_done() {
  cpu_now
  stage_parts+=("$1 $(duration $((SECONDS - $2))) (CPU $(duration $((cpu_total - $3))))")
}

# ctest_repeat PRESET: in the full tier, the end-to-end, fault and records
# tests (the labels of the test programs that run programs and write files)
# once more, each up to three times in a random order, so that tests which
# disturb each other show up here rather than by chance. KilledRun sits that out: alone it takes as long
# as all the others, and its folder is made like every other test's.
ctest_repeat() {
  ((full)) || return 0
  local part_start=$SECONDS cpu_start
  cpu_now
  cpu_start=$cpu_total
  ctest_run together "$1" "$1.repeat" -j2 -L 'e2e|faults|records' -E '^KilledRun\.' --repeat until-fail:3 --schedule-random
  part_done "repeated tests" "$part_start" "$cpu_start"
}

# ctest_run alone|together PRESET LOG-NAME ARGS...: ctest --preset PRESET
# ARGS...; counts the tests from ctest's summary. A failed test is a failure,
# and so is a skipped one whose output lacks "Skipped as expected: "
# (tests/support/ExpectedSkip.h): a test that did not run can hide a fault.
# Each is rerun alone, or with the whole command when it failed `together`
# with others.
ctest_run() {
  local mode=$1 preset=$2 out="$logs/$3.ctest.log"
  shift 3
  echo "\$ ctest --preset $preset $(quoted "$@")" >>"$stage_log"
  ctest --preset "$preset" "$@" >"$out" 2>&1
  cat "$out" >>"$stage_log"
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -1)
  if [[ -z "$summary" ]]; then
    broken "ctest gave no summary (see $stage_log)" "ctest --preset $preset $(quoted "$@")"
    return
  fi
  local all bad skipped failed_before=$stage_failed
  all=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  skipped=$(sed -n '/The following tests did not run:/,/^$/p' "$out" | grep -c ' (Skipped)$')
  stage_passed=$((stage_passed + all - bad - skipped))
  stage_skipped=$((stage_skipped + skipped))
  local name rerun
  # ctest's own log of the run: every run of every test, with its output and
  # why ctest counted it skipped.
  local unexpected
  unexpected=$(awk '
    /^[0-9]+\/[0-9]+ Testing: / { name = $0; sub(/^[0-9]+\/[0-9]+ Testing: /, "", name); marked = 0 }
    /^Skipped as expected: / { marked = 1 }
    /^Skip regular expression found in output\./ && !marked { print name }
  ' "build/$preset/Testing/Temporary/LastTest.log" | sort -u)
  while IFS='|' read -r what name; do
    [[ -n "$name" ]] || continue
    rerun=$(ctest_one "$preset" "$name")
    if [[ "$mode" == together ]]; then
      what+=" (in the run repeated with the others)"
      rerun="ctest --preset $preset $(quoted "$@")"
    fi
    broken "test ${name}${what}" "$rerun"
  done < <(
    sed -n '/The following tests FAILED:/,$p' "$out" |
      sed -nE 's/^[[:space:]]+[0-9]+ - (.*) \([^()]*\)$/|\1/p'
    [[ -z "$unexpected" ]] || sed 's/^/ (skipped, not as expected)|/' <<<"$unexpected"
  )
  if ((bad > 0 && stage_failed == failed_before)); then
    broken "$bad test(s) (see $stage_log)" "ctest --preset $preset $(quoted "$@")"
  fi
}
# ctest_one PRESET NAME: the ctest command that reruns just the test NAME
# (a parameterised test's "  # GetParam() = ..." left off).
ctest_one() {
  local pattern
  pattern=$(sed -e 's/  # .*//' -e 's/[][\.*^$+?(){}|]/\\&/g' <<<"$2")
  echo "ctest --preset $1 -R '^$pattern( |\$)'"
}
quoted() { # ARGS... as a shell would take them back
  local arg words=()
  for arg in "$@"; do
    [[ "$arg" =~ ^[A-Za-z0-9_.,:/=+-]+$ ]] && words+=("$arg") || words+=("'$arg'")
  done
  echo "${words[*]}"
}

# count_lines LOG RERUN-FUNCTION: counts the "  ok    ..." and "  FAIL  ..."
# lines a script printed (fuzz.sh, windows-test.sh); RERUN-FUNCTION gives the
# command that reruns what a FAIL line names.
count_lines() {
  local line
  stage_passed=$((stage_passed + $(grep -c '^  ok ' "$1" || true)))
  while IFS= read -r line; do
    broken "${line#  FAIL  }" "$("$2" "$line")"
  done < <(grep '^  FAIL ' "$1" || true)
}

stage_deps() {
  step scripts/install-deps.sh "$deps_level" ||
    broken "installing packages" "scripts/install-deps.sh $deps_level"
}

stage_default() {
  if ((full)); then
    ctest_stage default all && ctest_repeat default # all: the benchmarks too, which no test runs
  else
    ctest_stage default kestrel-tests
  fi
}

stage_clang() {
  ctest_stage clang all
}

stage_sanitize() {
  ctest_stage sanitize kestrel-tests kestrel-fuzzers && ctest_repeat sanitize
}

fuzz_rerun() { # a fuzz.sh FAIL line: the input that failed, where it was kept
  local name=${1#  FAIL  } kept
  name=${name%%:*}
  kept=$(grep -A1 -F "  FAIL  $name:" "$logs/fuzz.out" | sed -n 's/^ *rerun: //p' | head -1)
  echo "${kept:-scripts/fuzz.sh --target $name $fuzz_seconds}"
}
stage_fuzz() {
  local out="$logs/fuzz.out"
  scripts/fuzz.sh "$fuzz_seconds" >"$out" 2>&1
  local code=$?
  cat "$out" >>"$stage_log"
  count_lines "$out" fuzz_rerun
  if ((code != 0 && stage_failed == 0)); then
    broken "scripts/fuzz.sh ended with exit code $code (see $stage_log)" "scripts/fuzz.sh $fuzz_seconds"
  fi
}

windows_rerun() { # a windows-test.sh FAIL line
  local what=${1#  FAIL  } part name
  part=${what%%:*}
  case "$part" in
    wine64|wine32)
      # "PART: FLIGHT: what went wrong" names a flight; any other line
      # (Wine missing, the records tool's own checks) is the part's.
      name=${what#*: }
      if [[ "$name" == *": "* && "${name%%: *}" =~ ^[a-z0-9-]+$ ]]; then
        echo "scripts/windows-test.sh $part --flight ${name%%: *}"
      else
        echo "scripts/windows-test.sh $part"
      fi ;;
    *) echo "scripts/windows-test.sh tables" ;;
  esac
}
windows_stage() { # PART...
  local out="$logs/$stage_name.out"
  KESTREL_SKIP_DEPS=1 scripts/windows-test.sh "$@" >"$out" 2>&1
  local code=$?
  cat "$out" >>"$stage_log"
  count_lines "$out" windows_rerun
  if ((code != 0 && stage_failed == 0)); then
    broken "scripts/windows-test.sh ended with exit code $code (see $stage_log)" "scripts/windows-test.sh $*"
  fi
}
stage_windows() { windows_stage tables wine64; }
stage_wine32() { windows_stage wine32; }

stage_watch() {
  step cmake --preset default || { broken "configuring default" "cmake --preset default"; return; }
  step nice cmake --build build/default --target kestrel-records kestrel-host KestrelScribeMFD ||
    { broken "building kestrel-records, kestrel-host and the plug-in" \
        "cmake --build build/default --target kestrel-records kestrel-host KestrelScribeMFD"; return; }
  local out="$logs/watch.out"
  mkdir -p build/watch-browser
  /usr/bin/python3 scripts/watch-browser.py build/default/bin build/watch-browser/work \
    build/watch-browser/watch.png >"$out" 2>&1
  local code=$?
  cat "$out" >>"$stage_log"
  count_lines "$out" echo_watch_rerun
  if ((code != 0 && stage_failed == 0)); then
    broken "scripts/watch-browser.py ended with exit code $code (see $stage_log)" "$(echo_watch_rerun)"
  fi
}
echo_watch_rerun() { echo "scripts/test.sh --full watch"; }

stage_package() {
  local out="$logs/package.out"
  scripts/package-test.sh >"$out" 2>&1
  local code=$?
  cat "$out" >>"$stage_log"
  count_lines "$out" echo_package_rerun
  if ((code != 0 && stage_failed == 0)); then
    broken "scripts/package-test.sh ended with exit code $code (see $stage_log)" "scripts/package-test.sh"
  fi
}
echo_package_rerun() { echo "scripts/package-test.sh"; }

describe() {
  case "$1" in
    deps) echo "installing what the tests need (scripts/install-deps.sh $deps_level)" ;;
    default) echo "g++ build; unit, end-to-end and fault-injection tests" ;;
    clang) echo "clang++ build of everything; every test" ;;
    sanitize) echo "clang++ with AddressSanitizer and UndefinedBehaviorSanitizer; every test; the fuzzers built" ;;
    fuzz) echo "every fuzzer ${fuzz_seconds} s from its seeds, two at a time" ;;
    windows) echo "both Windows builds, their tables, every flight on x86_64 under 64-bit Wine" ;;
    wine32) echo "every flight on the i686 build under 32-bit Wine" ;;
    watch) echo "the watch page in headless Chromium while the example flies, paced, into its folder" ;;
    package) echo "the release package, twice from scratch: the same bytes, what it holds, its one command under 32-bit Wine, the guide in Chromium" ;;
  esac
}

echo "test.sh: the $tier: ${stages[*]} (logs in $logs/)"
run_start=$SECONDS
for stage_name in "${stages[@]}"; do
  stage_log="$logs/$stage_name.log"
  : >"$stage_log"
  stage_passed=0
  stage_failed=0
  stage_skipped=0
  stage_parts=()
  start=$SECONDS
  cpu_now
  cpu_start=$cpu_total
  echo "==> $stage_name: $(describe "$stage_name")"
  "stage_$stage_name"
  took=$((SECONDS - start))
  cpu_now
  cpu=$((cpu_total - cpu_start))
  timings+=("$stage_name $(duration $took) (CPU $(duration $cpu))")
  parts=""
  ((${#stage_parts[@]} == 0)) || parts="; $(IFS=';'; echo "${stage_parts[*]}" | sed 's/;/, /g')"
  details+=("$(printf '  %-9s %7s  CPU %7s%s' "$stage_name" "$(duration $took)" "$(duration $cpu)" "$parts")")
  total_passed=$((total_passed + stage_passed))
  total_failed=$((total_failed + stage_failed))
  if ((stage_failed > 0)); then
    echo "<== $stage_name: FAILED, $stage_passed passed and $stage_failed failed in $(duration $took) (log: $stage_log)"
  else
    skips=""
    ((stage_skipped == 0)) || skips=" ($stage_skipped skipped as expected)"
    echo "<== $stage_name: done, $stage_passed passed$skips in $(duration $took) (CPU $(duration $cpu)$parts)"
  fi
done

echo
echo "test.sh: the $tier took $(duration $((SECONDS - run_start))) ($(IFS=,; echo "${timings[*]}" | sed 's/,/, /g'));" \
  "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
if ((total_failed > 0)); then
  echo "test.sh: what failed, and how to rerun just that:"
  for failure in "${failures[@]}"; do
    echo "  $failure"
  done
fi
if ((show_times)); then
  echo "test.sh: where the time went (wall, CPU of everything the stage ran):"
  printf '%s\n' "${details[@]}"
  for preset in "${built_presets[@]}"; do
    # Ninja's log: start and end (ms) of each step of the last build; two
    # run at a time, so a step's wall time is about its CPU time.
    [[ -f "build/$preset/.ninja_log" ]] || continue
    echo "  slowest steps of the $preset build (s):"
    awk -F'\t' 'NR > 1 { t[$4] = ($2 - $1) / 1000 } END { for (o in t) printf "%8.1f  %s\n", t[o], o }' \
      "build/$preset/.ninja_log" | sort -rn | head -8
    echo "  slowest tests of the $preset run (s):"
    if [[ "$preset" == "$whole_preset" ]]; then
      sort -rn "$logs/$preset.whole/times.txt" | head -5 | awk '{ printf "%8.1f  %s\n", $1 / 1000, $2 }'
    else
      sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) \.+.* ([0-9.]+) sec$/\2 \1/p' "$logs/$preset.ctest.log" |
        sort -rn | head -5 | awk '{ printf "%8.1f  %s\n", $1, $2 }'
    fi
  done
fi
echo "total: $total_passed passed, $total_failed failed"
((total_failed == 0))
