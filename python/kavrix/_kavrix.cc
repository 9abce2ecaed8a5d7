// The module kavrix._kavrix: the topographic index of NumPy arrays computed
// by the engine of the commands. The engine reads each input strip by
// strip; the read callback converts the rows of the arrays, of any real
// type and any strides, into the engine's strips of doubles as kavrix-gdal's
// reader does (a cell without data becomes NaN), and the write callback
// copies the strips of the index into the result. No copy of an input is
// made, and the interpreter's lock is released while the engine runs: it
// touches no Python object then.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "base/status.h"
#include "grid/strip.h"
#include "index/cell_rule.h"
#include "index/engine.h"
#include "index/running_stats.h"

namespace py = pybind11;

namespace kavrix {
namespace {

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "arrays hold IEEE 754 numbers");

// The strips of the engine take at most this much memory per thread that
// computes: a few rows of a wide array, so that the result is the only
// large allocation of a call. With the threads' stacks and the pages the
// strips begin and end in, a call takes less than 1 MiB per thread.
constexpr double kStripBytesPerThread = 960 << 10;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// An input as the read callback sees it: raw memory, no Python object.
struct InputGrid;
using ConvertRow = void (*)(const InputGrid& grid, std::ptrdiff_t row, int width, double* into);

struct InputGrid {
  const char* cells = nullptr;                // cell (0, 0)
  std::ptrdiff_t row_step = 0, col_step = 0;  // in bytes, of either sign
  const char* mask = nullptr;                 // nonzero: a cell without data
  std::ptrdiff_t mask_row_step = 0, mask_col_step = 0;
  bool has_nodata = false;
  unsigned char nodata[8] = {};  // as a cell of the array holds it, native order
  ConvertRow convert = nullptr;
};

// IEEE half precision, which NumPy has and C++20 has not; widened exactly.
struct Half {
  std::uint16_t bits;
};

template <typename T>
double widen(T value) {
  return static_cast<double>(value);
}

double widen(Half half) {
  const int exponent = (half.bits >> 10) & 0x1f;
  const int fraction = half.bits & 0x3ff;
  double magnitude = 0;
  if (exponent == 0) {
    magnitude = std::ldexp(fraction, -24);
  } else if (exponent == 31) {
    magnitude = fraction == 0 ? std::numeric_limits<double>::infinity() : kNaN;
  } else {
    magnitude = std::ldexp(fraction + 1024, exponent - 25);
  }
  return (half.bits & 0x8000) != 0 ? -magnitude : magnitude;
}

// A cell equals the nodata value in its own type: a 64-bit integer is not
// rounded to a double first, so its neighbours are not taken for it.
template <typename T>
bool same(T a, T b) {
  return a == b;
}

bool same(Half a, Half b) { return widen(a) == widen(b); }

// The value at `p`, which need not be aligned, in the other byte order
// where `kSwapped`.
template <typename T, bool kSwapped>
T load(const char* p) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, p, sizeof(T));
  if constexpr (kSwapped) std::reverse(bytes, bytes + sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

// Converts row `row` of `grid` into `into`: each cell widened to a double,
// NaN where it equals the nodata value or its mask is set.
template <typename T, bool kSwapped>
void convert_row(const InputGrid& grid, std::ptrdiff_t row, int width, double* into) {
  T nodata;
  std::memcpy(&nodata, grid.nodata, sizeof(T));
  const char* first = grid.cells + row * grid.row_step;
  for (int col = 0; col < width; ++col) {
    const T value = load<T, kSwapped>(first + col * grid.col_step);
    into[col] = grid.has_nodata && same(value, nodata) ? kNaN : widen(value);
  }
  if (grid.mask == nullptr) return;
  const char* marks = grid.mask + row * grid.mask_row_step;
  for (int col = 0; col < width; ++col) {
    if (marks[col * grid.mask_col_step] != 0) into[col] = kNaN;
  }
}

template <typename T>
ConvertRow converter(bool swapped) {
  return swapped ? &convert_row<T, true> : &convert_row<T, false>;
}

// The conversion of NumPy's type `kind` (its dtype.kind) of `bytes`
// bytes, or null for a type that holds no real number.
ConvertRow find_converter(char kind, py::ssize_t bytes, bool swapped) {
  if (kind == 'f') {
    if (bytes == 2) return converter<Half>(swapped);
    if (bytes == 4) return converter<float>(swapped);
    if (bytes == 8) return converter<double>(swapped);
  } else if (kind == 'i') {
    if (bytes == 1) return converter<std::int8_t>(swapped);
    if (bytes == 2) return converter<std::int16_t>(swapped);
    if (bytes == 4) return converter<std::int32_t>(swapped);
    if (bytes == 8) return converter<std::int64_t>(swapped);
  } else if (kind == 'u') {
    if (bytes == 1) return converter<std::uint8_t>(swapped);
    if (bytes == 2) return converter<std::uint16_t>(swapped);
    if (bytes == 4) return converter<std::uint32_t>(swapped);
    if (bytes == 8) return converter<std::uint64_t>(swapped);
  }
  return nullptr;
}

py::array as_array(const py::handle& object, const char* what) {
  if (!py::isinstance<py::array>(object)) throw py::type_error(std::string(what) + " is no NumPy array");
  return py::reinterpret_borrow<py::array>(object);
}

void check_shape(const py::array& array, py::ssize_t height, py::ssize_t width, const char* what) {
  if (array.ndim() != 2 || array.shape(0) != height || array.shape(1) != width) {
    throw py::value_error(std::string(what) + " does not have the shape of the grids");
  }
}

// Takes one input: (cells, mask or None, nodata or None), the nodata value
// a one-value array of the cells' type as a cell holds it.
InputGrid take_input(const py::handle& fields, py::ssize_t height, py::ssize_t width) {
  if (!py::isinstance<py::tuple>(fields) || py::len(fields) != 3) {
    throw py::type_error("an input is a tuple (cells, mask, nodata)");
  }
  const auto input = py::reinterpret_borrow<py::tuple>(fields);
  const py::array cells = as_array(input[0], "an input");
  check_shape(cells, height, width, "an input");
  const py::dtype type = cells.dtype();
  InputGrid grid;
  grid.convert = find_converter(type.kind(), type.itemsize(), type.byteorder() == '>');
  if (grid.convert == nullptr) throw py::type_error("an input holds no real numbers");
  grid.cells = static_cast<const char*>(cells.data());
  grid.row_step = cells.strides(0);
  grid.col_step = cells.strides(1);
  if (!input[1].is_none()) {
    const py::array mask = as_array(input[1], "a mask");
    check_shape(mask, height, width, "a mask");
    if (mask.dtype().kind() != 'b' || mask.itemsize() != 1) throw py::type_error("a mask holds booleans");
    grid.mask = static_cast<const char*>(mask.data());
    grid.mask_row_step = mask.strides(0);
    grid.mask_col_step = mask.strides(1);
  }
  if (!input[2].is_none()) {
    const py::array nodata = as_array(input[2], "a nodata value");
    const py::dtype nodata_type = nodata.dtype();
    if (nodata.size() != 1 || nodata_type.kind() != type.kind() ||
        nodata_type.itemsize() != type.itemsize() || nodata_type.byteorder() == '>') {
      throw py::type_error("a nodata value is one value of its input's type, in native byte order");
    }
    grid.has_nodata = true;
    std::memcpy(grid.nodata, nodata.data(), static_cast<std::size_t>(type.itemsize()));
  }
  return grid;
}

// Rows of a strip: as many as keep a thread's strips (four of them: the
// engine's threads work side by side over the arrays, each with its own)
// below the budget of a thread, at least one.
int strip_rows(int width, int height) {
  const double row_bytes = 4.0 * sizeof(double) * width;
  const double fitting = std::floor((kStripBytesPerThread - 1) / row_bytes);
  return static_cast<int>(std::clamp(fitting, 1.0, static_cast<double>(height)));
}

// Computes the index of the three inputs into `out`, a C-contiguous
// float64 or float32 array of their shape, on `threads` threads; a cell
// without data gets `out_nodata`.
void compute(const py::tuple& inputs, double cellsize, double out_nodata, const py::handle& out_object,
             int threads) {
  // A tuple of tuples holds its arrays for the whole call, whatever other
  // threads do while the lock is released.
  if (inputs.size() != 3) throw py::type_error("three inputs are expected: A, T and S");
  if (!(cellsize > 0) || !std::isfinite(cellsize)) throw py::value_error("the cell size is a positive finite number");
  if (threads < 1) throw py::value_error("threads is a number from 1");
  py::array out = as_array(out_object, "out");
  if (out.ndim() != 2) throw py::value_error("out has two dimensions");
  const py::ssize_t height = out.shape(0), width = out.shape(1);
  if (height > INT_MAX || width > INT_MAX) throw py::value_error("the grids have more than 2147483647 rows or columns");
  const py::dtype out_type = out.dtype();
  const bool single = out_type.kind() == 'f' && out_type.itemsize() == 4;
  if (out_type.kind() != 'f' || (!single && out_type.itemsize() != 8) || out_type.byteorder() == '>') {
    throw py::type_error("out holds float64 or float32 values in native byte order");
  }
  const bool contiguous = out.size() == 0 || ((height == 1 || out.strides(0) == width * out.itemsize()) &&
                                               (width == 1 || out.strides(1) == out.itemsize()));
  if (!out.writeable() || !contiguous) {
    throw py::value_error("out is a writeable C-contiguous array");
  }
  if (single && std::isfinite(out_nodata) && !(std::fabs(out_nodata) <= FLT_MAX)) {
    throw py::value_error("the nodata value cannot be a float32 cell");
  }
  InputGrid grids[3];
  for (std::size_t k = 0; k < 3; ++k) grids[k] = take_input(inputs[k], height, width);
  if (height == 0 || width == 0) return;

  EngineShape shape;
  shape.width = static_cast<int>(width);
  shape.height = static_cast<int>(height);
  shape.strip_rows = strip_rows(shape.width, shape.height);
  for (auto& block : shape.blocks) {
    block[0] = shape.width;  // whole rows
    block[1] = 1;
  }
  ParameterTable table;
  table.value[kCellsize][kGridA] = cellsize;
  table.value[kNodataValue][kGridA] = out_nodata;
  RunningStats stats;
  stats_reset(stats, statistics_threshold(table, NoDataRule::kNaN));
  EngineIo io;
  io.concurrent = true;  // rows of arrays in memory, read and written apart
  io.read = [&grids, &shape](int first, int rows, Strip& a, Strip& t, Strip& s) {
    Strip* strips[3] = {&a, &t, &s};
    for (int k = 0; k < 3; ++k) {
      for (int row = 0; row < rows; ++row) {
        grids[k].convert(grids[k], first + row, shape.width, strip_cell(*strips[k], row, 0));
      }
    }
    return Status{};
  };
  char* const result = static_cast<char*>(out.mutable_data());
  const auto row_bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(out.itemsize());
  io.write = [result, row_bytes, single, &shape](int first, int rows, const Strip& strip) {
    for (int row = 0; row < rows; ++row) {
      const double* cells = strip_cell(strip, row, 0);
      char* into = result + static_cast<std::size_t>(first + row) * row_bytes;
      if (!single) {
        std::memcpy(into, cells, row_bytes);
        continue;
      }
      // Rounded to nearest: an index is within float's range or infinite,
      // and so is the nodata value (checked above). `out` may be unaligned.
      for (int col = 0; col < shape.width; ++col) {
        const auto single_cell = static_cast<float>(cells[col]);
        std::memcpy(into + static_cast<std::size_t>(col) * sizeof(float), &single_cell, sizeof(float));
      }
    }
    return Status{};
  };
  Status status;
  {
    const py::gil_scoped_release unlocked;
    status = run_engine(table, shape, threads, io, stats, kExitNoMemory);
  }
  if (!status.ok()) {
    PyErr_SetString(PyExc_MemoryError, status.message.c_str());
    throw py::error_already_set();
  }
}

}  // namespace
}  // namespace kavrix

PYBIND11_MODULE(_kavrix, module) {
  module.doc() = "kavrix's engine over NumPy arrays; use kavrix.topographic_index";
  module.def("compute", &kavrix::compute, py::arg("inputs"), py::arg("cellsize"), py::arg("out_nodata"),
             py::arg("out"), py::arg("threads"),
             "Computes the index of inputs [(cells, mask, nodata)] * 3 into out (checked by kavrix).");
  module.def("usable_threads", &kavrix::usable_threads,
             "The threads this process may use: the processors of its CPU affinity.");
}
