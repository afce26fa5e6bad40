#!/usr/bin/env bash
# Configures DIR as an optimised build (the default preset's g++ and Ninja,
# in Release, with the benchmarks) and builds the TARGETs there; for the
# benchmark scripts, whose figures come from such a build.
#
# Usage: scripts/release-build.sh DIR TARGET...
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# < 2)); then
  echo "release-build.sh: usage: scripts/release-build.sh DIR TARGET..." >&2
  exit 2
fi
build_dir=$1
shift

# Spelt out rather than taken with --preset: cmake 3.25 can drop a
# command-line build type when a preset meets a tree configured without it.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release \
  -DKESTREL_BUILD_BENCH=ON >/dev/null
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build_dir/CMakeCache.txt"; then
  echo "release-build.sh: $build_dir is not a Release build; remove it or choose another --build-dir" >&2
  exit 1
fi
cmake --build "$build_dir" --target "$@"
