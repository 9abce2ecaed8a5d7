#!/usr/bin/env bash
# Static checks of the tool's sources: clang-tidy (.clang-tidy) and cppcheck.
# REQUIRES: a configured build folder (default build/) with compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mapfile -t sources < <(git ls-files 'src/*.cc')
clang-tidy -p "$build" --quiet "${sources[@]}" 2>/dev/null
cppcheck --enable=warning,style,performance,portability --std=c++20 \
  --error-exitcode=1 --inline-suppr --quiet -I src src
