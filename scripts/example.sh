#!/usr/bin/env bash
# Builds kavrix and computes the topographic index of the example grids.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
# The example needs no test libraries: a new build folder is made without the
# tests; one that scripts/test.sh made keeps them.
options=()
[ -e build/CMakeCache.txt ] || options=(-DKAVRIX_TESTS=OFF)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
cmake --build build --target kavrix
build/kavrix examples/flowacc.asc examples/transmissivity.asc examples/slope.asc \
  build/example-index.asc
echo "topographic index written to build/example-index.asc"
