#include "app/vrt_run.h"

#include <sys/stat.h>

#include "gis/vrt.h"
#include "base/status.h"
#include "grid/grid_input.h"

namespace kavrix {
namespace {

constexpr const char kUsage[] =
    "usage : kavrix-vrt <grid> [<vrt>]\n"
    "writes a GDAL virtual raster (VRT) that opens <grid>, a text, double or\n"
    "single grid of kavrix, at its place on the map; to the file <vrt>, or\n"
    "to standard output without it\n";

// A binary grid must hold every cell its header promises; GDAL would
// otherwise show the missing cells as data.
Status check_binary_size(const GridInput& grid) {
  const auto bytes = static_cast<double>(value_bytes(grid.format));
  const double needed = bytes * (kHeaderFields + grid.header.ncols *
                                                     grid.header.nrows);
  struct stat info {};
  if (fstat(fileno(grid.file.get()), &info) != 0 ||
      static_cast<double>(info.st_size) < needed) {
    return failure(kVrtShortGrid,
                   "%s holds fewer cells than its header says (%.0f x %.0f)\n",
                   grid.name.c_str(), grid.header.ncols, grid.header.nrows);
  }
  return {};
}

Status write_vrt(const std::string& vrt, const std::string& text,
                 std::FILE* out) {
  if (vrt.empty()) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fflush(out) != 0) {
      return failure(kVrtWriteFailed, "error writing the VRT to standard output\n");
    }
    return {};
  }
  std::FILE* file = std::fopen(vrt.c_str(), "wb");
  if (file == nullptr) {
    return failure(kVrtWriteFailed, "could not open %s for writing\n",
                   vrt.c_str());
  }
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fclose(file) == 0 && written;
  if (!written) {
    std::remove(vrt.c_str());
    return failure(kVrtWriteFailed, "error writing into %s \n", vrt.c_str());
  }
  return {};
}

Status run(const std::string& grid_name, const std::string& vrt,
           std::FILE* out) {
  GridInput grid;
  grid.name = grid_name;
  Status status = open_input_grid(grid);
  if (status.ok()) status = check_vrt_header(grid.header, grid.name);
  if (status.ok() && grid.format != GridFormat::text) status = check_binary_size(grid);
  if (!status.ok()) return status;
  if (!vrt.empty() && names_one_of(vrt, {&grid.identity, 1})) {
    return failure(kVrtUsage, "the VRT %s would replace the grid itself\n",
                   vrt.c_str());
  }
  grid.file.reset();
  return write_vrt(vrt, make_vrt(grid.header, grid.format,
                                 vrt_source_for(grid.name, vrt)), out);
}

}  // namespace

int run_kavrix_vrt(const std::vector<std::string>& args, std::FILE* out,
                   std::FILE* err) {
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    std::fputs(kUsage, out);
    return kExitSuccess;
  }
  bool usable = !args.empty() && args.size() <= 2;
  for (const std::string& arg : args) {
    usable = usable && !arg.empty() && arg[0] != '-';
  }
  if (!usable) {
    std::fputs(kUsage, err);
    return kVrtUsage;
  }
  Status status = run(args[0], args.size() == 2 ? args[1] : "", out);
  std::fwrite(status.message.data(), 1, status.message.size(), err);
  return status.exit_status;
}

}  // namespace kavrix
