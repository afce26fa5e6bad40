#!/usr/bin/env bash
# kestrel-host's rooms only look down (kestrel-host/README.md). Reads every
# `#include "kestrel-host/..."` line of the sources under kestrel-host/ and
# fails, naming the file and what it includes, when
#   - a source lies in no room;
#   - a room includes one its rule does not allow:
#       common     nothing but itself
#       flight     common
#       simulator  common
#       pictures   common, and of the simulated host its displays
#                  (simulator/Displays.h)
#       commands   every room;
#   - two files include each other, or a chain of includes comes back to
#     where it began. A header and its sources (posix/, windows/ included)
#     count as one file: A.cpp including B.h while B.h includes A.h is
#     such a pair.
# Otherwise it prints the deepest chain of includes and exits 0.
#
#   scripts/check-host-rooms.sh [FOLDER]   (default: kestrel-host/ of this repository)
set -euo pipefail

folder=${1:-"$(dirname "$0")/../kestrel-host"}
folder=$(cd "$folder" 2>/dev/null && pwd) || { echo "check-host-rooms: ${1:-kestrel-host}: no such folder" >&2; exit 2; }
if [[ $(basename "$folder") != kestrel-host ]]; then
  echo "check-host-rooms: $folder: the includes name kestrel-host/, so the folder must be kestrel-host" >&2
  exit 2
fi
cd "$folder/.."
mapfile -t sources < <(find kestrel-host -type f \( -name '*.h' -o -name '*.cpp' \) | LC_ALL=C sort)
((${#sources[@]} > 0)) || { echo "check-host-rooms: no sources under $folder" >&2; exit 2; }

awk '
function room(path,    parts) {
  split(path, parts, "/")
  return parts[3] == "" ? "" : parts[2]
}
# The file a header and its sources make together: its path without the
# platform folders and without the extension.
function unit(path,    parts, n, i, out) {
  n = split(path, parts, "/")
  out = parts[1]
  for (i = 2; i < n; ++i) {
    if (parts[i] != "posix" && parts[i] != "windows") {
      out = out "/" parts[i]
    }
  }
  sub(/\.[^.]*$/, "", parts[n])
  return out "/" parts[n]
}
function allowed(from, target,    to) {
  to = room(target)
  if (to == from || to == "common") {
    return 1
  }
  if (from == "pictures") {
    return target == "kestrel-host/simulator/Displays.h"
  }
  return from == "commands" && (to == "flight" || to == "simulator" || to == "pictures")
}
function problem(text) {
  print "check-host-rooms: " text
  ++problems
}
# Depth-first over the units: a unit reached again while its own includes
# are being followed closes a chain that comes back to it.
function visit(u,    i, v, k, chain) {
  state[u] = 1
  stack[++depth] = u
  for (i = 1; i <= count[u]; ++i) {
    v = edge[u, i]
    if (state[v] == 1) {
      chain = v
      for (k = depth; stack[k] != v; --k) {
        chain = stack[k] " -> " chain
      }
      chain = v " -> " chain
      if (depth - k >= 2) { # two units are named as a pair below
        problem("a chain of includes comes back to where it began: " chain)
      }
    } else if (state[v] == 0) {
      visit(v)
    }
  }
  --depth
  state[u] = 2
}
function longest(u,    i, v, best) {
  if (u in levels) {
    return levels[u]
  }
  levels[u] = 1
  next_of[u] = ""
  for (i = 1; i <= count[u]; ++i) {
    v = edge[u, i]
    if (longest(v) + 1 > levels[u]) {
      levels[u] = levels[v] + 1
      next_of[u] = v
    }
  }
  return levels[u]
}
/^[ \t]*#[ \t]*include[ \t]*"kestrel-host\// {
  target = $0
  sub(/^[^"]*"/, "", target)
  sub(/".*$/, "", target)
  ++includes
  from = room(FILENAME)
  if ((from in rule) && !allowed(from, target)) {
    problem(FILENAME " includes " target ": the " from " room may use " rule[from])
  }
  a = unit(FILENAME)
  b = unit(target)
  if (a != b && !((a, b) in why)) {
    why[a, b] = FILENAME " includes " target
    edge[a, ++count[a]] = b
  }
}
BEGIN {
  rule["common"] = "nothing but itself"
  rule["flight"] = "common only"
  rule["simulator"] = "common only"
  rule["pictures"] = "common and simulator/Displays.h only"
  rule["commands"] = "every room"
  for (i = 1; i < ARGC; ++i) {
    ++files
    if (!(room(ARGV[i]) in rule)) {
      problem(ARGV[i] ": lies in no room (rooms: common, flight, simulator, pictures, commands)")
    }
    units[unit(ARGV[i])] = 1
  }
}
END {
  if (files == 0 || includes == 0) {
    problem("found no sources or no includes under kestrel-host/")
  }
  for (pair in why) {
    split(pair, ab, SUBSEP)
    if (ab[1] < ab[2] && ((ab[2], ab[1]) in why)) {
      problem(ab[1] " and " ab[2] " include each other: " why[ab[1], ab[2]] ", " why[ab[2], ab[1]])
    }
  }
  for (u in units) {
    if (state[u] == 0) {
      visit(u)
    }
  }
  if (problems > 0) {
    exit 1
  }
  deepest = ""
  for (u in units) {
    if (deepest == "" || longest(u) > levels[deepest] || (levels[u] == levels[deepest] && u < deepest)) {
      deepest = u
    }
  }
  chain = deepest
  for (u = next_of[deepest]; u != ""; u = next_of[u]) {
    chain = chain " -> " u
  }
  printf "check-host-rooms: %d files, %d includes, each within its room'"'"'s rule; no two include each other\n", files, includes
  printf "check-host-rooms: the deepest chain, %d levels: %s\n", levels[deepest], chain
}
' "${sources[@]}"
