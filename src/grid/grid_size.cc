#include "grid/grid_size.h"

#include <cmath>

namespace kavrix {

bool whole_in_range(double value, double low, double high) {
  return value >= low && value <= high && value == std::trunc(value);
}

Status invalid_grid_size(const std::string& name) {
  return failure(kExitBadHeader, "invalid grid size in %s\n", name.c_str());
}

Status check_grid_size(const GridHeader& header, const std::string& name) {
  if (whole_in_range(header.ncols, 0, 2147483646.0) &&
      header.nrows >= -2147483648.0 && header.nrows <= 2147483647.0) {
    return {};
  }
  return invalid_grid_size(name);
}

}  // namespace kavrix
