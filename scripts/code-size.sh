#!/bin/sh
# Prints the size of the program and of its tests in non-blank lines: one
# line per folder, then the totals with the tests as a share of the program:
#   program 15012 lines, tests 13656 lines (91 %)
# Program: the source folders below, counting C++ sources and headers, CMake
# files, scripts and the SVG piece shapes. Tests: every hand-written file
# under tests/ (cases, support code, CMake files, transcripts and other
# inputs), but not generated data kept in a tests/*/data/ folder, nor images
# or other binary files. bench/, fuzz/, tools/, scripts/ and docs/ are not
# counted.
set -eu
cd "$(dirname "$0")/.."

program_dirs="kit app net cgc xml game lobby prefs widgets server resources"
existing=
for dir in $program_dirs; do
  [ -d "$dir" ] && existing="$existing $dir"
done

{
  # shellcheck disable=SC2086 # the folder list is meant to split
  find $existing -type f \( -name '*.cpp' -o -name '*.cc' -o -name '*.c' \
    -o -name '*.h' -o -name '*.hpp' -o -name 'CMakeLists.txt' -o -name '*.cmake' \
    -o -name '*.sh' -o -name '*.py' -o -path 'resources/pieces/*.svg' \)
  # grep -l . with -I names the non-empty text files and skips binary ones.
  find tests -type f ! -path 'tests/*/data/*' ! -name '*.png' ! -name '*.jpg' \
    ! -name '*.jpeg' ! -name '*.gif' ! -name '*.bmp' ! -name '*.svg' ! -name '*.ico' \
    -print0 | xargs -0 -r grep -Il . --
} | awk '
  # One file name a line on standard input; one process counts them all.
  {
    n = split($0, part, "/")
    if (part[1] == "tests") { kind = "tests"; folder = (n > 2 ? part[2] : "") }
    else { kind = "program"; folder = part[1] }
    key = kind " " folder
    if (!(key in lines)) { lines[key] = 0; order[++keys] = key }
    while ((getline line < $0) > 0)
      if (line ~ /[^[:space:]]/) { lines[key]++; total[kind]++ }
    close($0)
  }
  END {
    for (i = 1; i <= keys; i++) {
      split(order[i], k, " ")
      if (k[2] != "") printf "  %-8s %-10s %6d\n", k[1], k[2], lines[order[i]]
    }
    share = total["program"] ? int(total["tests"] * 100 / total["program"] + 0.5) : 0
    printf "program %d lines, tests %d lines (%d %%)\n", total["program"], total["tests"], share
  }'
