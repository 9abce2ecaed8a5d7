#!/usr/bin/env bash
# The long differential run of the vector tan and log: VectorMath's random
# arguments for ROUNDS rounds (default 128), each round 4 million arguments
# (slopes as the cell rule makes them, tangent bit patterns, logarithms over
# every exponent, positive bit patterns) on each width the processor has,
# every lane compared with the C library's call bit for bit. 128 rounds on
# a processor with four and eight lanes are 1.02 billion comparisons.
#
#   scripts/vector_math_long.sh [ROUNDS] [BUILD]   (BUILD default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-128}
build=${2:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRIX_TESTS=ON >/dev/null
cmake --build "$build" --target vector_math_test >/dev/null
widths=0
grep -qw avx2 /proc/cpuinfo && grep -qw fma /proc/cpuinfo && widths=1
[ $widths = 1 ] && grep -qw avx512f /proc/cpuinfo && grep -qw avx512dq /proc/cpuinfo && widths=2
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); widths: $widths"
echo "C library: $(ldd --version | head -1)"
start=$(date +%s)
KAVRIX_TEST_SCALE=$rounds "$build/tests/vector_math_test" \
  --gtest_filter=VectorMath.RandomArgumentsGiveTheCLibrarysBits --gtest_brief=1
echo "$((rounds * 4000000 * widths)) comparisons with the C library, no difference," \
  "in $(($(date +%s) - start)) s"
