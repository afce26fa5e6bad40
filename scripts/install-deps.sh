#!/usr/bin/env bash
# Installs what the project needs from Debian's packages; does nothing for
# packages already there.
#   scripts/install-deps.sh example    what scripts/run-example.sh builds: cmake, Ninja, g++,
#                                        nlohmann-json, CLI11, and for kestrel-records watch the
#                                        cpp-httplib header and uPlot (below)
#   scripts/install-deps.sh native     build, unit and end-to-end tests, fuzzers
#   scripts/install-deps.sh coverage   + gcovr
#   scripts/install-deps.sh windows    + MinGW-w64 and 64-bit Wine
#   scripts/install-deps.sh wine32     + 32-bit Wine and qemu's user-mode emulator
#   scripts/install-deps.sh package    + the i686 MinGW-w64, pandoc, strip-nondeterminism, unzip,
#                                        Chromium, ChromeDriver and Python's Selenium (the guide
#                                        seen in a browser)
#   scripts/install-deps.sh all        everything
#
# Every set also brings in what kestrel-records watch builds from, pinned
# by version and checksum: cpp-httplib's single header from Debian's source
# package (scripts/third-party.lock), into /usr/local/share/kestrel-deps/,
# and uPlot from npm (kestrel-records/watch/page/package-lock.json, npm ci)
# into kestrel-records/watch/page/node_modules/. Each is fetched only when
# it is not there already as pinned.
set -euo pipefail
cd "$(dirname "$0")/.."

what="${1:-native}"
case "$what" in
  example|native|coverage|windows|wine32|package|all) ;;
  *) echo "install-deps: unknown set '$what' (example, native, coverage, windows, wine32, package, all)" >&2; exit 2 ;;
esac
packages=(cmake ninja-build g++ nlohmann-json3-dev libcli11-dev xz-utils patch)
# npm fetches uPlot: Debian's own, unless an npm is there already (one that
# came with Node.js).
command -v npm >/dev/null 2>&1 || packages+=(npm)
if [[ "$what" != example ]]; then
  # libxml2-utils: xmllint, with which the end-to-end tests check that
  # kestrel-host's SVG pictures are well-formed XML.
  packages+=(clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev locales strace libxml2-utils time)
fi
if [[ "$what" == coverage || "$what" == all ]]; then
  packages+=(gcovr)
fi
if [[ "$what" == windows || "$what" == wine32 || "$what" == all ]]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64)
fi
if [[ "$what" == wine32 || "$what" == all ]]; then
  # The 32-bit build is the plug-in's true form: 32-bit Wine runs it, through
  # qemu's user-mode emulator where the kernel cannot start 32-bit programs.
  packages+=(wine32:i386 qemu-user-static)
fi

if [[ "$what" == package || "$what" == all ]]; then
  # The release package: the i686 cross build (with windres), the guide
  # (pandoc), a reproducible zip (strip-nondeterminism) and its listing;
  # package-test.sh opens the guide in headless Chromium, driven through
  # ChromeDriver by Selenium from Debian's Python.
  packages+=(g++-mingw-w64-i686 pandoc strip-nondeterminism unzip chromium chromium-driver python3 python3-selenium)
fi

missing=()
install_failed=0
# apt-get update with its arguments, tried three times: a mirror caught in
# the middle of a sync serves a list of the wrong size for a while. Where
# the lists still cannot all be fetched, the install goes on with those it
# has, and says so.
refresh_lists() {
  local attempt
  for attempt in 1 2 3; do
    apt-get "$@" update -qq && return 0
    ((attempt < 3)) || break
    echo "install-deps: the package lists could not all be fetched (attempt $attempt of 3); again in 15 s" >&2
    sleep 15
  done
  echo "install-deps: going on with the package lists as they are" >&2
}

for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} > 0)); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: missing packages: ${missing[*]}; run as root or install them" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # 32-bit Wine comes from the i386 side of the archive.
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # The package lists a machine comes with are usually recent enough: they
  # are refreshed only when the install cannot go ahead without it.
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
    refresh_lists
    if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
      # A security list that could not be fetched for one architecture
      # leaves that side's libraries without the versions the other side
      # has, and the i386 libraries 32-bit Wine needs must match the amd64
      # ones exactly. The release's own lists are whole: take every package
      # from them.
      release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
      echo "install-deps: the install could not go ahead with every list; trying again with the packages of $release itself" >&2
      if ! apt-get install -y -qq --no-install-recommends -t "$release" "${missing[@]}" >/dev/null; then
        # What does not need the i386 side still goes in, so that the
        # native builds can run; the install is still reported as failed.
        native=()
        for p in "${missing[@]}"; do [[ "$p" == *:i386 ]] || native+=("$p"); done
        if ((${#native[@]} > 0 && ${#native[@]} < ${#missing[@]})); then
          echo "install-deps: installing what does not need the i386 side: ${native[*]}" >&2
          apt-get install -y -qq --no-install-recommends "${native[@]}" >/dev/null || true
        fi
        echo "install-deps: could not install ${missing[*]}" >&2
        install_failed=1
      fi
    fi
  fi
fi

# ---- what kestrel-records watch builds from ------------------------------------------
repo=$(pwd)
deps_root=/usr/local/share/kestrel-deps
sha256_of() { sha256sum "$1" | cut -d' ' -f1; }
# lock_sum NAME FILE: the checksum scripts/third-party.lock pins for FILE.
lock_sum() { awk -F'\t' -v name="$1" -v file="$2" '$1 == name && $3 == file { print $4 }' scripts/third-party.lock; }
httplib_version=$(awk -F'\t' '$1 == "cpp-httplib" { print $2; exit }' scripts/third-party.lock)
httplib_dir="$deps_root/cpp-httplib-$httplib_version"
if [[ ! -f "$httplib_dir/httplib.h" || $(sha256_of "$httplib_dir/httplib.h") != "$(lock_sum cpp-httplib httplib.h)" ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: cpp-httplib $httplib_version is not in $httplib_dir; run as root" >&2
    exit 1
  fi
  echo "install-deps: fetching cpp-httplib $httplib_version (Debian's source package) into $httplib_dir"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # Debian's source packages come from the machine's own Debian archive, as
  # its binary packages do, through a list of sources kept apart from the
  # system's: the same archives, as deb-src.
  mkdir -p "$work/apt/lists/partial" "$work/apt/parts"
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] && sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/parts/$(basename "$f")"
  done
  [[ -f /etc/apt/sources.list ]] && sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list >"$work/apt/sources.list"
  touch "$work/apt/sources.list"
  apt_private=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=$work/apt/parts"
    -o "Dir::State::Lists=$work/apt/lists" -o "APT::Sandbox::User=root")
  refresh_lists "${apt_private[@]}" >/dev/null
  (cd "$work" && apt-get "${apt_private[@]}" source --download-only -qq "cpp-httplib=$httplib_version" >/dev/null)
  while IFS=$'\t' read -r name version file sum; do
    [[ "$name" == cpp-httplib && "$file" == *.tar.* ]] || continue
    if [[ $(sha256_of "$work/$file") != "$sum" ]]; then
      echo "install-deps: $file does not have the checksum scripts/third-party.lock pins" >&2
      exit 1
    fi
    tar -xf "$work/$file" -C "$work"
  done < <(grep -v '^#' scripts/third-party.lock)
  source_tree=$(dirname "$(find "$work" -mindepth 2 -maxdepth 2 -name httplib.h | head -1)")
  if [[ -f "$work/debian/patches/series" ]]; then
    while read -r patch_file; do
      [[ -z "$patch_file" || "$patch_file" == \#* ]] || patch -s -p1 -d "$source_tree" <"$work/debian/patches/$patch_file"
    done <"$work/debian/patches/series"
  fi
  if [[ $(sha256_of "$source_tree/httplib.h") != "$(lock_sum cpp-httplib httplib.h)" ]]; then
    echo "install-deps: the patched httplib.h does not have the checksum scripts/third-party.lock pins" >&2
    exit 1
  fi
  mkdir -p "$httplib_dir"
  install -m 644 "$source_tree/httplib.h" "$source_tree/LICENSE" "$httplib_dir/"
  rm -rf "$work"
  trap - EXIT
fi
# uPlot: npm ci from the lock file, unless the pinned version is there.
page=kestrel-records/watch/page
uplot_pinned=$(sed -n '/"node_modules\/uplot"/,/}/s/.*"version": "\([^"]*\)".*/\1/p' "$page/package-lock.json")
uplot_there=$(sed -n 's/.*"version": "\([^"]*\)".*/\1/p' "$page/node_modules/uplot/package.json" 2>/dev/null | head -1 || true)
if [[ "$uplot_there" != "$uplot_pinned" || ! -f "$page/node_modules/uplot/dist/uPlot.iife.min.js" ]]; then
  echo "install-deps: uPlot $uplot_pinned (npm ci in $page)"
  (cd "$page" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null)
fi
cd "$repo"

if [[ "$what" != example ]]; then
  # A locale with a decimal comma, for the tests that show the records and
  # scenarios do not depend on the process locale.
  if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    if [[ $(id -u) -eq 0 ]]; then
      sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
      locale-gen >/dev/null
    else
      echo "install-deps: no de_DE.UTF-8 locale; the decimal-comma tests will fail" >&2
    fi
  fi
fi
((install_failed == 0))
