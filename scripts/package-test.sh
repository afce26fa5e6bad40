#!/usr/bin/env bash
# Checks the release package as a user gets it, and its guide against the
# program:
#   - scripts/package.sh builds it from scratch twice (build/package and the
#     zip removed in between): both zips must be the same bytes;
#   - unpacked, it holds exactly its files, SHA256SUMS matches them, the DLL
#     is PE32 i386 with its version resource, exactly the five entry points
#     and the imports from kestrel-host.exe the guide names; the programs
#     carry the version of module/Version.h; no file of the module outside
#     host/ declares anything of the host;
#   - the one command of README.txt (the guide's too) flies the example in
#     the unpacked folder under 32-bit Wine (through qemu where the kernel
#     starts no 32-bit programs): its data file, the display's picture and
#     the chart must be those of the native build's run, byte for byte;
#   - every exit code the guide states, and its limits on names and
#     intervals, hold for the native build's programs;
#   - headless Chromium shows the guide 800 pixels wide: its pictures
#     loaded, nothing wider than the window, its title and headings; a
#     picture of the page is kept in build/package-test/guide.png.
#
#   scripts/package-test.sh     (scripts/test.sh --full runs it)
# Prints "  ok    ..." or "  FAIL  ..." per check and "package: N passed,
# M failed" at the end; exit 1 when a check failed.
# Environment: KESTREL_SKIP_DEPS=1 installs nothing first (package.sh
# installs its own).
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

case "${1:-}" in
  -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
  "") ;;
  *) echo "package-test.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
esac

if [[ "${KESTREL_SKIP_DEPS:-}" != 1 ]]; then
  scripts/install-deps.sh wine32 || exit 2
  scripts/install-deps.sh package || exit 2
fi

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "  ok    $*"; }
fail() { failed=$((failed + 1)); echo "  FAIL  $*"; }
finish() {
  echo "package: $passed passed, $failed failed"
  ((failed == 0))
  exit
}

version=$(sed -n 's/^#define KESTREL_VERSION_TEXT "\(.*\)"$/\1/p' module/Version.h)
zip="dist/KestrelScribeMFD-$version.zip"
work=build/package-test
rm -rf "$work"
mkdir -p "$work"
native=build/default/bin

# ---- two builds from scratch ---------------------------------------------------

echo "== package: built twice from scratch"
# build N: package.sh from scratch; the zip kept as $work/N.zip.
build() {
  rm -rf build/package "$zip"
  if scripts/package.sh >"$work/package-$1.log" 2>&1 && [[ -f "$zip" ]]; then
    cp "$zip" "$work/$1.zip"
    return 0
  fi
  fail "package.sh (run $1) wrote no $zip: $(tail -3 "$work/package-$1.log" | tr '\n' ' ')"
  return 1
}

if ! build 1 || ! build 2; then
  finish
fi
if cmp -s "$work/1.zip" "$work/2.zip"; then
  pass "two builds from scratch give the same $(stat -c %s "$work/1.zip") bytes"
else
  fail "two builds from scratch differ: $(cmp "$work/1.zip" "$work/2.zip" 2>&1 | head -1)"
fi

# ---- what the zip holds ----------------------------------------------------------

echo "== package: what it holds"
unpacked="$work/unpacked"
mkdir -p "$unpacked"
unzip -q "$work/1.zip" -d "$unpacked"
entries=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
expected=$(printf '%s\n' CHANGES.txt KestrelScribeMFD-Guide.html KestrelScribeMFD.dll LICENSE.txt README.txt \
  SHA256SUMS examples/ascent/flight.json examples/ascent/start.scn kestrel-host.exe kestrel-records.exe | LC_ALL=C sort)
if [[ "$entries" == "$expected" ]]; then
  pass "the zip holds $(echo $entries)"
else
  fail "the zip holds [$(echo $entries)], expected [$(echo $expected)]"
fi

# SHA256SUMS names every other file, once, and each sum is right.
summed=$(awk '{ print $2 }' "$unpacked/SHA256SUMS" 2>/dev/null | LC_ALL=C sort)
others=$(grep -vx SHA256SUMS <<<"$entries")
if [[ "$summed" == "$others" ]] && (cd "$unpacked" && sha256sum --quiet -c SHA256SUMS >/dev/null 2>&1); then
  pass "SHA256SUMS holds the right sum of each of the $(wc -l <<<"$others") other files"
else
  fail "SHA256SUMS does not match the files: names [$(echo $summed)], check: $(cd "$unpacked" && sha256sum -c SHA256SUMS 2>&1 | grep -v ': OK$' | head -3 | tr '\n' ' ')"
fi

if [[ -f "$unpacked/LICENSE.txt" ]] && cmp -s "$unpacked/LICENSE.txt" LICENSE && grep -q '^MIT License$' LICENSE; then
  pass "LICENSE.txt is the repository's LICENSE, the MIT licence"
else
  fail "LICENSE.txt is not the repository's MIT LICENSE"
fi

dll="$unpacked/KestrelScribeMFD.dll"
if [[ -f "$dll" ]]; then
  dump=$(i686-w64-mingw32-objdump -p "$dll")
  if grep -q 'file format pei-i386' <<<"$dump" && grep -Eq '^Magic[[:space:]]+010b' <<<"$dump"; then
    pass "the DLL is PE32 for i386"
  else
    fail "the DLL is not PE32 for i386: $(grep -E 'file format|^Magic' <<<"$dump" | tr '\n\t' '  ')"
  fi
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | awk '/\[ *[0-9]+\]/ { print $NF }' | sort | tr '\n' ' ')
  if [[ "$exports" == "ExitModule GetModuleVersion InitModule ModuleDate opcPreStep " ]]; then
    pass "the DLL exports exactly $exports"
  else
    fail "the DLL exports [$exports]"
  fi
  # What the guide's first section says the DLL imports from kestrel-host.exe.
  from_host=$(awk '/^\tDLL Name: / { inside = (tolower($3) == "kestrel-host.exe"); next }
                   inside && NF == 0 { inside = 0 } inside && !/^\tvma:/ { print $NF }' <<<"$dump")
  if grep -qx _Z12oapiGetPitchPvPd <<<"$from_host" && grep -qx _ZN3MFD17InvalidateDisplayEv <<<"$from_host" &&
     grep -q "_Z12oapiGetPitchPvPd" "$unpacked/KestrelScribeMFD-Guide.html"; then
    pass "the DLL imports $(wc -l <<<"$from_host") host operations from kestrel-host.exe, _Z12oapiGetPitchPvPd and _ZN3MFD17InvalidateDisplayEv among them, as the guide says"
  else
    fail "the DLL's imports from kestrel-host.exe are not those the guide names: [$(echo $from_host | head -c 300)]"
  fi
  # The version resource's texts are UTF-16.
  resource=$(strings -el -n 3 "$dll")
  missing=()
  for key in FileVersion ProductName FileDescription ProductVersion; do
    grep -qx "$key" <<<"$resource" || missing+=("$key")
  done
  if ((${#missing[@]} == 0)) && grep -qx "VS_VERSION_INFO" <<<"$resource" && grep -qx "KestrelScribeMFD.dll" <<<"$resource" &&
     grep -qx "$version" <<<"$resource"; then
    pass "the DLL carries a version resource (FileVersion $version, ProductName, FileDescription, ProductVersion)"
  else
    fail "the DLL's version resource lacks ${missing[*]:-its product name or the version $version}"
  fi
fi

for program in kestrel-host kestrel-records; do
  exe="$unpacked/$program.exe"
  [[ -f "$exe" ]] || continue
  # The text --version prints: the native build's answer, and the same text
  # inside the Windows program.
  said=$("$native/$program" --version 2>&1)
  held=$(strings -a "$exe" | grep -x "$program [0-9][0-9.]*")
  if ! i686-w64-mingw32-objdump -f "$exe" | grep -q 'file format pei-i386'; then
    fail "$program.exe is not a 32-bit Windows program"
  elif [[ "$said" == "$program $version" && "$held" == "$program $version" ]]; then
    pass "$program.exe is a 32-bit Windows program; --version says '$program $version', as in module/Version.h"
  else
    fail "$program --version says '$said', and $program.exe holds '$held'; module/Version.h has $version"
  fi
done

# The host's declarations are in host/ alone: no other folder of the module
# declares a host operation (a line that starts with its type), the display
# base class or its records, the host's handles or one of its numbers.
declared=$(grep -rnE 'HOSTAPI|\b(class|struct) +(HOSTAPI +)?(MFD|MFDMODESPEC|ButtonMenuEntry|VESSEL)\b *[{;]|typedef .*\b(OBJHANDLE|FILEHANDLE|SCENARIOHANDLE)\b|\b(HOST_KEY_[A-Z]|MFD_MESSAGE_[A-Z]+|MFD_BUTTON_[A-Z]+) *=|^[A-Za-z_][A-Za-z0-9_:<>&* ]*[ *&](oapi[A-Za-z_]+|InitLib|Date2Int) *\(' \
  module recorder display text platform 2>/dev/null | head -5)
if [[ -z "$declared" ]]; then
  pass "no file of the module outside host/ declares anything of the host"
else
  fail "host declarations outside host/: $declared"
fi

guide="$unpacked/KestrelScribeMFD-Guide.html"
if [[ -f "$guide" ]]; then
  # Pictures inside the file (inline SVG or data: addresses), none fetched
  # from elsewhere.
  pictures=$(grep -o -E '<svg|src="data:' "$guide" | wc -l)
  outside=$(grep -o -E '(src|href)="(https?:|file:|[^"#d][^"]*\.(svg|png|css|js)")' "$guide" | head -3 | tr '\n' ' ')
  if ((pictures >= 2)) && [[ -z "$outside" ]]; then
    pass "the guide is one HTML file with its $pictures pictures inside"
  else
    fail "the guide has $pictures pictures inside; outside references: ${outside:-none}"
  fi
fi

# ---- the one command, under 32-bit Wine --------------------------------------------

echo "== package: the one command of README.txt, in the unpacked folder, under 32-bit Wine"
# The command: README.txt's one line that starts kestrel-host.exe; the guide
# must print the same.
command=$(grep -E '^ *kestrel-host\.exe run ' "$unpacked/README.txt" | sed 's/^ *//')
guide_text=$(python3 -c 'import html, sys; print(html.unescape(open(sys.argv[1], encoding="utf-8").read()))' "$guide" 2>/dev/null)
if [[ $(grep -cE '^ *kestrel-host\.exe run ' "$unpacked/README.txt") == 1 ]] && grep -qF -- "$command" <<<"$guide_text"; then
  pass "README.txt and the guide give the same one command: $command"
else
  fail "README.txt's command [$command] is not one line, or not the guide's"
fi

# The native run of the same: the example flight, then the chart of its
# data file (named in the command), from a copy of the example in a folder
# of its own.
native_run="$repo/$work/native"
mkdir -p "$native_run/examples"
cp -r examples/ascent "$native_run/examples/"
data_file=$(grep -oE '"flight\\KestrelScribeData\\[^"]*\.txt"' <<<"$command" | tr -d '"' | tr '\\' '/')
(cd "$native_run" && "$repo/$native/kestrel-host" run examples/ascent/flight.json --root flight >host.out 2>&1 &&
  "$repo/$native/kestrel-records" plot "$data_file" -o flight/pitch.svg >records.out 2>&1)
native_code=$?

source scripts/wine.sh
flown="$repo/$work/flown"
cp -r "$unpacked" "$flown"
# cmd runs the command as a batch file would: the same line, in the folder.
printf '%s\r\n' "$command" >"$repo/$work/one-command.cmd"
if ! wine32_start 0; then
  fail "the one command: $wine32_problem"
else
  echo "  $wine32_how"
  start=$SECONDS
  code=0
  (cd "$flown" && timeout -k 10 1800 nice -n 10 ${wine32_runner[@]+"${wine32_runner[@]}"} \
    "$wine64" cmd /c "$(winpath "$repo/$work/one-command.cmd")") >"$work/one-command.log" 2>&1 || code=$?
  wine32_stop
  echo "  the one command took $((SECONDS - start)) s"
  left=$(cd "$flown/flight" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  made=$(cd "$native_run/flight" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  if ((native_code != 0)) || [[ -z "$data_file" || ! -f "$native_run/$data_file" ]]; then
    fail "the native run of the command failed ($native_code) or left no $data_file: $(tail -3 "$native_run/host.out" "$native_run/records.out" 2>/dev/null | tr '\n' ' ')"
  elif ((code != 0)); then
    fail "the one command ended with exit code $code: $(tr -d '\r' <"$work/one-command.log" | tail -4 | tr '\n' ' ')"
  elif [[ "$left" != "$made" ]]; then
    fail "the one command left [$(echo $left)] in flight, the native run [$(echo $made)]"
  else
    different=()
    while IFS= read -r f; do
      cmp -s "$flown/flight/$f" "$native_run/flight/$f" || different+=("$f")
    done <<<"$left"
    if ((${#different[@]} > 0)); then
      fail "the one command's files differ from the native run's: ${different[*]}"
    elif [[ ! -f "$flown/flight/left-display.svg" || ! -f "$flown/flight/pitch.svg" ]]; then
      fail "the one command left no display picture or chart: [$(echo $left)]"
    else
      pass "the one command left the data file ($(wc -l <"$flown/$data_file") lines), the display's picture and the chart, each the same bytes as the native run's: $(echo $left)"
    fi
  fi
fi

# ---- the guide against the program ---------------------------------------------------

echo "== package: the guide's exit codes and limits against the native programs"
claims="$repo/$work/claims"
mkdir -p "$claims"

# exit_case NAME: the exit code the program gives in the case the guide's
# span data-exit="NAME" speaks of.
exit_case() {
  local dir="$claims/$1"
  mkdir -p "$dir"
  cd "$dir" || return 99
  cp "$native_run/$data_file" good_613815000.txt
  case "$1" in
    host-played) "$repo/$native/kestrel-host" run "$repo/examples/ascent/flight.json" --root flight ;;
    host-bad-input) echo '{"steps": [{"dt": 1, "count": 1}], "no such key": 1}' >flight.json
      "$repo/$native/kestrel-host" run flight.json --root flight ;;
    host-lost-lines) # plays to its end; the disk is full while two lines fall due
      cat >flight.json <<'EOF'
{"clock_mjd": 61381.5, "vessels": [{"name": "Probe", "pitch_deg": [[0, 1], [100, 2]]}],
 "steps": [{"dt": 1, "count": 60}],
 "events": [{"step": 0, "open": "left", "width": 256, "height": 200},
            {"step": 0, "display": "left", "button": 0},
            {"step": 15, "files": "fail"}, {"step": 35, "files": "ok"}]}
EOF
      "$repo/$native/kestrel-host" run flight.json --root flight ;;
    check-good) "$repo/$native/kestrel-records" check good_613815000.txt ;;
    check-bad-line) { head -3 good_613815000.txt; echo '10.0=pitch(1.00, 2.0'; } >bad_613815000.txt
      "$repo/$native/kestrel-records" check bad_613815000.txt ;;
    check-unreadable) "$repo/$native/kestrel-records" check missing_613815000.txt ;;
    records-refuses-data-file) cp good_613815000.txt other_613815000.txt
      "$repo/$native/kestrel-records" plot good_613815000.txt -o other_613815000.txt ;;
    *) return 99 ;;
  esac
}
known_cases=(host-played host-bad-input host-lost-lines check-good check-bad-line check-unreadable records-refuses-data-file)

# Every exit code the guide states is a span data-exit="CASE" around it.
stated=$(grep -oE '<span data-exit="[a-z-]+">[0-9]+</span>' "$guide" | sed -E 's/<span data-exit="([a-z-]+)">([0-9]+)<\/span>/\1 \2/')
for name in "${known_cases[@]}"; do
  grep -q "^$name " <<<"$stated" || fail "the guide states no exit code for the case $name"
done
while read -r name said; do
  [[ -n "$name" ]] || continue
  code=0
  (exit_case "$name") >"$claims/$name.out" 2>&1 || code=$?
  if ((code == 99)); then
    fail "the guide states exit code $said for '$name', a case this test does not know"
  elif [[ "$code" == "$said" ]]; then
    pass "exit code $said, as the guide says, for $name"
  else
    fail "the guide says exit code $said for $name; the program gives $code ($(tail -2 "$claims/$name.out" | tr '\n' ' ' | head -c 200))"
  fi
done <<<"$stated"

# The limits, as the guide states them (kestrel-guide-facts gives the
# numbers BuildGuide.cmake put in), at their edges.
facts=$("$native/kestrel-guide-facts" 2>/dev/null)
fact() { sed -n "s/^$1=//p" <<<"$facts"; }
repeat() { printf "%$2s" "" | tr ' ' "$1"; } # repeat CHAR N
refused=$(fact FIRST_REFUSED_NAME)
unwritten=$(fact FIRST_UNWRITTEN_NAME_TODAY)
too_large=$(fact INTERVAL_TOO_LARGE)
largest="$(fact INTERVAL_MAX_MANTISSA)e$(fact INTERVAL_MAX_EXPONENT)"
if [[ -z "$refused" || -z "$unwritten" || -z "$too_large" ]]; then
  fail "kestrel-guide-facts gave no limits: [$facts]"
else
  grep -q "of $refused characters or more" <<<"$guide_text" || fail "the guide does not say that names of $refused characters or more are refused"
  # The vessel box: the longest name it takes, the first it refuses; the
  # interval box: the largest interval it takes, the first power of ten it
  # refuses.
  taken=$(repeat A $((refused - 1)))
  too_long=$(repeat B "$refused")
  cat >"$claims/boxes.json" <<EOF
{"clock_mjd": 61381.5, "vessels": [{"name": "$taken", "pitch_deg": [[0, 1]]}, {"name": "$too_long", "pitch_deg": [[0, 2]]}],
 "steps": [{"dt": 1, "count": 3}],
 "events": [{"step": 0, "open": "left", "width": 256, "height": 200},
  {"step": 1, "display": "left", "button": 1}, {"step": 1, "input": "$taken"},
  {"step": 1, "display": "left", "button": 1}, {"step": 1, "input": "$too_long"},
  {"step": 2, "display": "left", "button": 2}, {"step": 2, "input": "$largest"},
  {"step": 2, "display": "left", "button": 2}, {"step": 2, "input": "$too_large"}]}
EOF
  "$native/kestrel-host" run "$claims/boxes.json" --root "$claims/boxes" >"$claims/boxes.out" 2>&1
  refusals=$(sed -n '/^input refused:/,/^data files/p' "$claims/boxes.out" | grep '<-' | sed -E "s/^ *(.*) <- '(.)[^']*'.*/\1: \2/")
  expected=$(printf '%s\n' "Enter Vessel Name: B" "Enter Data Point Interval: ${too_large:0:1}")
  if [[ "$refusals" == "$expected" ]] && grep -q "^input refused: 2$" "$claims/boxes.out"; then
    pass "the vessel box takes a name of $((refused - 1)) characters and refuses one of $refused; the interval box takes $largest and refuses $too_large, as the guide says"
  else
    fail "the boxes' refusals are [$(echo $refusals)], the guide's limits give [$(echo $expected)] ($(head -c 300 "$claims/boxes.out" | tr '\n' ' '))"
  fi

  # A name from the focus: the longest one written with a nine-digit stamp,
  # and the first one not written.
  written=$(repeat C $((unwritten - 1)))
  not_written=$(repeat D "$unwritten")
  cat >"$claims/names.json" <<EOF
{"clock_mjd": 61381.5, "vessels": [{"name": "$written", "pitch_deg": [[0, 1]]}, {"name": "$not_written", "pitch_deg": [[0, 2]]}],
 "steps": [{"dt": 1, "count": 60}],
 "events": [{"step": 0, "open": "left", "width": 256, "height": 200},
  {"step": 0, "display": "left", "button": 0},
  {"step": 30, "focus": "$not_written"}, {"step": 30, "open": "right", "width": 256, "height": 200}]}
EOF
  "$native/kestrel-host" run "$claims/names.json" --root "$claims/names" >"$claims/names.out" 2>&1
  files=$(cd "$claims/names/KestrelScribeData" 2>/dev/null && ls)
  if [[ "$files" == "${written}"_?????????.txt ]] && (($(wc -l <"$claims/names/KestrelScribeData/$files") == 2)); then
    pass "a name of $((unwritten - 1)) characters from the focus is written (2 lines), one of $unwritten is not, as the guide says"
  else
    fail "names from the focus: the data files are [$(echo $files | cut -c1-120)...], the guide's limits give one of $((unwritten - 1)) characters with 2 lines"
  fi
fi

# ---- the guide in a browser ------------------------------------------------------------

echo "== package: the guide in headless Chromium, 800 pixels wide"
mapfile -t headings < <(grep -E '^#{1,2} ' guide/KestrelScribeMFD.md | sed -E 's/^#+ //')
/usr/bin/python3 scripts/guide-browser.py "$guide" "$work/guide.png" "KestrelScribeMFD $version" "${headings[@]}" \
  >"$work/browser.out" 2>&1
browser_code=$?
cat "$work/browser.out"
passed=$((passed + $(grep -c '^  ok ' "$work/browser.out")))
failed=$((failed + $(grep -c '^  FAIL ' "$work/browser.out")))
if ((browser_code != 0)) && ! grep -q '^  FAIL ' "$work/browser.out"; then
  fail "scripts/guide-browser.py ended with exit code $browser_code"
fi

finish
