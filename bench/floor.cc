// The least any run on binary grids has to do, the floor that the tool is
// measured against: read each row of the three grids with one fread, take
// the tangent and the logarithm of every cell with libm, and write each
// output row with one fwrite (the output has to reach the file whatever the
// program). No nodata tests, no bounds, no statistics, no progress dots.
// Nodata cells are computed like the others, which costs the floor about 2%
// more tangents and logarithms than the tool on the benchmark grids.
//
//   kavrix_floor A T S OUT d|s     (all three inputs in that format)
//   kavrix_floor --lanes           the vector lanes kavrix's cell rule uses here
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "index/cell_rule.h"
#include "number/vector_math.h"

namespace {

struct Input {
  std::FILE* file;
  std::vector<double> row;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--lanes") == 0) {
    std::printf("%d\n", static_cast<int>(kavrix::usable_vector_lanes()));
    return 0;
  }
  if (argc != 6 || (std::strcmp(argv[5], "d") != 0 && std::strcmp(argv[5], "s") != 0)) {
    std::fprintf(stderr, "usage: %s A T S OUT d|s\n", argv[0]);
    return 1;
  }
  const bool doubles = argv[5][0] == 'd';
  const size_t header_bytes = doubles ? 96 : 48;
  std::vector<char> header(header_bytes);
  Input inputs[3];
  for (int g = 0; g < 3; ++g) {
    inputs[g].file = std::fopen(argv[1 + g], "rb");
    if (!inputs[g].file ||
        std::fread(header.data(), 1, header_bytes, inputs[g].file) != header_bytes) {
      std::perror(argv[1 + g]);
      return 3;
    }
  }
  double ncols, nrows, cellsize;
  if (doubles) {
    std::memcpy(&ncols, &header[0], 8);
    std::memcpy(&nrows, &header[8], 8);
    std::memcpy(&cellsize, &header[32], 8);
  } else {
    float v[12];
    std::memcpy(v, header.data(), sizeof v);
    ncols = v[0];
    nrows = v[1];
    cellsize = v[4];
  }
  std::FILE* out = std::fopen(argv[4], "wb");
  if (!out || std::fwrite(header.data(), 1, header_bytes, out) != header_bytes) {
    std::perror(argv[4]);
    return 6;
  }
  const size_t n = static_cast<size_t>(ncols);
  const int rows = static_cast<int>(nrows);
  const double area = cellsize * cellsize;
  for (Input& in : inputs) in.row.resize(n);
  std::vector<float> singles(n);
  std::vector<double> result(n);

  for (int row = 0; row < rows; ++row) {
    for (Input& in : inputs) {
      if (doubles) {
        if (std::fread(in.row.data(), sizeof(double), n, in.file) != n) return 5;
      } else {
        if (std::fread(singles.data(), sizeof(float), n, in.file) != n) return 5;
        for (size_t j = 0; j < n; ++j) in.row[j] = singles[j];
      }
    }
    const double* a = inputs[0].row.data();
    const double* t = inputs[1].row.data();
    const double* s = inputs[2].row.data();
    for (size_t j = 0; j < n; ++j) {
      result[j] = std::log((a[j] + 1.0) * area / t[j] /
                           std::tan(s[j] * kavrix::kDegreeFactor));
    }
    if (doubles) {
      if (std::fwrite(result.data(), sizeof(double), n, out) != n) return 6;
    } else {
      for (size_t j = 0; j < n; ++j) singles[j] = static_cast<float>(result[j]);
      if (std::fwrite(singles.data(), sizeof(float), n, out) != n) return 6;
    }
  }
  return std::fclose(out) == 0 ? 0 : 6;
}
