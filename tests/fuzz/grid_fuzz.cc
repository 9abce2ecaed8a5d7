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
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The header of grid A as the tool reads it; false if it cannot be read.
bool header_of(const std::string& path, kavrix::GridHeader& header) {
  kavrix::GridInput a;
  a.name = path;
  if (!kavrix::open_input_grid(a).ok()) return false;
  header = a.header;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A folder removed when the fuzzer ends normally; a console whose
  // messages and dots vanish and whose input is always at its end.
  static const std::string dir = [] {
    static std::string made = (std::filesystem::temp_directory_path() / "kavrix-fuzz-XXXXXX").string();
    if (mkdtemp(made.data()) == nullptr) abort();
    std::atexit([] { std::error_code error; std::filesystem::remove_all(made, error); });
    return made;
  }();
  static std::FILE* const out = std::fopen("/dev/null", "w");
  static std::FILE* const in = std::fopen("/dev/null", "r");
  if (size == 0 || !out || !in) return 0;
  const unsigned choice = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string pieces[3];
  const std::string names[3] = {dir + "/a.grd", dir + "/t.grd", dir + "/s.grd"};
  for (int i = 0; i < 3; ++i) {
    const size_t cut = i < 2 ? rest.find(kSeparator) : std::string_view::npos;
    pieces[i] = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + kSeparator.size());
    std::ofstream(names[i], std::ios::binary) << pieces[i];
  }
  // Grids whose runs would be long or large are skipped: the tool would
  // take them (or fail with status 8), but one input must finish quickly.
  kavrix::GridHeader h;
  if (header_of(names[0], h) && !(std::fabs(h.nrows) <= 4096 && std::fabs(h.ncols) * std::fmax(h.nrows, 1.0) <= 4096)) {
    return 0;
  }

  const std::string output = dir + ((choice & 4) != 0 ? "/missing/out.grd" : "/out.grd");
  std::remove(output.c_str());
  std::vector<std::string> args = {names[0], names[1], names[2], output};
  static const char* const kSwitches[] = {nullptr, "-f:t", "-f:d", "-f:s"};
  if (kSwitches[choice & 3]) args.push_back(kSwitches[choice & 3]);
  std::clearerr(in);
  const int status = kavrix::run_kavrix(args, kavrix::Console{out, in});

  if (!((status >= 0 && status <= 8) || status == 98)) abort();
  for (int i = 0; i < 3; ++i) {
    if (read_bytes(names[i]) != pieces[i]) abort();  // an input was changed
  }
  if (status != 0) return 0;
  if (!header_of(names[0], h)) abort();
  const double cells = h.ncols * std::trunc(std::fmax(h.nrows, 0.0));
  const std::string written = read_bytes(output);
  switch (kavrix::output_format_from_switch(args)) {
    case kavrix::GridFormat::binary_double: if (written.size() != 96 + 8 * cells) abort(); break;
    case kavrix::GridFormat::binary_single: if (written.size() != 48 + 4 * cells) abort(); break;
    case kavrix::GridFormat::text: if (written.compare(0, 6, "ncols\t") != 0) abort(); break;
  }
  return 0;
}
