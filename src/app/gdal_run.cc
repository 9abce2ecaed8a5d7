#include "app/gdal_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "app/console.h"
#include "base/status.h"
#include "gdal/gdal_api.h"
#include "gdal/raster_input.h"
#include "gdal/raster_output.h"
#include "gdal/strip.h"
#include "grid/whole_file.h"
#include "index/cell_rule.h"
#include "index/running_stats.h"

namespace kavrix {
namespace {

constexpr const char kUsage[] =
    "usage : kavrix-gdal <flowaccumulation> <transmissivity> <slope> <output>\n"
    "        [-of <format>] [-ot Float32|Float64] [-co <name>=<value>]... [-q]\n"
    "writes the topographic index ln(A/(T*tanB)) of band 1 of three rasters\n"
    "that GDAL opens as a raster of the same place and cells\n"
    "-of <format>        a GDAL raster format (default GTiff)\n"
    "-ot <type>          Float32 (default) or Float64\n"
    "-co <name>=<value>  a creation option of the format, as GDAL takes it\n"
    "-q                  no progress\n";

struct GdalOptions {
  std::string inputs[3];  // A, T, S
  std::string output;
  OutputOptions out;
  bool quiet = false;
};

Status parse_args(const std::vector<std::string>& args, GdalOptions& options) {
  std::vector<std::string> names;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-q") {
      options.quiet = true;
      continue;
    }
    if (arg != "-of" && arg != "-ot" && arg != "-co") {
      if (!arg.empty() && arg[0] == '-') return failure(kGdalUsage, "unknown option %s\n", arg.c_str());
      names.push_back(arg);
      continue;
    }
    if (i + 1 == args.size()) return failure(kGdalUsage, "option %s needs a value\n", arg.c_str());
    const std::string& value = args[++i];
    if (arg == "-of") {
      options.out.format = value;
    } else if (arg == "-ot") {
      if (value != "Float32" && value != "Float64") {
        return failure(kGdalUsage, "-ot %s: the output type is Float32 or Float64\n", value.c_str());
      }
      options.out.type = value == "Float32" ? GDT_Float32 : GDT_Float64;
    } else if (value.starts_with('=') || value.find('=') == std::string::npos) {
      return failure(kGdalUsage, "-co %s: a creation option is NAME=VALUE\n", value.c_str());
    } else {
      options.out.creation.push_back(value);
    }
  }
  if (names.size() != 4 || std::count(names.begin(), names.end(), "") > 0) {
    return failure(kGdalUsage, "four names are expected: A, T, S and the output\n");
  }
  std::copy(names.begin(), names.begin() + 3, options.inputs);
  options.output = names[3];
  return {};
}

// Everything a run owns; the output raster closes before its file goes.
struct GdalRun {
  RasterInput a, t, s;
  WholeFile file;
  RasterOutput out;
  Strip strips[4];  // A, T, S and the output
  std::vector<unsigned char> scratch;
  RunningStats stats;
};

// Opens the inputs and makes the output: refuses inputs that cannot be
// computed together and an output that would replace one of them.
Status prepare(GdalRun& run, const GdalOptions& options) {
  const GdalApi& api = linked_gdal_api();
  start_gdal(api);
  Status status = find_output_driver(run.out, options.out);
  // Without a nodata value, T and S have no data only where NaN or -inf;
  // A's -9999 becomes the output's nodata value too.
  const double none = -std::numeric_limits<double>::infinity();
  const double no_nodata[3] = {kNoDataMark, none, none};
  RasterInput* inputs[3] = {&run.a, &run.t, &run.s};
  for (int k = 0; k < 3; ++k) {
    if (status.ok()) status = open_raster_input(*inputs[k], api, options.inputs[k], no_nodata[k]);
  }
  if (status.ok()) status = check_geometry(run.a, run.t, run.s);
  if (status.ok()) status = locate_whole_file(run.file, options.output);
  for (const RasterInput* in : inputs) {
    if (status.ok() && run.file.exists &&
        std::find(in->files.begin(), in->files.end(), run.file.identity) != in->files.end()) {
      status = failure(kGdalUsage, "the output %s would replace the input %s\n",
                       options.output.c_str(), in->name.c_str());
    }
  }
  if (status.ok()) status = begin_whole_file(run.file);
  if (status.ok()) status = create_output(run.out, options.out, run.a, run.file);
  return status;
}

// Computes the index strip by strip; `share` of the progress is this part.
Status compute(GdalRun& run, GDALProgressFunc progress, double share) {
  const int width = static_cast<int>(run.a.header.ncols);
  const int height = static_cast<int>(run.a.header.nrows);
  const int rows = strip_height(width, run.a.block_height);
  const RasterInput* inputs[3] = {&run.a, &run.t, &run.s};
  bool allocated = allocate_strip(run.strips[3], width, rows, run.out.block_width,
                                  run.out.block_height);
  for (int k = 0; k < 3; ++k) {
    allocated = allocated && allocate_strip(run.strips[k], width, rows, inputs[k]->block_width,
                                            inputs[k]->block_height);
  }
  if (!allocated) {
    return failure(kGdalNoMemory, "not enough memory for strips of %d rows of %d values\n",
                   rows, width);
  }
  const ParameterTable table = make_parameter_table(run.a.header, run.s.header, run.t.header);
  stats_reset(run.stats, table.value[kNodataValue][kGridA]);
  progress(0, nullptr, nullptr);
  Status status;
  for (int first = 0, n = 0; status.ok() && first < height; first += n) {
    n = std::min(rows, height - first);
    for (int k = 0; k < 3; ++k) {
      if (status.ok()) status = read_strip(*inputs[k], run.strips[k], first, n, run.scratch);
    }
    if (!status.ok()) break;
    compute_index_strip(table, run.strips[0], run.strips[1], run.strips[2], run.strips[3],
                        width, n, run.stats);
    status = write_strip(run.out, run.strips[3], first, n, run.file);
    progress(share * (first + n) / height, nullptr, nullptr);
  }
  return status;
}

// Puts the output in place over no file an input reads, and removes the
// side files of a raster it replaces that it did not replace itself: old
// statistics (.aux.xml) and overviews (.ovr) would else describe the new
// cells.
Status put_in_place(GdalRun& run) {
  std::vector<FileIdentity> inputs;
  for (const RasterInput* in : {&run.a, &run.t, &run.s}) {
    inputs.insert(inputs.end(), in->files.begin(), in->files.end());
  }
  std::vector<std::string> stale;
  if (run.file.exists && !run.file.in_place) {
    namespace fs = std::filesystem;
    GDALDatasetH old = GDALOpenEx(run.file.path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                  nullptr, nullptr, nullptr);
    char** files = old != nullptr ? GDALGetFileList(old) : nullptr;
    for (char** f = files; f != nullptr && *f != nullptr; ++f) {
      std::error_code error;
      const bool made = fs::exists(fs::path(run.file.folder) / fs::path(*f).filename(), error);
      if (!made && !names_one_of(*f, inputs) && !fs::equivalent(*f, run.file.path, error)) {
        stale.emplace_back(*f);
      }
    }
    CSLDestroy(files);
    if (old != nullptr) GDALClose(old);
  }
  Status status = commit_whole_file(run.file, inputs);
  for (const std::string& f : stale) {
    if (status.ok()) std::remove(f.c_str());
  }
  return status;
}

}  // namespace

int run_kavrix_gdal(const std::vector<std::string>& args, std::FILE* err) {
  if (asks_for_help(args)) return print_help(kUsage, stdout);
  GdalOptions options;
  Status status = parse_args(args, options);
  if (!status.ok()) status.message += kUsage;
  take_gdal_errors();
  GdalRun run;
  if (status.ok()) status = prepare(run, options);
  // Progress would go into an output written to standard output.
  const bool quiet = options.quiet || run.file.descriptor == 1;
  const GDALProgressFunc progress = quiet ? GDALDummyProgress : GDALTermProgress;
  // A driver that can only copy takes the second half of the progress.
  const double share = run.out.copy_only ? 0.5 : 1.0;
  if (status.ok()) status = compute(run, progress, share);
  void* copy_progress = GDALCreateScaledProgress(share, 1.0, progress, nullptr);
  if (status.ok()) {
    status = finish_output(run.out, options.out, run.stats, run.file, GDALScaledProgress, copy_progress);
  }
  GDALDestroyScaledProgress(copy_progress);
  if (status.ok()) status = put_in_place(run);
  std::fwrite(status.message.data(), 1, status.message.size(), err);
  return status.exit_status;
}

}  // namespace kavrix
