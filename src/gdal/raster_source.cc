#include "gdal/raster_source.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "gdal/gdal_api.h"
#include "gdal/raster_input.h"
#include "grid/strip.h"

namespace kavrix {
namespace {

// The raster, the strip of rows in hand and the row handed out.
struct RasterRows {
  RasterInput in;
  Strip strip;
  RowBuffer line;
  std::vector<unsigned char> scratch;
  int loaded = -1;  // the strip in hand, by its first row; -1: none
};

}  // namespace

Status open_raster_source(RowSource& source, const GdalApi& api,
                          const std::string& name) {
  // The reason of a failure is kept for the message: GDAL prints nothing.
  start_gdal(api, false);
  auto rows = std::make_shared<RasterRows>();
  RasterInput& in = rows->in;
  // Cells without data are NaN as read: every other value is counted.
  const double none = -std::numeric_limits<double>::infinity();
  Status status = open_raster_input(in, api, name, 1, none);
  if (status.exit_status == kGdalInputOpen) {
    return failure(kExitUnknownFormat,
                   "could not recognise file format (ascii, single or double) for %s, "
                   "nor open it as a raster through GDAL: %s\n",
                   name.c_str(), in.dataset == nullptr ? api.last_error() : "it has no band");
  }
  if (!status.ok()) return status;
  const int width = static_cast<int>(in.header.ncols);
  const int height = strip_height(width, in.block_height);
  rows->line = allocate_row(width);
  if (!rows->line || !allocate_strip(rows->strip, width, height, in.block_width, in.block_height)) {
    return no_memory_for_row(width);
  }
  source = {name, width, static_cast<int>(in.header.nrows), none, in.files, nullptr, nullptr};
  const int nrows = source.nrows;
  source.read_row = [rows, width, height, nrows](int row, const double*& values) {
    RasterRows& r = *rows;
    const int first = (row - 1) / height * height;
    if (first != r.loaded) {
      Status read = read_strip(r.in, r.strip, first, std::min(height, nrows - first), r.scratch);
      if (!read.ok()) return read;
      r.loaded = first;
    }
    // The strip holds the row in runs of its chunk's width.
    for (int col = 0; col < width; col += r.strip.chunk) {
      const auto run = static_cast<std::size_t>(std::min(r.strip.chunk, width - col));
      std::memcpy(r.line.get() + 1 + col, strip_cell(r.strip, row - 1 - first, col),
                  run * sizeof(double));
    }
    values = r.line.get();
    return Status{};
  };
  source.rewind = [rows] {
    rows->loaded = -1;
    return Status{};
  };
  return {};
}

}  // namespace kavrix
