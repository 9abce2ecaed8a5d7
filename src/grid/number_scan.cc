#include "grid/number_scan.h"

#include <cstdio>
#include <string>

namespace kavrix {

// Simple reference: lets the C library scan a copy of the text.
NumberScan scan_number(const char* first, const char* last, double& value) {
  std::string text(first, last);
  int consumed = 0;
  double v = 0;
  if (std::sscanf(text.c_str(), "%lg%n", &v, &consumed) == 1) {
    value = v;
    return {first + consumed, true};
  }
  return {first, false};
}

}  // namespace kavrix
