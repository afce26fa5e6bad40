#!/usr/bin/env bash
# Checks the release package as a pilot gets it: scripts/package.sh builds
# it from scratch twice (build/package and the zip removed in between) and
# both zips must be the same bytes; unpacked, it must hold the PE32 i386 DLL
# with its version resource and exactly the five entry points, the guide as
# one HTML file with its pictures inside, and kestrel-records.exe.
#
#   scripts/package-test.sh     (scripts/test.sh --full runs it)
# Prints "  ok    ..." or "  FAIL  ..." per check and "package: N passed,
# M failed" at the end; exit 1 when a check failed.
set -uo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "  ok    $*"; }
fail() { failed=$((failed + 1)); echo "  FAIL  $*"; }

version=$(sed -n 's/^#define KESTREL_VERSION_TEXT "\(.*\)"$/\1/p' module/Version.h)
zip="dist/KestrelScribeMFD-$version.zip"
work=build/package-test
rm -rf "$work"
mkdir -p "$work"

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
  echo "package: $passed passed, $failed failed"
  exit 1
fi
if cmp -s "$work/1.zip" "$work/2.zip"; then
  pass "two builds from scratch give the same $(stat -c %s "$work/1.zip") bytes"
else
  fail "two builds from scratch differ: $(cmp "$work/1.zip" "$work/2.zip" 2>&1 | head -1)"
fi

unpacked="$work/unpacked"
mkdir -p "$unpacked"
unzip -q "$work/1.zip" -d "$unpacked"
entries=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | sort)
expected=$(printf '%s\n' Doc/KestrelScribeMFD-Guide.html Modules/Plugin/KestrelScribeMFD.dll \
  Utils/KestrelScribeMFD/kestrel-records.exe | sort)
if [[ "$entries" == "$expected" ]]; then
  pass "the zip holds $(echo $entries)"
else
  fail "the zip holds [$(echo $entries)], expected [$(echo $expected)]"
fi

dll="$unpacked/Modules/Plugin/KestrelScribeMFD.dll"
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
  # The version resource's texts are UTF-16.
  resource=$(strings -el "$dll")
  missing=()
  for key in FileVersion ProductName FileDescription ProductVersion; do
    grep -qx "$key" <<<"$resource" || missing+=("$key")
  done
  if ((${#missing[@]} == 0)) && grep -qx "VS_VERSION_INFO" <<<"$resource" && grep -qx "KestrelScribeMFD.dll" <<<"$resource"; then
    pass "the DLL carries a version resource (FileVersion, ProductName, FileDescription, ProductVersion)"
  else
    fail "the DLL's version resource lacks ${missing[*]:-its product name}"
  fi
fi

exe="$unpacked/Utils/KestrelScribeMFD/kestrel-records.exe"
if [[ -f "$exe" ]] && i686-w64-mingw32-objdump -f "$exe" | grep -q 'file format pei-i386'; then
  pass "kestrel-records.exe is a 32-bit Windows program"
elif [[ -f "$exe" ]]; then
  fail "kestrel-records.exe is not a 32-bit Windows program"
fi

guide="$unpacked/Doc/KestrelScribeMFD-Guide.html"
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

echo "package: $passed passed, $failed failed"
((failed == 0))
