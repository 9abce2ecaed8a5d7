#!/usr/bin/env bash
# Builds kavrix with warnings as errors and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRIX_WERROR=ON \
  -DKAVRIX_TESTS=ON -DKAVRIX_BENCH=ON >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure --no-tests=error -j 2
