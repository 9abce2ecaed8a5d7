// The header record shared by every grid, and the format tags.
#ifndef KAVRIX_GRID_GRID_HEADER_H_
#define KAVRIX_GRID_GRID_HEADER_H_

#include <array>
#include <bit>
#include <cstddef>

namespace kavrix {

// Binary grids are read and written as the machine holds its numbers.
static_assert(std::endian::native == std::endian::little,
              "binary grids are little-endian IEEE 754");

/// Number of values in a header; fields are numbered 1 to 12.
inline constexpr int kHeaderFields = 12;

/// The value a binary grid must carry as nodata_value to be recognised,
/// and the value written for a statistic that cannot be formed.
inline constexpr double kNoDataMark = -9999.0;

/// The header of a grid: six parameters (fields 1 to 6) and six statistics
/// (fields 7 to 12). A text grid fills only the parameters.
struct GridHeader {
  double ncols = 0;
  double nrows = 0;
  double xll = 0;
  double yll = 0;
  double cellsize = 0;
  double nodata_value = 0;
  double stat_count = 0;
  double stat_min = 0;
  double stat_max = 0;
  double stat_sum = 0;
  double stat_mean = 0;
  double stat_stddev = 0;
};

/// The twelve fields in their stored order, field 1 first.
inline std::array<double, kHeaderFields> header_values(const GridHeader& header) {
  return std::bit_cast<std::array<double, kHeaderFields>>(header);
}

/// Sets the twelve fields from values in their stored order.
inline void set_header_values(GridHeader& header,
                              const std::array<double, kHeaderFields>& values) {
  header = std::bit_cast<GridHeader>(values);
}

/// How a grid's body is stored. Text input grids and the text output share
/// one tag; binary grids hold little-endian IEEE 754 values.
enum class GridFormat { text, binary_double, binary_single };

/// Bytes of one value of a binary format; 0 for text.
inline constexpr std::size_t value_bytes(GridFormat format) {
  if (format == GridFormat::binary_double) return 8;
  return format == GridFormat::binary_single ? 4 : 0;
}

}  // namespace kavrix

#endif  // KAVRIX_GRID_GRID_HEADER_H_
