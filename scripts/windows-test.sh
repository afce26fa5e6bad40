#!/usr/bin/env bash
# The Windows leg: builds the plug-in and kestrel-host for 32-bit Windows (the
# plug-in's true form) and 64-bit Windows with MinGW-w64, checks the DLLs'
# export and import tables, plays the example flight and every end-to-end
# flight under Wine and natively, and requires the same exit codes, data
# files, scenario files, draw logs, SVG pictures and summaries from both. A
# BMP snapshot taken under Wine must show the display's texts in their colours.
#
#   scripts/windows-test.sh [PART...] [--flight NAME]... [--emulate]
#
# Parts (default: all three):
#   tables   both DLLs' format, exports, imports and build flags (objdump)
#   wine64   the x86_64 build under 64-bit Wine: every flight, and the BMP
#   wine32   the i686 build under 32-bit Wine: every flight
# --flight NAME plays only that flight (ascent is the example; the others are
# named after tests/e2e/flights/NAME.json; bmp-snapshot is the BMP check).
# --emulate runs the 32-bit part through qemu's user-mode emulator even where
# the kernel starts 32-bit programs itself (to check or time that path).
#
# The Windows builds play their flights with `kestrel-host batch`, one Wine
# start for all of them: each flight still runs as in a process of its own.
# The native records come from build/default's kestrel-host, one `run` per
# flight. Both Wine parts use one 64-bit Wine prefix (build/windows64/
# wineprefix), made by 64-bit Wine alone; 32-bit programs run in it through
# Wine's WoW64 side. Where the kernel cannot start 32-bit programs, they are
# handed to qemu-i386-static (binfmt_misc; root only): inside a namespace of
# their own where the kernel allows it, otherwise for the length of the run.
# Wine starts slowly there (a minute or more), then runs at a useful speed.
#
# Environment: KESTREL_SKIP_DEPS=1 installs nothing first;
# KESTREL_NATIVE_BUILD=DIR takes the native side from DIR, configured as the
# default preset, not from build/default.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

parts=()
only=()
emulate=0
while (($# > 0)); do
  case "$1" in
    tables|wine64|wine32) parts+=("$1"); shift ;;
    --flight) only+=("${2:?windows-test.sh: --flight needs a name}"); shift 2 ;;
    --emulate) emulate=1; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "windows-test.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
((${#parts[@]} > 0)) || parts=(tables wine64 wine32)
wants() { [[ " ${parts[*]} " == *" $1 "* ]]; }

if [[ "${KESTREL_SKIP_DEPS:-}" != 1 ]]; then
  if wants wine32; then scripts/install-deps.sh wine32; else scripts/install-deps.sh windows; fi
fi

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "  ok    $*"; }
fail() { failed=$((failed + 1)); echo "  FAIL  $*"; }

# ---- builds ------------------------------------------------------------------

# The prefix, stop_wine, winpath and getting 32-bit programs going.
source scripts/wine.sh

echo "== windows: build (native, i686, x86_64)"
# The native side is the default preset's build; KESTREL_NATIVE_BUILD names
# another folder configured the same way instead.
native_build=${KESTREL_NATIVE_BUILD:-build/default}
if [[ -z "${KESTREL_NATIVE_BUILD:-}" ]]; then
  cmake --preset default >/dev/null
else
  cmake -S . -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ >/dev/null
fi
cmake --build "$native_build" --target kestrel-host KestrelScribeMFD >/dev/null
# Of each Windows build only what its checks use: the DLL and the
# kestrel-host.exe it links against, and on x86_64 kestrel-records.exe too,
# whose watch runs under 64-bit Wine. The i686 kestrel-records.exe is built
# by the package (scripts/package.sh, the full tier's package stage).
# The Wine prefix the flights need is made meanwhile: making it mostly
# waits on Wine's own processes (about 10 s), which the compiling does not.
prefix_maker=""
if wants wine64 || wants wine32; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  make_prefix &
  prefix_maker=$!
fi
if wants tables || wants wine32; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target KestrelScribeMFD kestrel-host >/dev/null
fi
if wants tables || wants wine64; then
  cmake --preset windows64 >/dev/null
  cmake --build --preset windows64 --target KestrelScribeMFD kestrel-host kestrel-records >/dev/null
fi
[[ -z "$prefix_maker" ]] || wait "$prefix_maker" || true

native_host=$native_build/bin/kestrel-host
work=build/windows-test
mkdir -p "$work"

# ---- the DLLs themselves -----------------------------------------------------

# The host operations the module imports from kestrel-host.exe (C++ names, so
# matched inside their decorated forms) and the MFD members it uses.
host_imports=(oapiRegisterMFDMode oapiUnregisterMFDMode InitLib Date2Int oapiGetFocusObject oapiGetObjectName
  oapiGetObjectByName oapiGetPitch oapiGetSysMJD oapiOpenFile oapiWriteLine oapiCloseFile oapiOpenInputBox
  oapiWriteScenario_int oapiWriteScenario_string oapiReadScenario_nextline
  _ZN3MFDC _ZN3MFDD _ZNK3MFD5Title _ZNK3MFD17SelectDefaultFont _ZN3MFD17InvalidateDisplay)

# imports_of DUMP DLLNAME: the names imported from DLLNAME (case-insensitive).
imports_of() {
  awk -v want="$2" '
    /^\tDLL Name: / { name = tolower($3); inside = (name == tolower(want)); next }
    inside && /^\tvma:/ { next }
    inside && NF == 0 { inside = 0; next }
    inside { print $NF }' "$1"
}

check_dll() { # ARCH OBJDUMP FORMAT MAGIC DLL HOSTEXE
  local arch=$1 objdump=$2 format=$3 magic=$4 dll=$5 exe=$6
  local dump="$work/$arch-dll.txt" exe_dump="$work/$arch-exe.txt"
  echo "== windows: $arch: $dll"
  if [[ ! -f "$dll" || ! -f "$exe" ]]; then
    fail "$arch: $dll or $exe was not built"
    return
  fi
  "$objdump" -p "$dll" >"$dump"
  "$objdump" -p "$exe" >"$exe_dump"

  if grep -q "file format $format" "$dump" && grep -Eq "^Magic[[:space:]]+$magic" "$dump"; then
    pass "$arch: $format, $(grep -E '^Magic' "$dump" | tr -s '\t ' ' ')"
  else
    fail "$arch: expected file format $format and Magic $magic; objdump says: $(grep -E 'file format|^Magic' "$dump" | tr '\n\t' '  ')"
  fi

  local exports expected
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$dump" | awk '/\[ *[0-9]+\]/ { print $NF }' | sort)
  expected=$(printf '%s\n' ExitModule GetModuleVersion InitModule ModuleDate opcPreStep | sort)
  if [[ "$exports" == "$expected" ]]; then
    pass "$arch: exports exactly $(echo $exports)"
  else
    fail "$arch: exports differ: expected [$(echo $expected)], found [$(echo $exports)]"
  fi

  local gdi kernel host missing=()
  gdi=$(imports_of "$dump" gdi32.dll)
  kernel=$(imports_of "$dump" kernel32.dll)
  host=$(imports_of "$dump" kestrel-host.exe)
  for f in SetTextColor TextOutA; do grep -qx "$f" <<<"$gdi" || missing+=("gdi32.dll:$f"); done
  for f in CreateDirectoryA GetProcAddress; do grep -qx "$f" <<<"$kernel" || missing+=("kernel32.dll:$f"); done
  for f in "${host_imports[@]}"; do grep -q -- "$f" <<<"$host" || missing+=("kestrel-host.exe:$f"); done
  if ((${#missing[@]} == 0)); then
    pass "$arch: imports SetTextColor, TextOutA (gdi32), CreateDirectoryA, GetProcAddress (kernel32), $(wc -l <<<"$host") host operations (kestrel-host.exe)"
  else
    fail "$arch: missing imports: ${missing[*]}"
  fi

  # Static runtime: neither file needs a MinGW DLL beside it.
  local runtime
  runtime=$( (grep -hoiE 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)[^ ]*' "$dump" "$exe_dump" || true) | sort -u | tr '\n' ' ')
  if [[ -z "$runtime" ]]; then
    pass "$arch: C and C++ runtimes linked in (no MinGW DLLs imported)"
  else
    fail "$arch: imports runtime DLLs: $runtime"
  fi
}

part_tables() {
  check_dll i686 i686-w64-mingw32-objdump pei-i386 '010b' build/windows/bin/KestrelScribeMFD.dll build/windows/bin/kestrel-host.exe
  check_dll x86_64 x86_64-w64-mingw32-objdump pei-x86-64 '020b' build/windows64/bin/KestrelScribeMFD.dll build/windows64/bin/kestrel-host.exe

  # Doubles on the 32-bit build go through SSE2, as on x86-64: every module
  # source was compiled with -msse2 -mfpmath=sse.
  local compiled sse
  compiled=$(grep -c '"command"' build/windows/compile_commands.json || true)
  sse=$(grep '"command"' build/windows/compile_commands.json | grep -c -- '-msse2 -mfpmath=sse' || true)
  if [[ "$compiled" -gt 0 && "$compiled" == "$sse" ]]; then
    pass "i686: all $compiled sources compiled with -msse2 -mfpmath=sse"
  else
    fail "i686: only $sse of $compiled sources compiled with -msse2 -mfpmath=sse"
  fi
}

# ---- flights: natively and under Wine ----------------------------------------

# The flights: the example ascent and every end-to-end flight, NAME:PATH.
# scenario-restore reads saved.scn from its own folder, and comes last: each
# side's copy of it reads the scenario the native scenario-save run wrote
# (every side's own saved.scn is compared with that one byte for byte).
flights=("ascent:examples/ascent/flight.json")
for f in tests/e2e/flights/*.json; do
  name=$(basename "$f" .json)
  [[ "$name" == scenario-restore ]] || flights+=("$name:$f")
done
flights+=("scenario-restore:restore/scenario-restore.json")
# The Windows rows, played by the Windows builds only: flights of
# tests/windows/flights/, each with the exit code it must give and a line its
# messages or summary must hold. Paths as Windows finds names (refused before
# the first step), and two names Windows folds into one data file (listed
# once). NAME|EXIT|TEXT
rows=(
  "escape-trailing-dot|2|events[0] (step 1).save: 'KestrelScribeData./x.scn' lies in the data folder KestrelScribeData"
  "escape-trailing-blank|2|events[0] (step 1).save: 'KestrelScribeData /x.scn' lies in the data folder KestrelScribeData"
  "escape-case|2|events[0] (step 1).save: 'kestrelscribedata/x.scn' lies in the data folder KestrelScribeData"
  "escape-device|2|events[0] (step 1).save: 'CON.scn' names the device CON"
  "escape-device-extension|2|events[0] (step 1).save: 'shots/nul.txt.scn' names the device nul"
  "escape-stream|2|events[0] (step 1).save: 'KestrelScribeData:x.scn' holds the character ':'"
  "folded-names|0|data files written: 1"
)
if ((${#only[@]} > 0)); then
  chosen=()
  for name in "${only[@]}"; do
    [[ "$name" != bmp-snapshot ]] || continue # the BMP check below, under 64-bit Wine
    [[ " ${rows[*]%%|*} " != *" $name "* ]] || continue # a Windows row
    found=""
    for entry in "${flights[@]}"; do
      [[ "${entry%%:*}" == "$name" ]] && found=$entry
    done
    if [[ -z "$found" ]]; then
      echo "windows-test.sh: no flight '$name' (flights: $(for e in "${flights[@]}"; do printf '%s ' "${e%%:*}"; done))" >&2
      exit 2
    fi
    chosen+=("$found")
  done
  flights=(${chosen[@]+"${chosen[@]}"})
  chosen=()
  for row in "${rows[@]}"; do
    [[ " ${only[*]} " != *" ${row%%|*} "* ]] || chosen+=("$row")
  done
  rows=(${chosen[@]+"${chosen[@]}"})
fi

# The restore flight's folder, with the native scenario-save run's saved.scn.
restore_folder() {
  local folder="$repo/$work/restore"
  rm -rf "$folder"
  mkdir -p "$folder"
  cp tests/e2e/flights/scenario-restore.json "$folder/"
  [[ ! -f "$work/native/scenario-save/saved.scn" ]] || cp "$work/native/scenario-save/saved.scn" "$folder/"
}
flight_path() { # NAME:PATH -> absolute path
  local path=${1#*:}
  if [[ "$path" == restore/* ]]; then echo "$repo/$work/$path"; else echo "$repo/$path"; fi
}

# Plays every flight natively, one process each, into $work/native/NAME
# (stdout, stderr and exit code in NAME.out, NAME.err, NAME.code). The
# restore flight needs the scenario-save run first.
native_done=0
play_native() {
  ((native_done)) && return
  native_done=1
  rm -rf "$work/native"
  mkdir -p "$work/native"
  local entry name code
  local needed=(${flights[@]+"${flights[@]}"})
  ((${#needed[@]} > 0)) || return 0
  if [[ " ${needed[*]} " == *" scenario-restore:"* && " ${needed[*]} " != *" scenario-save:"* ]]; then
    needed=("scenario-save:tests/e2e/flights/scenario-save.json" "${needed[@]}")
  fi
  for entry in "${needed[@]}"; do
    name=${entry%%:*}
    [[ "$name" != scenario-restore ]] || restore_folder
    code=0
    "$native_host" run "$(flight_path "$entry")" --root "$repo/$work/native/$name" \
      >"$work/native/$name.out" 2>"$work/native/$name.err" || code=$?
    echo "$code" >"$work/native/$name.code"
  done
}

# The batch list for SIDE: every flight, rooted in $work/SIDE/NAME.
batch_list() { # SIDE
  local side=$1 list="$repo/$work/$1.list" entry
  rm -rf "$work/$side"
  mkdir -p "$work/$side"
  : >"$list"
  for entry in ${flights[@]+"${flights[@]}"}; do
    printf '%s\t%s\n' "$(winpath "$(flight_path "$entry")")" "$(winpath "$repo/$work/$side/${entry%%:*}")" >>"$list"
  done
  for entry in ${rows[@]+"${rows[@]}"}; do
    printf '%s\t%s\n' "$(winpath "$repo/tests/windows/flights/${entry%%|*}.json")" "$(winpath "$repo/$work/$side/${entry%%|*}")" >>"$list"
  done
  echo "$list"
}

# The summary from the steps line on, without CRs: the lines before name the
# flight's path and the module's file and build date, which differ.
summary() { tr -d '\r' <"$1" | sed -n '/^steps:/,$p'; }

# compare SIDE NAME: the run on SIDE against the native one.
compare() {
  local side=$1 name=$2 a="$work/native/$2" b="$work/$1/$2" problems=()
  local code_a code_b
  code_a=$(cat "$a.code")
  if [[ ! -f "$b.code" ]]; then
    fail "$side: $name: no exit code: the run stopped before this flight ended (see $work/$side.log)"
    return
  fi
  code_b=$(cat "$b.code")
  if [[ "$code_a" != "$code_b" ]]; then
    problems+=("exit code $code_b, natively $code_a ($(tr -d '\r' <"$b.err" | head -c 300))")
  fi
  local files_a files_b
  files_a=$( (cd "$a" 2>/dev/null && find . -type f | sort) || true)
  files_b=$( (cd "$b" 2>/dev/null && find . -type f | sort) || true)
  if [[ "$files_a" != "$files_b" ]]; then
    problems+=("files differ: [$(echo $files_b)], natively [$(echo $files_a)]")
  fi
  local f count=0
  while IFS= read -r f; do
    [[ -n "$f" && -f "$b/$f" ]] || continue
    count=$((count + 1))
    if ! cmp -s "$a/$f" "$b/$f"; then
      problems+=("$f differs: $( (diff "$a/$f" "$b/$f" || true) | head -4 | tr '\n' ' ')")
    fi
  done <<<"$files_a"
  if [[ "$code_a" == 0 ]] && ! diff -q <(summary "$a.out") <(summary "$b.out") >/dev/null; then
    problems+=("summaries differ: $( (diff <(summary "$a.out") <(summary "$b.out") || true) | head -6 | tr '\n' ' ')")
  fi
  if ((${#problems[@]} == 0)); then
    pass "$side: $name: exit $code_b, $count file(s) identical to the native run$( [[ $code_a == 0 ]] && echo ', same summary')"
  else
    fail "$side: $name: ${problems[*]}"
  fi
}

compare_all() { # SIDE
  local entry
  for entry in ${flights[@]+"${flights[@]}"}; do
    compare "$1" "${entry%%:*}"
  done
  check_rows "$1"
}

# check_rows SIDE: each Windows row's exit code and text.
check_rows() {
  local side=$1 row name code text base got
  for row in ${rows[@]+"${rows[@]}"}; do
    IFS='|' read -r name code text <<<"$row"
    base="$work/$side/$name"
    if [[ ! -f "$base.code" ]]; then
      fail "$side: $name: no exit code: the run stopped before this flight ended (see $work/$side.log)"
      continue
    fi
    got=$(tr -d '\r' <"$base.code")
    if [[ "$got" == "$code" ]] && cat "$base.err" "$base.out" | tr -d '\r' | grep -qF -- "$text"; then
      pass "$side: $name: exit $got, \"$text\""
    else
      fail "$side: $name: exit $got (expected $code), without \"$text\": $(tr -d '\r' <"$base.err" | head -c 300)"
    fi
  done
}

# ---- Wine --------------------------------------------------------------------

# run_windows SIDE EXE [RUNNER...]: plays every flight with EXE's batch
# command under Wine; the batch's own lines go to $work/SIDE.log.
run_windows() {
  local side=$1 exe=$2
  shift 2
  ((${#flights[@]} + ${#rows[@]} > 0)) || return 0
  local list
  list=$(batch_list "$side")
  local code=0
  "$@" "$wine64" "$exe" batch "$(winpath "$list")" >"$work/$side.log" 2>&1 || code=$?
  if ((code != 0)); then
    echo "  the batch ended with exit code $code; its last lines:"
    tail -5 "$work/$side.log" | tr -d '\r' | sed 's/^/    /'
  fi
}

# tests/windows/flights/bmp-snapshot.json: a 256 x 200 display, char cell
# 8 x 10, recording on. Text rows (x = 4) with their tops at ch x 2.7 = 27,
# 6 x ch = 60, ch x 9.3 = 93 (labels, green 0x33FF33) and ch x 3.7 = 37,
# 7 x ch = 70, ch x 10.3 = 103, 200 - 6 x 10 - 2 = 138, 200 - 5 x 10 - 2 = 148
# (values, yellow 0x33FFFF); the title at ch / 4 = 2 in white. Each text
# stays within its 10-pixel cell, so every pixel of a colour lies in one of
# that colour's rows, and each row has pixels.
check_bmp() {
  # The display sits in its bezel: a grey (0x303030) column 5 x 8 = 40 pixels
  # wide on each side (x 0-39 and 296-335), the labels REC, VES and INT in
  # white in the left one, their tops at 200 x 1/12 - 5 = 11,
  # 200 x 3/12 - 5 = 45 and 200 x 5/12 - 5 = 78.
  local bmp=$1
  if [[ ! -f "$bmp" ]]; then
    fail "wine64: bmp-snapshot: no left.bmp ($(tr -d '\r' <"$work/wine64/bmp-snapshot.err" | head -c 300))"
    return
  fi
  local header
  header=$(od -An -v -tu4 -j 2 -N 4 "$bmp" | tr -d ' ')-$(od -An -v -tu4 -j 10 -N 4 "$bmp" | tr -d ' ')-$(od -An -v -td4 -j 18 -N 8 "$bmp" | tr -s ' ' | sed 's/^ //')-$(od -An -v -tu2 -j 28 -N 2 "$bmp" | tr -d ' ')
  # File size 54 + 336 x 200 x 4 = 268854, pixels at 54, 336 x 200, 32 bits.
  if [[ "$(head -c 2 "$bmp")" != BM || "$header" != "268854-54-336 200-32" || "$(stat -c %s "$bmp")" != 268854 ]]; then
    fail "wine64: bmp-snapshot: expected a BM file of 268854 bytes, pixels at 54, 336 x 200, 32 bits; found $(head -c 2 "$bmp") $header, $(stat -c %s "$bmp") bytes"
    return
  fi
  # One 32-bit pixel per line, 0x00RRGGBB, bottom row first.
  local verdict
  verdict=$(od -An -v -tx4 -w4 -j 54 "$bmp" | awk -v width=336 -v height=200 -v left=40 -v right=296 '
    function band(y, tops,   n, i, t) {
      n = split(tops, t, " ")
      for (i = 1; i <= n; ++i) if (y >= t[i] && y < t[i] + 10) return t[i]
      return -1
    }
    {
      y = height - 1 - int((NR - 1) / width)
      x = (NR - 1) % width
      p = $1
      if (x < left || x >= right) {
        if (p == "00303030") next
        if (p == "00ffffff" && x < left) { b = band(y, "11 45 78"); if (b < 0) ++stray; else ++label[b]; next }
        ++other; next
      }
      if (p == "00000000") { ++black; next }
      if (p == "0033ff33") { b = band(y, "27 60 93"); if (b < 0) ++stray; else ++green[b]; next }
      if (p == "00ffff33") { b = band(y, "37 70 103 138 148"); if (b < 0) ++stray; else ++yellow[b]; next }
      if (p == "00ffffff") { if (band(y, "2") < 0) ++stray; else ++white; next }
      ++other
    }
    END {
      msg = ""
      if (black == (right - left) * height) msg = msg " all black;"
      split("11 45 78", l, " "); for (i in l) if (label[l[i]] == 0) msg = msg " no label in the bezel at y=" l[i] ";"
      split("27 60 93", g, " "); for (i in g) if (green[g[i]] == 0) msg = msg " no green in the row at y=" g[i] ";"
      split("37 70 103 138 148", v, " "); for (i in v) if (yellow[v[i]] == 0) msg = msg " no yellow in the row at y=" v[i] ";"
      if (white == 0) msg = msg " no white title;"
      if (stray > 0) msg = msg " " stray " coloured pixel(s) outside their rows;"
      if (other > 0) msg = msg " " other " pixel(s) of other colours;"
      total = 0; for (k in green) total += green[k]; gt = total
      total = 0; for (k in yellow) total += yellow[k]; yt = total
      print (msg == "" ? "ok " gt " green, " yt " yellow, " white " white pixels" : "bad" msg)
    }')
  if [[ "$verdict" == ok* ]]; then
    pass "wine64: bmp-snapshot: 336 x 200 BMP (256 x 200 display in its bezel), ${verdict#ok }, each in its text's rows"
  else
    fail "wine64: bmp-snapshot: ${verdict#bad }"
  fi
}

part_wine64() {
  echo "== windows: every flight under 64-bit Wine (x86_64 build) against the native runs"
  make_prefix
  run_windows wine64 build/windows64/bin/kestrel-host.exe
  compare_all wine64

  if ((${#only[@]} == 0)) || [[ " ${only[*]} " == *" bmp-snapshot "* ]]; then
    echo "== windows: BMP snapshot under 64-bit Wine"
    local root="$repo/$work/wine64/bmp-snapshot"
    mkdir -p "$work/wine64"
    "$wine64" build/windows64/bin/kestrel-host.exe run "$(winpath "$repo/tests/windows/flights/bmp-snapshot.json")" \
      --root "$(winpath "$root")" >"$root.out" 2>"$root.err" || true
    check_bmp "$work/wine64/bmp-snapshot/left.bmp"
  fi
  if ((${#only[@]} == 0)); then
    echo "== windows: kestrel-records.exe watch under 64-bit Wine"
    check_watch
  fi
}

# kestrel-records.exe watch under 64-bit Wine: its help, a free port, the
# file list fetched with curl, a file written after it started listed
# within a second (Windows: polling), and Ctrl-C ending it with one line.
check_watch() {
  local dir="$repo/$work/wine64/watch"
  rm -rf "$dir"
  mkdir -p "$dir/KestrelScribeData"
  printf '0.0=pitch(5.00, 7.50, 10.0)\n10.0=pitch(7.50, 8.00, 10.0)\n' >"$dir/KestrelScribeData/Kestrel_613815000.txt"
  if "$wine64" build/windows64/bin/kestrel-records.exe help watch 2>&1 | tr -d '\r' | grep -q '^Usage: kestrel-records watch '; then
    pass "wine64: kestrel-records.exe help watch explains it"
  else
    fail "wine64: kestrel-records.exe help watch: no usage line"
  fi
  (cd "$dir" && exec "$wine64" "$repo/build/windows64/bin/kestrel-records.exe" watch --port 0 >"$dir/out" 2>"$dir/err") &
  local pid=$! url="" i
  for i in $(seq 200); do
    url=$(tr -d '\r' <"$dir/out" | grep -o 'http://127\.0\.0\.1:[0-9]*/' || true)
    [[ -n "$url" ]] && break
    sleep 0.1
  done
  local list="" later=""
  if [[ -n "$url" ]]; then
    list=$(curl -s -m 10 "${url}api/files" || true)
    printf '20.0=pitch(8.00, 9.00, 10.0)\n' >"$dir/KestrelScribeData/Kestrel_613815001.txt"
    sleep 1
    later=$(curl -s -m 10 "${url}api/files" || true)
  fi
  kill -INT "$pid" 2>/dev/null || true
  for i in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
  if [[ "$list" == *'"name":"Kestrel_613815000.txt"'*'"lines":2'* || "$list" == *'"lines":2'*'"name":"Kestrel_613815000.txt"'* ]] &&
    [[ "$later" == *'"name":"Kestrel_613815001.txt"'* ]]; then
    pass "wine64: kestrel-records.exe watch --port 0 serves the file list at $url (2 lines), and a file written later within a second"
  else
    fail "wine64: kestrel-records.exe watch: url [$url], list [${list:0:300}], later [${later:0:300}], $(tr -d '\r' <"$dir/err" | head -c 300)"
  fi
  if [[ $(tr -d '\r' <"$dir/out" | grep -c .) == 2 ]] && tr -d '\r' <"$dir/out" | tail -1 | grep -q 'watch ended'; then
    pass "wine64: Ctrl-C ends kestrel-records.exe watch with one line"
  else
    fail "wine64: kestrel-records.exe watch after Ctrl-C printed: $(tr -d '\r' <"$dir/out" | head -c 300)"
  fi
}

part_wine32() {
  echo "== windows: every flight under 32-bit Wine (i686 build) against the native runs"
  if ! wine32_start "$emulate"; then
    fail "wine32: $wine32_problem"
    return
  fi
  echo "  $wine32_how"
  local start=$SECONDS
  run_windows wine32 build/windows/bin/kestrel-host.exe timeout -k 10 1800 nice -n 10 ${wine32_runner[@]+"${wine32_runner[@]}"}
  echo "  the i686 batch took $((SECONDS - start)) s"
  compare_all wine32
  wine32_stop
}

# ---- the run -----------------------------------------------------------------

if wants tables; then
  echo "== windows: the DLLs"
  part_tables
fi
if wants wine64 || wants wine32; then
  echo "== windows: every flight natively (the records to match)"
  play_native
fi
if wants wine64; then part_wine64; fi
if wants wine32; then part_wine32; fi

echo "windows: $passed passed, $failed failed"
((failed == 0))
