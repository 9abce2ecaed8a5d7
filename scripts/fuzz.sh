#!/usr/bin/env bash
# Builds the fuzz targets with clang++ (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS
# (default 60): grid_fuzz (whole runs of the tool) and number_fuzz (number
# text against the C library). Extra arguments go to libFuzzer, e.g.
# -jobs=2 -workers=2. Fails on a crash, a sanitizer report, a leak or an
# input slower than 10 s; the input that failed is left in build-fuzz/ as
# TARGET-crash-*, TARGET-leak-* or TARGET-timeout-*, and replays with:
# build-fuzz/tests/fuzz/TARGET FILE
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKAVRIX_FUZZ=ON -DKAVRIX_TESTS=OFF -DKAVRIX_WERROR=ON >/dev/null
cmake --build build-fuzz --target grid_fuzz number_fuzz

# New inputs go to build-fuzz/corpus*; the committed seeds stay as they are.
mkdir -p build-fuzz/corpus build-fuzz/corpus-number
# The target writes four small files per input: keep them in memory if we can.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
for target in grid_fuzz number_fuzz; do
  case $target in
    grid_fuzz) options=(-max_len=4096 -rss_limit_mb=2048 -dict=tests/fuzz/grid.dict
                        build-fuzz/corpus tests/fuzz/corpus) ;;
    number_fuzz) options=(-max_len=512 -dict=tests/fuzz/grid.dict
                          build-fuzz/corpus-number) ;;
  esac
  echo "fuzzing $target for $seconds s" >&2
  build-fuzz/tests/fuzz/$target -max_total_time="$seconds" -timeout=10 \
    -artifact_prefix=build-fuzz/$target- -print_final_stats=1 "$@" "${options[@]}"
done
