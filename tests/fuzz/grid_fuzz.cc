// Fuzz target: one complete run of the tool on three grids made of the
// fuzzer's bytes, in process.
//
// Input layout: a first byte of choices, then the bytes of grid A, T and S
// separated by kSeparator; a missing piece is an empty file. The choice
// byte's low two bits pick the output format (none, -f:t, -f:d, -f:s) and
// its bit 2 puts the output in a folder that does not exist, so that the
// prompt runs and meets the end of the console input.
//
// Besides crashes, leaks and sanitizer reports, the target aborts when a
// run breaks a rule that holds for every input: the status is one the tool
// defines, no input file is changed, and a successful run leaves an output
// of exactly the size its header promises.
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "app/run.h"
#include "grid/grid_input.h"

namespace {

constexpr std::string_view kSeparator = "#|#";

// The harness skips grids whose size would make a run long or large: the
// tool itself would take them (or fail with status 8), but one input must
// finish well within the fuzzer's time limit.
constexpr double kMaxCells = 1 << 12;
constexpr double kMaxRows = 1 << 12;

struct Workspace {
  std::string dir;
  std::FILE* out = nullptr;  // the console: messages and dots vanish
  std::FILE* in = nullptr;   // the console: always at its end
};

// Never destroyed: the exit handler below still needs it.
Workspace& workspace() {
  static Workspace* const w = [] {
    auto* made = new Workspace;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kavrix-fuzz-XXXXXX")
            .string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    made->dir = pattern;
    made->out = std::fopen("/dev/null", "w");
    made->in = std::fopen("/dev/null", "r");
    if (!made->out || !made->in) abort();
    // Removes the folder when the fuzzer ends normally.
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(workspace().dir, error);
    });
    return made;
  }();
  return *w;
}

void write_bytes(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) !=
                            bytes.size()) {
    abort();
  }
  if (std::fclose(file) != 0) abort();
}

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether a run on grid A stays small enough to fuzz. Reads A's header the
// way the tool does; a grid it cannot read ends the run early anyway.
bool small_enough(const std::string& a_path) {
  kavrix::GridInput a;
  a.name = a_path;
  if (!kavrix::open_input_grid(a).ok()) return true;
  const double ncols = a.header.ncols;
  const double nrows = a.header.nrows;
  if (!(std::fabs(ncols) <= kMaxCells) || !(std::fabs(nrows) <= kMaxRows)) {
    return false;
  }
  return std::fabs(ncols) * std::fmax(nrows, 1.0) <= kMaxCells;
}

bool is_known_status(int status) {
  return (status >= 0 && status <= 8) || status == 98;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Workspace& w = workspace();
  const unsigned choice = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::string_view pieces[3];
  for (int i = 0; i < 3; ++i) {
    size_t cut = i < 2 ? rest.find(kSeparator) : std::string_view::npos;
    pieces[i] = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view()
                                         : rest.substr(cut + kSeparator.size());
  }
  const std::string names[3] = {w.dir + "/a.grd", w.dir + "/t.grd",
                                w.dir + "/s.grd"};
  for (int i = 0; i < 3; ++i) write_bytes(names[i], pieces[i]);
  if (!small_enough(names[0])) return 0;

  const std::string output =
      w.dir + ((choice & 4) != 0 ? "/missing/out.grd" : "/out.grd");
  std::remove(output.c_str());
  std::vector<std::string> args = {names[0], names[1], names[2], output};
  static const char* const kSwitches[] = {nullptr, "-f:t", "-f:d", "-f:s"};
  if (const char* format_switch = kSwitches[choice & 3]) {
    args.push_back(format_switch);
  }

  std::clearerr(w.in);
  const int status = kavrix::run_kavrix(args, kavrix::Console{w.out, w.in});

  if (!is_known_status(status)) abort();
  for (int i = 0; i < 3; ++i) {
    if (read_bytes(names[i]) != pieces[i]) abort();  // an input was changed
  }
  if (status == 0) {
    kavrix::GridInput a;
    a.name = names[0];
    if (!kavrix::open_input_grid(a).ok()) abort();
    const double cells =
        a.header.ncols * std::trunc(std::fmax(a.header.nrows, 0.0));
    const std::string written = read_bytes(output);
    switch (kavrix::output_format_from_switch(args)) {
      case kavrix::GridFormat::binary_double:
        if (written.size() != 96 + 8 * cells) abort();
        break;
      case kavrix::GridFormat::binary_single:
        if (written.size() != 48 + 4 * cells) abort();
        break;
      case kavrix::GridFormat::text:
        if (written.compare(0, 6, "ncols\t") != 0) abort();
        break;
    }
  }
  return 0;
}
