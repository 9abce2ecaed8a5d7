#!/usr/bin/env bash
# Static checks of the tool's sources: the layering of src/, clang-tidy
# (.clang-tidy) and cppcheck.
# REQUIRES: a configured build folder (default build/) with compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

# Each folder of src/ may include only itself and the folders below it:
# app over index, gis, distribution and gdal, over grid, over number and base.
# The Python package's module (python/) stands over the engine as app does.
declare -A allowed=(
  [base]="base"
  [number]="base number"
  [grid]="base number grid"
  [index]="base number grid index"
  [gis]="base number grid gis"
  [distribution]="base number grid index distribution"
  [gdal]="base number grid index gdal"
  [app]="base number grid index gis distribution gdal app"
  [python]="base number grid index"
)
bad=0
while IFS=: read -r file _ line; do
  layer=${file#src/}; layer=${layer%%/*}
  target=$(sed -E 's/^#include "([^/"]+)\/.*/\1/' <<<"$line")
  if [[ -z ${allowed[$layer]+x} || " ${allowed[$layer]} " != *" $target "* ]]; then
    echo "$file: $layer may not include $line" >&2
    bad=1
  fi
done < <(git ls-files 'src/*.h' 'src/*.cc' 'python/*.h' 'python/*.cc' | xargs grep -n '^#include "')
# GDAL is called through the adapter's table alone: no GDAL header, and not
# the table's, above src/gdal.
if git ls-files 'src/app/*' 'src/index/*' 'src/grid/*' 'python/*.cc' | xargs grep -n -E \
    '^#include [<"](gdal|cpl_|ogr_)[a-z_]*\.h[>"]|^#include "gdal/gdal_api\.h"'; then
  echo "only src/gdal includes GDAL's headers and its table" >&2
  bad=1
fi
[ "$bad" = 0 ]

mapfile -t sources < <(git ls-files 'src/*.cc' 'python/*.cc')
clang-tidy -p "$build" --quiet "${sources[@]}" 2>/dev/null
cppcheck --enable=warning,style,performance,portability --std=c++20 \
  --error-exitcode=1 --inline-suppr --quiet -I src src python
