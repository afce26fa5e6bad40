#!/usr/bin/env bash
# Installs what the project needs from Debian's packages; does nothing for
# packages already there.
#   scripts/install-deps.sh example    what scripts/run-example.sh builds: cmake, Ninja, g++,
#                                        nlohmann-json and CLI11
#   scripts/install-deps.sh native     build, unit and end-to-end tests, fuzzers
#   scripts/install-deps.sh coverage   + gcovr
#   scripts/install-deps.sh windows    + MinGW-w64 and 64-bit Wine
#   scripts/install-deps.sh wine32     + 32-bit Wine and qemu's user-mode emulator
#   scripts/install-deps.sh package    + the i686 MinGW-w64, pandoc, strip-nondeterminism, unzip,
#                                        Chromium, ChromeDriver and Python's Selenium (the guide
#                                        seen in a browser)
#   scripts/install-deps.sh all        everything
set -euo pipefail

what="${1:-native}"
case "$what" in
  example|native|coverage|windows|wine32|package|all) ;;
  *) echo "install-deps: unknown set '$what' (example, native, coverage, windows, wine32, package, all)" >&2; exit 2 ;;
esac
packages=(cmake ninja-build g++ nlohmann-json3-dev libcli11-dev)
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
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

[[ "$what" != example ]] || exit 0
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

