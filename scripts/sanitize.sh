#!/usr/bin/env bash
# Builds everything with clang++, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs the whole test suite
# there. Any sanitizer report fails the run: the tool aborts with it, and
# the test helpers fail every test whose run of the tool printed one.
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKAVRIX_WERROR=ON -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Tests that make grids of a million values take a tenth of that here.
export KAVRIX_TEST_SCALE=${KAVRIX_TEST_SCALE:-0.1}
ctest --test-dir build-asan --output-on-failure -j 2
