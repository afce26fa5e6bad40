#!/usr/bin/env bash
# The rooms of kestrel-host and of kestrel-records only look down (each
# one's README.md). Reads every `#include "TOOL/..."` line of the sources
# under TOOL/ and fails, naming the file and what it includes, when
#   - a source lies in no room;
#   - a room includes one its rule does not allow (the rules below: the
#     rooms, or single headers, each room may use besides itself);
#   - two files include each other, or a chain of includes comes back to
#     where it began. A header and its sources (posix/, windows/ included)
#     count as one file: A.cpp including B.h while B.h includes A.h is
#     such a pair.
# Otherwise it prints the deepest chain of includes and exits 0.
#
#   scripts/check-rooms.sh FOLDER   (the kestrel-host or kestrel-records folder)
set -euo pipefail

folder=${1:?usage: check-rooms.sh FOLDER (kestrel-host or kestrel-records)}
folder=$(cd "$folder" 2>/dev/null && pwd) || { echo "check-rooms: $1: no such folder" >&2; exit 2; }
tool=$(basename "$folder")
# ROOM=what it may use: rooms, or a room's single header; "*" every room.
case "$tool" in
  kestrel-host)
    rules=(common= flight=common simulator=common "pictures=common simulator/Displays.h" "commands=*") ;;
  kestrel-records)
    rules=(common= reading=common "outputs=common reading" charts=common
      "watch=common reading outputs charts" "commands=*") ;;
  *)
    echo "check-rooms: $folder: the includes name the tool's folder, so it must be kestrel-host or kestrel-records" >&2
    exit 2 ;;
esac
cd "$folder/.."
mapfile -t sources < <(find "$tool" -type f \( -name '*.h' -o -name '*.cpp' \) | LC_ALL=C sort)
((${#sources[@]} > 0)) || { echo "check-rooms: no sources under $folder" >&2; exit 2; }

awk -v TOOL="$tool" -v RULES="$(printf '%s\n' "${rules[@]}")" '
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
function allowed(from, target,    to, short) {
  to = room(target)
  short = substr(target, length(tool) + 2)
  return to == from || (to in rule) && (may[from, "*"] || may[from, to] || may[from, short])
}
function listed(uses) {
  gsub(/ /, ", ", uses)
  return uses
}
function problem(text) {
  print "check-rooms: " text
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
$0 ~ "^[ \t]*#[ \t]*include[ \t]*\"" tool "/" {
  target = $0
  sub(/^[^"]*"/, "", target)
  sub(/".*$/, "", target)
  ++includes
  from = room(FILENAME)
  if ((from in rule) && !allowed(from, target)) {
    problem(FILENAME " includes " target ": the " from " room may use " (rule[from] == "" ? "nothing but itself" : rule[from] == "*" ? "every room" : listed(rule[from]) " only"))
  }
  a = unit(FILENAME)
  b = unit(target)
  if (a != b && !((a, b) in why)) {
    why[a, b] = FILENAME " includes " target
    edge[a, ++count[a]] = b
  }
}
BEGIN {
  tool = TOOL
  n = split(RULES, entries, "\n")
  for (i = 1; i <= n; ++i) {
    eq = index(entries[i], "=")
    name = substr(entries[i], 1, eq - 1)
    rule[name] = substr(entries[i], eq + 1)
    rooms = rooms (rooms == "" ? "" : ", ") name
    m = split(rule[name], uses, " ")
    for (k = 1; k <= m; ++k) {
      may[name, uses[k]] = 1
    }
  }
  for (i = 1; i < ARGC; ++i) {
    ++files
    if (!(room(ARGV[i]) in rule)) {
      problem(ARGV[i] ": lies in no room (rooms: " rooms ")")
    }
    units[unit(ARGV[i])] = 1
  }
}
END {
  if (files == 0 || includes == 0) {
    problem("found no sources or no includes under " tool "/")
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
  printf "check-rooms: " tool ": %d files, %d includes, each within its room'"'"'s rule; no two include each other\n", files, includes
  printf "check-rooms: " tool ": the deepest chain, %d levels: %s\n", levels[deepest], chain
}
' "${sources[@]}"
