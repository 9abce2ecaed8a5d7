#include "grid/grid_header.h"

#include <cassert>
#include <cstddef>

namespace kavrix {

std::array<double, kHeaderFields> header_values(const GridHeader& h) {
  return {h.ncols,      h.nrows,     h.xll,       h.yll,
          h.cellsize,   h.nodata_value, h.stat_count, h.stat_min,
          h.stat_max,   h.stat_sum,  h.stat_mean, h.stat_stddev};
}

void set_header_values(GridHeader& h,
                       const std::array<double, kHeaderFields>& v) {
  h.ncols = v[0];
  h.nrows = v[1];
  h.xll = v[2];
  h.yll = v[3];
  h.cellsize = v[4];
  h.nodata_value = v[5];
  h.stat_count = v[6];
  h.stat_min = v[7];
  h.stat_max = v[8];
  h.stat_sum = v[9];
  h.stat_mean = v[10];
  h.stat_stddev = v[11];
}

double header_field(const GridHeader& header, int number) {
  assert(number >= 1 && number <= kHeaderFields);
  return header_values(header)[static_cast<size_t>(number - 1)];
}

}  // namespace kavrix
