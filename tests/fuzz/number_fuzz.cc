// Fuzz target: number text against the C library on the fuzzer's bytes.
// The bytes, less leading white space, are scanned as the whole input and
// compared with fscanf("%lg") on a memory stream (the same value, the same
// characters consumed, also on failure); the value scanned, if any, and the
// first eight bytes taken as a double are formatted and compared with
// snprintf("%g").  Any difference aborts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "number/number_text.h"

namespace {

void check_format(double x) {
  char ours[kavrix::kNumberTextMax];
  char want[64];
  const int n = std::snprintf(want, sizeof want, "%g", x);
  const std::string got(ours, kavrix::format_number(ours, x));
  if (got != std::string(want, static_cast<size_t>(n))) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 8) {
    double x;
    std::memcpy(&x, data, 8);
    check_format(x);
  }
  size_t skip = 0;
  while (skip < size &&
         kavrix::is_number_space(static_cast<char>(data[skip]))) {
    ++skip;
  }
  const size_t n = size - skip;
  if (n == 0) return 0;
  // Exactly n bytes, so that a read past the end is caught.
  const std::unique_ptr<char[]> text(new char[n]);
  std::memcpy(text.get(), data + skip, n);
  double ours = 0;
  const kavrix::NumberScan scan =
      kavrix::scan_number(text.get(), text.get() + n, ours);

  std::FILE* f = fmemopen(text.get(), n, "r");
  if (f == nullptr) abort();
  double want = 0;
  const bool ok = std::fscanf(f, "%lg", &want) == 1;
  const long consumed = std::ftell(f);
  std::fclose(f);
  if (scan.ok != ok || scan.ptr - text.get() != consumed) abort();
  if (ok && !(std::isnan(ours) && std::isnan(want)) &&
      std::memcmp(&ours, &want, sizeof ours) != 0) {
    abort();
  }
  if (ok) check_format(ours);
  return 0;
}
