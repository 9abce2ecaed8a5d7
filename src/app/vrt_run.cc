#include "app/vrt_run.h"

#include <sys/stat.h>

#include "gis/vrt.h"
#include "app/console.h"
#include "base/status.h"
#include "grid/grid_input.h"
#include "grid/whole_file.h"

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

Status run(const std::string& grid_name, const std::string& vrt_name,
           std::FILE* out) {
  GridInput grid;
  grid.name = grid_name;
  grid.read_twice = true;  // GDAL reads it again: a pipe is refused at once
  Status status = open_input_grid(grid);
  if (status.ok()) status = check_vrt_header(grid.header, grid.name);
  if (status.ok() && grid.format != GridFormat::text) status = check_binary_size(grid);
  if (!status.ok()) return status;
  if (vrt_name.empty()) {
    const std::string text = make_vrt(grid.header, grid.format, vrt_source_for(grid.name, ""));
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fflush(out) != 0) {
      return failure(kVrtWriteFailed, "error writing the VRT to standard output\n");
    }
    return {};
  }
  WholeFile vrt;
  status = locate_whole_file(vrt, vrt_name);
  if (status.ok() && vrt.exists && vrt.identity == grid.identity) {
    return failure(kVrtUsage, "the VRT %s would replace the grid itself\n",
                   vrt_name.c_str());
  }
  grid.file.reset();
  // The grid is named from where the VRT lands, a link followed; a VRT
  // written into a device or descriptor has no place: the name is absolute.
  const std::string text = make_vrt(grid.header, grid.format,
                                    vrt_source_for(grid.name, vrt.in_place ? "" : vrt.path));
  if (status.ok()) status = write_whole_file(vrt, text);
  if (status.ok()) status = commit_whole_file(vrt);
  return status;
}

}  // namespace

int run_kavrix_vrt(const std::vector<std::string>& args, std::FILE* out,
                   std::FILE* err) {
  if (asks_for_help(args)) return print_help(kUsage, out);
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
