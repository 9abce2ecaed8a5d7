#include "grid/number_format.h"

#include <cstdio>

namespace kavrix {

char* format_number(char* out, double value) {
  int n = std::snprintf(out, kNumberTextMax, "%g", value);
  return out + n;
}

}  // namespace kavrix
