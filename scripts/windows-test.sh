#!/usr/bin/env bash
# The Windows leg: builds the plug-in and kestrel-host for 32-bit Windows (the
# plug-in's true form) and 64-bit Windows with MinGW-w64, checks the DLLs'
# export and import tables, plays the example flight and the end-to-end
# flights under Wine and natively, and requires the same data files,
# scenario files, draw logs, SVG pictures and summaries from both. A BMP
# snapshot taken under Wine must show the display's texts in their colours.
#
# The 64-bit build runs under 64-bit Wine. The 32-bit build runs as well:
# every flight where Wine starts 32-bit programs natively; on a kernel
# without 32-bit support, through qemu's user-mode emulator, slowly (minutes
# per flight), so only the example ascent and the three-line flight. A run
# that does not finish in time under emulation is skipped with a message.
#
#   scripts/windows-test.sh            everything above
#   KESTREL_WINE32=0 ...               no 32-bit run through emulation
#   KESTREL_WINE32=1 ...               the emulated 32-bit run must happen
#   KESTREL_SKIP_DEPS=1 ...            without installing packages first
#   KESTREL_NATIVE_BUILD=DIR ...       the native side built in DIR, not build/default
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

if [[ "${KESTREL_SKIP_DEPS:-}" != 1 ]]; then
  scripts/install-deps.sh windows
fi

passed=0
failed=0
skipped=0
pass() { passed=$((passed + 1)); echo "  ok    $*"; }
fail() { failed=$((failed + 1)); echo "  FAIL  $*"; }
skip() { skipped=$((skipped + 1)); echo "  skip  $*"; }

echo "== windows: build (native, i686, x86_64)"
# The native side is the default preset's build; KESTREL_NATIVE_BUILD names
# another folder configured the same way instead.
native_build=${KESTREL_NATIVE_BUILD:-build/default}
if [[ -z "${KESTREL_NATIVE_BUILD:-}" ]]; then
  cmake --preset default >/dev/null
  cmake --build --preset default >/dev/null
else
  cmake -S . -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ >/dev/null
  cmake --build "$native_build" >/dev/null
fi
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
cmake --preset windows64 >/dev/null
cmake --build --preset windows64 >/dev/null

native_host=$native_build/bin/kestrel-host
work=build/windows64/test-runs
rm -rf "$work"
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

check_dll i686 i686-w64-mingw32-objdump pei-i386 '010b' build/windows/bin/KestrelScribeMFD.dll build/windows/bin/kestrel-host.exe
check_dll x86_64 x86_64-w64-mingw32-objdump pei-x86-64 '020b' build/windows64/bin/KestrelScribeMFD.dll build/windows64/bin/kestrel-host.exe

# Doubles on the 32-bit build go through SSE2, as on x86-64: every module
# source was compiled with -msse2 -mfpmath=sse.
compiled=$(grep -c '"command"' build/windows/compile_commands.json || true)
sse=$(grep '"command"' build/windows/compile_commands.json | grep -c -- '-msse2 -mfpmath=sse' || true)
if [[ "$compiled" -gt 0 && "$compiled" == "$sse" ]]; then
  pass "i686: all $compiled sources compiled with -msse2 -mfpmath=sse"
else
  fail "i686: only $sse of $compiled sources compiled with -msse2 -mfpmath=sse"
fi

# ---- running under Wine ------------------------------------------------------

export WINEDEBUG=-all
export WINEPREFIX="$repo/build/windows64/wineprefix"
wine64=/usr/lib/wine/wine64
[[ -x "$wine64" ]] || wine64=$(command -v wine64)
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "== windows: making the Wine prefix $WINEPREFIX (once; this takes a minute or two)"
  "$wine64" wineboot -i >/dev/null 2>&1 || true
fi
wineserver=/usr/lib/wine/wineserver
[[ -x "$wineserver" ]] || wineserver=$(command -v wineserver || echo true)
# Ends the processes of this prefix only (Wine keeps a few running after a program).
stop_wine() { "$wineserver" -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

# Wine maps the build machine's / to drive Z:.
winpath() { echo "Z:$1"; }

# run_flight SIDE FLIGHT NAME: plays FLIGHT into $work/SIDE/NAME; stdout,
# stderr and the exit code beside it.
run_flight() {
  local side=$1 flight=$2 name=$3 root="$repo/$work/$1/$3"
  local out="$repo/$work/$1/$3.out" err="$repo/$work/$1/$3.err" code=0
  mkdir -p "$(dirname "$root")"
  case "$side" in
  native) "$native_host" run "$flight" --root "$root" >"$out" 2>"$err" || code=$? ;;
  wine64) "$wine64" build/windows64/bin/kestrel-host.exe run "$(winpath "$flight")" --root "$(winpath "$root")" \
            >"$out" 2>"$err" || code=$? ;;
  wine32) timeout -k 5 900 wine build/windows/bin/kestrel-host.exe run "$(winpath "$flight")" --root "$(winpath "$root")" \
            >"$out" 2>"$err" || code=$? ;;
  esac
  echo "$code" >"$repo/$work/$1/$3.code"
}

# The summary from the steps line on, without CRs: the lines before name the
# flight's path and the module's file and build date, which differ.
summary() { tr -d '\r' <"$1" | sed -n '/^steps:/,$p'; }

# compare SIDE NAME: the run on SIDE against the native one.
compare() {
  local side=$1 name=$2 a="$work/native/$2" b="$work/$1/$2" problems=()
  local code_a code_b
  code_a=$(cat "$a.code")
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

# The flights: the example ascent and every end-to-end flight. The scenario
# restore reads saved.scn from its own folder: each side gets the one its own
# scenario-save run wrote.
flights=("examples/ascent/flight.json:ascent")
for f in tests/e2e/flights/*.json; do
  name=$(basename "$f" .json)
  [[ "$name" == scenario-restore ]] && continue
  flights+=("$f:$name")
done

play_all() { # SIDE
  local side=$1 entry
  for entry in "${flights[@]}"; do
    run_flight "$side" "$repo/${entry%%:*}" "${entry##*:}"
  done
  local restore="$repo/$work/$side-restore"
  mkdir -p "$restore"
  cp tests/e2e/flights/scenario-restore.json "$restore/"
  if [[ -f "$work/$side/scenario-save/saved.scn" ]]; then
    cp "$work/$side/scenario-save/saved.scn" "$restore/"
  fi
  run_flight "$side" "$restore/scenario-restore.json" scenario-restore
}

compare_all() { # SIDE
  local entry
  for entry in "${flights[@]}" "x:scenario-restore"; do
    compare "$1" "${entry##*:}"
  done
}

echo "== windows: flights natively and under 64-bit Wine (x86_64 build)"
play_all native
play_all wine64
compare_all wine64

# ---- a BMP snapshot under Wine -----------------------------------------------

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

echo "== windows: BMP snapshot under 64-bit Wine"
run_flight wine64 "$repo/tests/windows/flights/bmp-snapshot.json" bmp-snapshot
check_bmp "$work/wine64/bmp-snapshot/left.bmp"

# ---- the 32-bit build, where Wine can start it ---------------------------------

echo "== windows: flights under 32-bit Wine (i686 build)"

# Whether the kernel starts 32-bit programs by itself: Wine's own 32-bit
# loader is one.
native32() {
  [[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] && timeout -k 5 30 /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Hands 32-bit programs to qemu-i386-static (root only; once per boot).
emulate32() {
  [[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] && return 0
  [[ $(id -u) -eq 0 && -x /usr/bin/qemu-i386-static ]] || return 1
  [[ -e /proc/sys/fs/binfmt_misc/register ]] ||
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || return 1
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    >/proc/sys/fs/binfmt_misc/register 2>/dev/null
}

flights32=()
if native32; then
  flights32=("${flights[@]}")
elif [[ "${KESTREL_WINE32:-auto}" != 0 ]]; then
  if emulate32; then
    # Wine maps its shared data at a fixed address that qemu's default
    # layout of a 32-bit address space already uses; a 3.75 GB guest space
    # leaves it free. The 64-bit Wine server runs at full speed.
    export QEMU_RESERVED_VA=0xf0000000
    export WINESERVER=/usr/lib/wine/wineserver64
    flights32=("examples/ascent/flight.json:ascent" "tests/e2e/flights/three-lines.json:three-lines")
  elif [[ "${KESTREL_WINE32:-}" == 1 ]]; then
    fail "wine32: KESTREL_WINE32=1, but 32-bit programs cannot be handed to qemu-i386-static here (needs root, binfmt_misc and qemu-user-static)"
  fi
fi

if ((${#flights32[@]} > 0)); then
  stop_wine
  export WINEPREFIX="$repo/build/windows/wineprefix" WINEARCH=win32
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "== windows: making the 32-bit Wine prefix $WINEPREFIX (once; under emulation this takes several minutes)"
    timeout -k 5 900 wine wineboot -i >/dev/null 2>&1 || true
  fi
  for entry in "${flights32[@]}"; do
    run_flight wine32 "$repo/${entry%%:*}" "${entry##*:}"
    code=$(cat "$work/wine32/${entry##*:}.code")
    if [[ "$code" == 124 || "$code" == 137 ]]; then
      skip "wine32: ${entry##*:}: did not finish within 900 s under emulation"
    else
      compare wine32 "${entry##*:}"
    fi
  done
  stop_wine
else
  skip "wine32: this machine starts no 32-bit programs, natively or through qemu-i386-static; the i686 build is built and checked above"
fi

echo "windows: $passed passed, $failed failed, $skipped skipped"
((failed == 0))
