#!/usr/bin/env bash
# Builds the release package, dist/KestrelScribeMFD-<version>.zip: the i686
# DLL, kestrel-host.exe and kestrel-records.exe (preset `package`: the
# `windows` build, stripped), the example flight, the pilot's guide (built
# natively from guide/, with pictures from the example flight), README.txt,
# CHANGES.txt, LICENSE.txt and SHA256SUMS, through CPack (package/). Installs
# what it needs first.
#
# The same sources give the same zip, byte for byte: the build date the DLL
# reports (ModuleDate) and every time in the zip are the last commit's
# (SOURCE_DATE_EPOCH, unless set), the PE headers carry no link time, and
# strip-nondeterminism fixes the zip's entry times and drops its
# system-dependent fields.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
start=$SECONDS

scripts/install-deps.sh package

if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || true)
  if [[ -z "$SOURCE_DATE_EPOCH" ]]; then
    echo "package: not a git checkout; set SOURCE_DATE_EPOCH (seconds since 1970) for the package's dates" >&2
    exit 2
  fi
fi
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C
version=$(sed -n 's/^#define KESTREL_VERSION_TEXT "\(.*\)"$/\1/p' module/Version.h)
zip="dist/KestrelScribeMFD-$version.zip"

echo "== package: the guide (native build, build/default)"
cmake --preset default >/dev/null
cmake --build --preset default --target guide >/dev/null
guide="$repo/build/default/guide/KestrelScribeMFD-Guide.html"

echo "== package: the i686 DLL, kestrel-host.exe and kestrel-records.exe (build/package)"
# The compiler puts the date into the DLL (ModuleDate): a build made at
# another SOURCE_DATE_EPOCH is made again from scratch.
if [[ "$(cat build/package/source-date-epoch 2>/dev/null || true)" != "$SOURCE_DATE_EPOCH" ]]; then
  rm -rf build/package
fi
cmake --preset package -DKESTREL_GUIDE_HTML="$guide" >/dev/null
echo "$SOURCE_DATE_EPOCH" > build/package/source-date-epoch
cmake --build --preset package --target KestrelScribeMFD kestrel-host kestrel-records >/dev/null

echo "== package: $zip"
mkdir -p dist
rm -f "$zip"
(cd build/package && cpack -G ZIP -B "$repo/dist" >/dev/null)
rm -rf dist/_CPack_Packages
strip-nondeterminism --type zip --timestamp "$SOURCE_DATE_EPOCH" "$zip"

unzip -Z1 "$zip" | sed 's/^/   /'
echo "package: $zip, $(stat -c %s "$zip") bytes, sha256 $(sha256sum "$zip" | cut -d' ' -f1), in $((SECONDS - start)) s"
