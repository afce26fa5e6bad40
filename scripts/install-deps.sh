#!/usr/bin/env bash
# Installs what the project needs from Debian's packages; does nothing for
# packages already there. Usage: scripts/install-deps.sh [native|windows|all]
set -euo pipefail

what="${1:-native}"
packages=(cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev)
if [[ "$what" == windows || "$what" == all ]]; then
  packages+=(g++-mingw-w64-i686 wine wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root or install them" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
if [[ " ${missing[*]} " == *":i386"* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
