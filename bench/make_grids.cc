// Writes the three input grids of a benchmark run (flow accumulation,
// transmissivity, slope) in text, double and single format, all holding the
// same values: a{.asc,.dbl,.flt}, t{...}, s{...} in the given folder.
//
//   kavrix_make_grids NCOLS NROWS FOLDER [text|double|single|a-only]...
//
// Without a format word all three formats are written. "a-only" writes the
// flow-accumulation grid alone (the memory check feeds it as all inputs).
//
// Values: A integers from 0 to 10^6, spread evenly in their logarithm, with
// about 2% nodata cells (-9999); T from 0.01 to 100 with 6 significant
// digits; S from 0 to 90 degrees with 10 significant digits. The binary
// grids hold the values that the text spells; the single grids round them.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kNodata = -9999.0;

// A small, fast, reproducible generator (splitmix64).
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  /// Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
};

enum Quantity { kFlow, kTransmissivity, kSlope };

// The text of the next value of a quantity; the value is what it spells.
int next_value(Quantity q, Random& random, char* text, size_t size) {
  switch (q) {
    case kFlow:
      if (random.unit() < 0.02) return std::snprintf(text, size, "-9999");
      return std::snprintf(
          text, size, "%.0f",
          std::floor(std::exp(random.unit() * std::log(1e6 + 1.0))) - 1.0);
    case kTransmissivity:
      return std::snprintf(text, size, "%.6g",
                           0.01 * std::exp(random.unit() * std::log(1e4)));
    case kSlope:
      return std::snprintf(text, size, "%.10g", random.unit() * 90.0);
  }
  return 0;
}

struct Output {
  std::FILE* file = nullptr;
  std::vector<char> pending;  // bytes waiting for one large write

  void put(const void* bytes, size_t count) {
    const char* p = static_cast<const char*>(bytes);
    pending.insert(pending.end(), p, p + count);
    if (pending.size() >= (size_t{1} << 20)) flush();
  }
  void flush() {
    if (!pending.empty() &&
        std::fwrite(pending.data(), 1, pending.size(), file) != pending.size()) {
      std::perror("write");
      std::exit(1);
    }
    pending.clear();
  }
};

std::FILE* open_or_die(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::perror(path.c_str());
    std::exit(1);
  }
  return file;
}

void write_grid(Quantity q, const char* name, int ncols, int nrows,
                const std::string& folder, bool text, bool doubles,
                bool singles) {
  const double header[12] = {double(ncols), double(nrows), 500000.0,
                             4100000.0,     10.0,          kNodata,
                             0, 0, 0, 0, 0, 0};
  Output outs[3];
  if (text) {
    outs[0].file = open_or_die(folder + "/" + name + ".asc");
    char line[256];
    int n = std::snprintf(line, sizeof line,
                          "ncols         %d\nnrows         %d\n"
                          "xllcorner     500000\nyllcorner     4100000\n"
                          "cellsize      10\nNODATA_value  -9999\n",
                          ncols, nrows);
    outs[0].put(line, static_cast<size_t>(n));
  }
  if (doubles) {
    outs[1].file = open_or_die(folder + "/" + name + ".dbl");
    outs[1].put(header, sizeof header);
  }
  if (singles) {
    outs[2].file = open_or_die(folder + "/" + name + ".flt");
    for (double v : header) {
      float f = static_cast<float>(v);
      outs[2].put(&f, sizeof f);
    }
  }
  // One seed per quantity: every format and every size agree on the values.
  Random random{0x6b61767269780000ull + static_cast<uint64_t>(q)};
  char value[64];
  for (int row = 0; row < nrows; ++row) {
    for (int col = 0; col < ncols; ++col) {
      int n = next_value(q, random, value, sizeof value - 1);
      if (text) {
        value[n] = col + 1 < ncols ? ' ' : '\n';
        outs[0].put(value, static_cast<size_t>(n) + 1);
        value[n] = '\0';
      }
      double v = std::strtod(value, nullptr);
      if (doubles) outs[1].put(&v, sizeof v);
      if (singles) {
        float f = static_cast<float>(v);
        outs[2].put(&f, sizeof f);
      }
    }
  }
  for (Output& out : outs) {
    if (!out.file) continue;
    out.flush();
    if (std::fclose(out.file) != 0) {
      std::perror("close");
      std::exit(1);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: %s NCOLS NROWS FOLDER [text|double|single|a-only]...\n",
                 argv[0]);
    return 2;
  }
  const int ncols = std::atoi(argv[1]);
  const int nrows = std::atoi(argv[2]);
  const std::string folder = argv[3];
  bool text = argc == 4, doubles = argc == 4, singles = argc == 4;
  bool a_only = false;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "text") == 0) text = true;
    else if (std::strcmp(argv[i], "double") == 0) doubles = true;
    else if (std::strcmp(argv[i], "single") == 0) singles = true;
    else if (std::strcmp(argv[i], "a-only") == 0) a_only = true;
    else {
      std::fprintf(stderr, "unknown word %s\n", argv[i]);
      return 2;
    }
  }
  if (a_only && !text && !doubles && !singles) text = doubles = singles = true;
  if (ncols < 1 || nrows < 0) {
    std::fprintf(stderr, "bad grid size\n");
    return 2;
  }
  write_grid(kFlow, "a", ncols, nrows, folder, text, doubles, singles);
  if (a_only) return 0;
  write_grid(kTransmissivity, "t", ncols, nrows, folder, text, doubles,
             singles);
  write_grid(kSlope, "s", ncols, nrows, folder, text, doubles, singles);
  return 0;
}
