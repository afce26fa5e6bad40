#!/usr/bin/env bash
# Checks the release package as a user gets it, and its guide against the
# program:
#   - scripts/package.sh builds it from scratch twice (build/package and the
#     zip removed in between): both zips must be the same bytes;
#   - unpacked, it holds exactly its files, SHA256SUMS matches them, its
#     .txt files have Windows line ends (the repository's copies LF), the
#     DLL is PE32 i386 with exactly the five entry points and the imports
#     the guide and the README name; the DLL and both programs carry a
#     version resource and the version of module/Version.h; the Windows
#     programs' help gives Windows names; the flight-file reference holds
#     every key and action of kestrel-host/README.md's; no file of the
#     module outside host/ declares anything of the host;
#   - the one command of README.txt (the guide's too) flies the example in
#     the unpacked folder under 32-bit Wine (through qemu where the kernel
#     starts no 32-bit programs): its data file, the display's picture and
#     the chart must be those of the native build's run, byte for byte; in
#     the same Wine start, kestrel-records.exe writes to NUL, keeping its
#     scratch file in the temporary folder %TMP% names;
#   - every exit code the guide states, and its limits on names and
#     intervals and the place of its rows, hold for the native build's
#     programs;
#   - headless Chromium shows the guide and the flight-file reference 800
#     pixels wide: the guide's pictures loaded, nothing wider than the
#     window, their titles and headings; a picture of each page is kept in
#     build/package-test/guide.png and flight-files.png.
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
  SHA256SUMS examples/ascent/flight.json flight-files.html examples/ascent/start.scn kestrel-host.exe kestrel-records.exe | LC_ALL=C sort)
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

license_lines=$(wc -l <LICENSE)
if [[ -f "$unpacked/LICENSE.txt" ]] && cmp -s <(tr -d '\r' <"$unpacked/LICENSE.txt" | head -n "$license_lines") LICENSE &&
   grep -q '^MIT License$' LICENSE && grep -q '^Copyright (c) 2022 Leon Sorokin' "$unpacked/LICENSE.txt" &&
   grep -q '^Copyright (c) 2017 yhirose' "$unpacked/LICENSE.txt"; then
  pass "LICENSE.txt is the repository's LICENSE, the MIT licence, then uPlot's and cpp-httplib's notices"
else
  fail "LICENSE.txt is not the repository's MIT LICENSE followed by uPlot's and cpp-httplib's notices"
fi

# The texts a pilot opens in Notepad: every line ended by CR LF, no CR
# elsewhere; their sources in the repository with LF alone.
for text in README.txt CHANGES.txt LICENSE.txt; do
  file="$unpacked/$text"
  [[ -f "$file" ]] || continue
  lines=$(tr -cd '\n' <"$file" | wc -c)
  crlf=$(grep -c $'\r$' "$file")
  crs=$(tr -cd '\r' <"$file" | wc -c)
  if ((lines > 0 && crlf == lines && crs == lines)) && [[ $(tail -c 2 "$file" | od -An -c | tr -d ' ') == '\r\n' ]]; then
    pass "$text: each of its $lines lines ends with CR LF"
  else
    fail "$text: $lines lines, $crlf of them ending with CR LF, $crs CRs in all"
  fi
done
if grep -lq $'\r' package/README.txt.in package/CHANGES.txt LICENSE; then
  fail "the repository's texts have CRs: $(grep -l $'\r' package/README.txt.in package/CHANGES.txt LICENSE | tr '\n' ' ')"
else
  pass "the repository's README.txt.in, CHANGES.txt and LICENSE keep LF line ends"
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
  # The rest, as the README lists them: gdi32 for the two drawing calls;
  # kernel32 for the module's folder and export lookup, and for the C++
  # runtime linked in; msvcrt, Windows' own C library; no other DLL.
  imports_from() {
    awk -v dll="$1" '/^\tDLL Name: / { inside = (tolower($3) == dll); next }
                     inside && NF == 0 { inside = 0 } inside && !/^\tvma:/ { print $NF }' <<<"$dump" | sort
  }
  dlls=$(awk '/^\tDLL Name: / { print tolower($3) }' <<<"$dump" | sort -u | tr '\n' ' ')
  from_gdi=$(imports_from gdi32.dll | tr '\n' ' ')
  from_kernel=$(imports_from kernel32.dll)
  if [[ "$dlls" == "gdi32.dll kernel32.dll kestrel-host.exe msvcrt.dll " && "$from_gdi" == "SetTextColor TextOutA " ]] &&
     grep -qx CreateDirectoryA <<<"$from_kernel" && grep -qx GetProcAddress <<<"$from_kernel"; then
    pass "the DLL imports from kestrel-host.exe, gdi32 (SetTextColor, TextOutA), kernel32 ($(wc -l <<<"$from_kernel"), CreateDirectoryA and GetProcAddress among them) and msvcrt ($(imports_from msvcrt.dll | wc -l)) alone"
  else
    fail "the DLL imports from [$dlls], from gdi32 [$from_gdi], from kernel32 [$(echo $from_kernel | head -c 200)]"
  fi
fi

# version_resource FILE: the version resource of a Windows program or DLL,
# read as Windows reads it (VS_VERSIONINFO: the fixed part, then the
# strings), one NAME=VALUE a line; nothing when it has none.
version_resource() {
  /usr/bin/python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
key = "VS_VERSION_INFO\0".encode("utf-16-le")
at = data.find(key) - 6
if at < 0:
    sys.exit(0)
align = lambda x: (x + 3) & ~3
def block(at):
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + 6
    while data[end:end + 2] != b"\0\0":
        end += 2
    name = data[at + 6:end].decode("utf-16-le")
    start = align(end + 2)
    value = data[start:start + (2 * value_length if kind == 1 else value_length)]
    children, inside = [], align(start + len(value))
    while inside < at + length:
        child, size = block(inside)
        children.append(child)
        inside = align(inside + size)
    return (name, kind, value, children), length
(name, kind, fixed, children), _ = block(at)
signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
print("Signature=0x%08X" % signature)
print("FixedFileVersion=%d.%d.%d.%d" % (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF))
print("FixedProductVersion=%d.%d.%d.%d" % (product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF))
print("FileType=%d" % struct.unpack_from("<I", fixed, 36))
for child in children:
    if child[0] == "StringFileInfo":
        for table in child[3]:
            for text in table[3]:
                print("%s=%s" % (text[0], text[2].decode("utf-16-le").rstrip("\0")))
EOF
}

major=$(sed -n 's/^#define KESTREL_VERSION_MAJOR \([0-9]*\)$/\1/p' module/Version.h)
minor=$(sed -n 's/^#define KESTREL_VERSION_MINOR \([0-9]*\)$/\1/p' module/Version.h)
# Windows' file types: VFT_APP 1, VFT_DLL 2.
for file in KestrelScribeMFD.dll kestrel-host.exe kestrel-records.exe; do
  [[ -f "$unpacked/$file" ]] || continue
  resource=$(version_resource "$unpacked/$file" 2>&1)
  value() { sed -n "s/^$1=//p" <<<"$resource"; }
  type=1
  [[ "$file" != *.dll ]] || type=2
  if [[ "$(value Signature)" == 0xFEEF04BD && "$(value FixedFileVersion)" == "$major.$minor.0.0" &&
        "$(value FixedProductVersion)" == "$major.$minor.0.0" && "$(value FileType)" == "$type" &&
        "$(value FileVersion)" == "$version" && "$(value ProductVersion)" == "$version" &&
        "$(value ProductName)" == KestrelScribeMFD && "$(value OriginalFilename)" == "$file" &&
        -n "$(value FileDescription)" ]]; then
    pass "$file carries a version resource: $major.$minor.0.0, FileVersion $version, OriginalFilename $file, \"$(value FileDescription)\""
  else
    fail "$file's version resource is not that of $file $version (module/Version.h): [$(echo $resource | head -c 300)]"
  fi
done

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

# The Windows programs' help texts, as compiled into them: Windows names for
# a device and a pipe, none of the build machine's; kestrel-host's names the
# flight-file reference where the package holds it.
records_help=$(strings -a "$unpacked/kestrel-records.exe" 2>/dev/null | grep -F 'The output: ')
host_help=$(strings -a "$unpacked/kestrel-host.exe" 2>/dev/null | grep -A1 -F 'Flight files: their keys')
if grep -qF '(NUL, CON, ' <<<"$records_help" && ! grep -q '/dev/' <<<"$records_help" &&
   ! strings -a "$unpacked/kestrel-records.exe" | grep -qE '/dev/(null|stdout)'; then
  pass "kestrel-records.exe's help names NUL and CON, no /dev/ file"
else
  fail "kestrel-records.exe's help: [$records_help]"
fi
if grep -qF 'flight-files.html' <<<"$host_help" && [[ -f "$unpacked/flight-files.html" ]] && ! grep -q 'README.md' <<<"$host_help"; then
  pass "kestrel-host.exe's help names flight-files.html, which the zip holds"
else
  fail "kestrel-host.exe's help names the flight-file reference as [$(echo $host_help)]"
fi

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

# The flight-file reference: one HTML file again, with the first cell of each
# row of kestrel-host/README.md's tables of the flight file (its keys and
# actions), word for word.
reference="$unpacked/flight-files.html"
if [[ -f "$reference" ]]; then
  words() { python3 -c 'import html, re, sys; print(re.sub(r"\s+", " ", html.unescape(re.sub(r"<[^>]*>", "", sys.stdin.read()))))'; }
  reference_text=$(words <"$reference")
  mapfile -t rows < <(/usr/bin/python3 - <<'EOF'
import re
text = open("kestrel-host/README.md", encoding="utf-8").read()
part = text[text.index("\n## The flight file\n"):text.index("\n## Outputs\n")]
for line in part.splitlines():
    cells = re.split(r"(?<!\\)\|", line)
    if len(cells) > 2 and cells[1].strip().startswith("`"):
        print(re.sub(r"\s+", " ", cells[1].replace("\\|", "|").replace("`", "")).strip())
EOF
)
  absent=()
  for row in "${rows[@]}"; do
    grep -qF -- "$row" <<<"$reference_text" || absent+=("$row")
  done
  outside=$(grep -o -E '(src|href)="(https?:|file:|[^"#d][^"]*\.(svg|png|css|js)")' "$reference" | head -3 | tr '\n' ' ')
  if ((${#rows[@]} >= 20 && ${#absent[@]} == 0)) && [[ -z "$outside" ]] && grep -q '<h2 id="outputs">Outputs</h2>' "$reference"; then
    pass "flight-files.html, one HTML file, holds the ${#rows[@]} keys and actions of kestrel-host/README.md's flight file, and its outputs"
  else
    fail "flight-files.html: ${#rows[@]} keys and actions in the README, absent: [${absent[*]:0:5}]; outside references: ${outside:-none}"
  fi
fi

# ---- the one command, under 32-bit Wine --------------------------------------------

echo "== package: the one command of README.txt, in the unpacked folder, under 32-bit Wine"
# The command: README.txt's one line that starts kestrel-host.exe; the guide
# must print the same.
command=$(grep -E '^ *kestrel-host\.exe run ' "$unpacked/README.txt" | tr -d '\r' | sed 's/^ *//')
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

# big_record FILE: a data file of 160,000 lines, whose table (about 6 MB)
# is more than kestrel-records keeps in memory for an output that cannot be
# taken back.
big_record() {
  awk 'BEGIN { for (i = 0; i < 160000; ++i) printf "%d.0=pitch(1.00, 1.00, 1.0)\n", i }' >"$1"
}

source scripts/wine.sh
flown="$repo/$work/flown"
cp -r "$unpacked" "$flown"
big_record "$flown/big_613815000.txt"
mkdir "$flown/scratch"
# cmd runs the command as a batch file would: the same line, in the folder.
# Then, in the same Wine start, kestrel-records.exe writes a table to NUL
# through a scratch file in the folder %TMP% names, and once more where
# %TMP% names no folder; each exit code is kept in a file.
{
  printf '%s\r\n' "$command"
  printf '%s\r\n' '@echo %ERRORLEVEL% >one-command.code' \
    '@set TMP=%CD%\scratch' '@set TEMP=%CD%\scratch' \
    'kestrel-records.exe export big_613815000.txt -o NUL >to-nul.out 2>&1' '@echo %ERRORLEVEL% >to-nul.code' \
    '@set TMP=%CD%\no-such-folder' '@set TEMP=%CD%\no-such-folder' \
    'kestrel-records.exe export big_613815000.txt -o NUL >no-scratch.out 2>&1' '@echo %ERRORLEVEL% >no-scratch.code'
} >"$repo/$work/one-command.cmd"
# code_of NAME: the exit code the batch kept in NAME.code, or "none".
code_of() { tr -d ' \r\n' <"$flown/$1.code" 2>/dev/null | grep -E '^[0-9]+$' || echo none; }
if ! wine32_start 0; then
  fail "the one command: $wine32_problem"
else
  echo "  $wine32_how"
  start=$SECONDS
  code=0
  (cd "$flown" && timeout -k 10 1800 nice -n 10 ${wine32_runner[@]+"${wine32_runner[@]}"} \
    "$wine64" cmd /c "$(winpath "$repo/$work/one-command.cmd")") >"$work/one-command.log" 2>&1 || code=$?
  wine32_stop
  echo "  the one command and two more of kestrel-records.exe took $((SECONDS - start)) s"
  # The batch's own exit code is its last command's: the one command's is
  # the one it kept (Wine's stands when it kept none, or 99 when that is 0).
  kept=$(code_of one-command)
  if [[ "$kept" != none ]]; then
    code=$kept
  elif ((code == 0)); then
    code=99
  fi
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

  # What the guide says of -o NUL and of the scratch file in the temporary
  # folder, under Windows.
  kept=$(ls -A "$flown/scratch" 2>/dev/null)
  if [[ "$(code_of to-nul)" == 0 && -z "$kept" ]] && grep -q 'exported 160000 rows of 1 file into NUL' "$flown/to-nul.out"; then
    pass "kestrel-records.exe export -o NUL: exit code 0 with a table beyond memory, the scratch file in %TMP% gone at the end"
  else
    fail "kestrel-records.exe export -o NUL: exit code $(code_of to-nul), left in %TMP% [$kept]: $(tr -d '\r' <"$flown/to-nul.out" 2>/dev/null | head -c 300)"
  fi
  if [[ "$(code_of no-scratch)" == 2 ]] && grep -q 'scratch file in the temporary folder' "$flown/no-scratch.out"; then
    pass "kestrel-records.exe with %TMP% naming no folder: exit code 2, as the guide says, and \"$(tr -d '\r' <"$flown/no-scratch.out" | head -1 | cut -c1-120)\""
  else
    fail "kestrel-records.exe with %TMP% naming no folder: exit code $(code_of no-scratch), the guide says 2: $(tr -d '\r' <"$flown/no-scratch.out" 2>/dev/null | head -c 300)"
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
    host-line-never-asked) # recording a vessel whose name is too long for its data file
      local long
      long=$(printf "%$(sed -n 's/^FIRST_UNWRITTEN_NAME_TODAY=//p' <<<"$("$repo/$native/kestrel-guide-facts")")s" "" | tr ' ' L)
      cat >flight.json <<EOF
{"clock_mjd": 61381.5, "vessels": [{"name": "$long", "pitch_deg": [[0, 1], [100, 2]]}],
 "steps": [{"dt": 1, "count": 60}],
 "events": [{"step": 0, "open": "left", "width": 256, "height": 200}, {"step": 0, "display": "left", "button": 0}]}
EOF
      local code=0
      "$repo/$native/kestrel-host" run flight.json --root flight >run.out 2>&1 || code=$?
      if [[ -n "$(ls -A flight/KestrelScribeData 2>/dev/null)" ]] || ! grep -qx 'data files written: 0' run.out; then
        echo "a data file was written, or the summary does not say 'data files written: 0'"
        return 97
      fi
      return $code ;;
    records-writes-link) # a link to a chart there: the chart is written, the link stays
      echo old >chart.svg
      ln -sfn chart.svg link.svg
      local code=0
      "$repo/$native/kestrel-records" plot good_613815000.txt -o link.svg || code=$?
      if [[ ! -L link.svg || "$(readlink link.svg)" != chart.svg ]] || ! grep -q '<svg' chart.svg; then
        echo "the link did not stay, or the chart it leads to was not written"
        return 97
      fi
      return $code ;;
    records-writes-device) "$repo/$native/kestrel-records" plot good_613815000.txt -o /dev/null ;;
    records-no-scratch-file) # the temporary folder ($TMPDIR here) names no folder
      big_record big_613815000.txt
      local code=0
      TMPDIR="$dir/no-such-folder" "$repo/$native/kestrel-records" export big_613815000.txt -o /dev/null 2>err || code=$?
      cat err
      grep -q 'scratch file in the temporary folder' err || return 97
      return $code ;;
    *) return 99 ;;
  esac
}
known_cases=(host-played host-bad-input host-lost-lines host-line-never-asked check-good check-bad-line check-unreadable
  records-refuses-data-file records-writes-link records-writes-device records-no-scratch-file)

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

# The Time and Pitch rows: where the guide puts them, six and five character
# rows above the display's bottom edge, by the example's own display (its
# size and character cell in the summary, each text's top in the draw log).
geometry=$(grep -oE '^display left \([0-9]+x[0-9]+, char cell [0-9]+x[0-9]+\)' "$native_run/host.out" | grep -oE '[0-9]+' | tr '\n' ' ')
read -r _ display_height _ cell_height <<<"$geometry"
row_of() { # row_of TEXT: the whole character rows between TEXT's top and the bottom edge
  local top
  top=$(awk -v text="$1" '$1 == "text" && $4 == text { print $3; exit }' "$native_run/flight/left-display.log" 2>/dev/null)
  [[ -n "$top" && -n "$cell_height" ]] && echo $(((display_height - top) / cell_height))
}
if ! grep -q 'they stand six and five character rows above' <<<"$(tr '\n' ' ' <<<"$guide_text" | tr -s ' ')"; then
  fail "the guide no longer says where the Time and Pitch rows stand (six and five character rows above the bottom edge)"
elif [[ "$(row_of Time)" == 6 && "$(row_of Pitch)" == 5 ]]; then
  pass "the Time and Pitch rows stand six and five character rows above the display's bottom edge, as the guide says"
else
  fail "the Time and Pitch rows stand $(row_of Time) and $(row_of Pitch) rows above the bottom edge (display height and cell: $geometry), the guide says six and five"
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

echo "== package: the flight-file reference in headless Chromium, 800 pixels wide"
mapfile -t headings < <(sed -n '/^## The flight file$/,/^## Outputs$/p' kestrel-host/README.md | grep -E '^## ' | sed -E 's/^## //')
/usr/bin/python3 scripts/guide-browser.py --no-pictures "$unpacked/flight-files.html" "$work/flight-files.png" \
  "kestrel-host $version: flight files" "${headings[@]}" >"$work/browser-reference.out" 2>&1
browser_code=$?
cat "$work/browser-reference.out"
passed=$((passed + $(grep -c '^  ok ' "$work/browser-reference.out")))
failed=$((failed + $(grep -c '^  FAIL ' "$work/browser-reference.out")))
if ((browser_code != 0)) && ! grep -q '^  FAIL ' "$work/browser-reference.out"; then
  fail "scripts/guide-browser.py ended with exit code $browser_code on flight-files.html"
fi

finish
