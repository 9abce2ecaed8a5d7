#include "app/gdal_run.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>
#include <strings.h>

#include "app/console.h"
#include "base/status.h"
#include "gdal/gdal_library.h"
#include "gdal/raster_input.h"
#include "gdal/raster_output.h"
#include "grid/strip.h"
#include "grid/whole_file.h"
#include "index/cell_rule.h"
#include "index/engine.h"
#include "index/running_stats.h"

namespace kavrix {
namespace {

constexpr const char kUsage[] =
    "usage : kavrix-gdal <flowaccumulation> <transmissivity> <slope> <output>\n"
    "        [--A_band <n>] [--T_band <n>] [--S_band <n>] [-a_nodata <value>]\n"
    "        [-of <format>] [-ot Float32|Float64] [-co <name>=<value>]...\n"
    "        [--threads <n>] [-q]\n"
    "writes the topographic index ln(A/(T*tanB)) of three rasters that GDAL\n"
    "opens as a raster of the same place and cells\n"
    "--A_band <n>        the band of A (also --T_band, --S_band; default 1)\n"
    "-a_nodata <value>   the output's nodata value (default A's, or -9999)\n"
    "-of <format>        a GDAL raster format (default GTiff)\n"
    "-ot <type>          Float32 (default) or Float64\n"
    "-co <name>=<value>  a creation option of the format, as GDAL takes it\n"
    "--threads <n>       threads that compute (default: the processors it may use)\n"
    "-q                  no progress\n"
    "--version           the versions of kavrix-gdal and GDAL\n";

struct GdalOptions {
  std::string inputs[3];  // A, T, S
  int bands[3] = {1, 1, 1};
  std::string output;
  OutputOptions out;
  std::optional<double> nodata;  // -a_nodata
  int threads = usable_threads();
};

// A whole number or a double, the whole text of `value`.
template <typename T>
bool parse_number(const std::string& value, T& number) {
  const char* end = value.data() + value.size();
  const auto result = std::from_chars(value.data(), end, number);
  return !value.empty() && result.ec == std::errc() && result.ptr == end;
}

// Takes --A_band N, --A_band=N and the like; false if `arg` is none.
bool band_option(const std::vector<std::string>& args, size_t& i, GdalOptions& options,
                 Status& status) {
  const std::string& arg = args[i];
  for (int k = 0; k < 3; ++k) {
    const std::string name = std::string("--") + "ATS"[k] + "_band";
    if (arg != name && !arg.starts_with(name + "=")) continue;
    std::string value;
    if (arg.size() > name.size()) {
      value = arg.substr(name.size() + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      status = failure(kGdalUsage, "option %s needs a value\n", arg.c_str());
      return true;
    }
    if (!parse_number(value, options.bands[k]) || options.bands[k] < 1) {
      status = failure(kGdalUsage, "%s %s: a band is a number from 1\n", name.c_str(), value.c_str());
    }
    return true;
  }
  return false;
}

Status parse_args(const std::vector<std::string>& args, GdalOptions& options) {
  std::vector<std::string> names;
  Status status;
  for (size_t i = 0; status.ok() && i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-q") {
      options.out.quiet = true;
      continue;
    }
    if (band_option(args, i, options, status)) continue;
    if (arg != "-of" && arg != "-ot" && arg != "-co" && arg != "-a_nodata" && arg != "--threads") {
      if (!arg.empty() && arg[0] == '-') return failure(kGdalUsage, "unknown option %s\n", arg.c_str());
      names.push_back(arg);
      continue;
    }
    if (i + 1 == args.size()) return failure(kGdalUsage, "option %s needs a value\n", arg.c_str());
    const std::string& value = args[++i];
    double nodata = 0;
    if (arg == "-of") {
      options.out.format = value;
    } else if (arg == "-ot") {
      // Any case, as GDAL's programs take a type's name.
      const bool f32 = strcasecmp(value.c_str(), "Float32") == 0;
      if (!f32 && strcasecmp(value.c_str(), "Float64") != 0) {
        return failure(kGdalUsage, "-ot %s: the output type is Float32 or Float64\n", value.c_str());
      }
      options.out.float64 = !f32;
    } else if (arg == "--threads") {
      if (!parse_number(value, options.threads) || options.threads < 1 || options.threads > 1024) {
        return failure(kGdalUsage, "--threads %s: the threads are a number from 1 to 1024\n",
                       value.c_str());
      }
    } else if (arg == "-a_nodata") {
      if (!parse_number(value, nodata)) {
        return failure(kGdalUsage, "-a_nodata %s: the nodata value is a number\n", value.c_str());
      }
      options.nodata = nodata;
    } else if (value.starts_with('=') || value.find('=') == std::string::npos) {
      return failure(kGdalUsage, "-co %s: a creation option is NAME=VALUE\n", value.c_str());
    } else {
      options.out.creation.push_back(value);
    }
  }
  if (!status.ok()) return status;
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
  double nodata = 0;  // the output's
  std::vector<unsigned char> scratch;
  RunningStats stats;
};

// Opens the inputs and makes the output: refuses inputs that cannot be
// computed together and an output that would replace one of them.
Status prepare(GdalRun& run, const GdalOptions& options) {
  const GdalApi& api = linked_gdal_api();
  start_gdal(api, true);
  Status status = find_output_driver(run.out, api, options.out);
  // Without a nodata value, T and S have no data only where NaN; A's
  // -9999 becomes the output's nodata value.
  const double none = -std::numeric_limits<double>::infinity();
  const double no_nodata[3] = {kNoDataMark, none, none};
  RasterInput* inputs[3] = {&run.a, &run.t, &run.s};
  for (int k = 0; k < 3; ++k) {
    if (status.ok()) {
      status = open_raster_input(*inputs[k], api, options.inputs[k], options.bands[k], no_nodata[k]);
    }
  }
  if (status.ok()) status = check_geometry(run.a, run.t, run.s);
  if (status.ok()) {
    status = output_nodata(run.out, run.a, options.nodata ? &*options.nodata : nullptr, run.nodata);
  }
  if (status.ok()) status = locate_whole_file(run.file, options.output);
  for (const RasterInput* in : inputs) {
    if (status.ok() && run.file.exists &&
        std::find(in->files.begin(), in->files.end(), run.file.identity) != in->files.end()) {
      status = failure(kGdalUsage, "the output %s would replace the input %s\n",
                       options.output.c_str(), in->name.c_str());
    }
  }
  if (status.ok()) status = begin_whole_file(run.file);
  if (status.ok()) status = create_output(run.out, options.out, run.a, run.nodata, run.file);
  return status;
}

// Computes the index strip by strip on `threads` threads; `share` of the
// progress is this part.
Status compute(GdalRun& run, int threads, double share) {
  EngineShape shape;
  shape.width = static_cast<int>(run.a.header.ncols);
  shape.height = static_cast<int>(run.a.header.nrows);
  shape.strip_rows = strip_height(shape.width, run.a.block_height);
  const RasterInput* inputs[3] = {&run.a, &run.t, &run.s};
  for (int k = 0; k < 3; ++k) {
    shape.blocks[k][0] = inputs[k]->block_width;
    shape.blocks[k][1] = inputs[k]->block_height;
  }
  shape.blocks[3][0] = run.out.block_width;
  shape.blocks[3][1] = run.out.block_height;
  // The reader makes NaN each cell without data; the output's nodata
  // value is written into those cells.
  ParameterTable table = make_parameter_table(run.a.header, run.s.header, run.t.header);
  table.value[kNodataValue][kGridA] = run.nodata;
  stats_reset(run.stats, statistics_threshold(table, NoDataRule::kNaN));
  EngineIo io;
  io.read = [&run](int first, int rows, Strip& a, Strip& t, Strip& s) {
    Status status = read_strip(run.a, a, first, rows, run.scratch);
    if (status.ok()) status = read_strip(run.t, t, first, rows, run.scratch);
    if (status.ok()) status = read_strip(run.s, s, first, rows, run.scratch);
    return status;
  };
  io.write = [&run](int first, int rows, const Strip& out) {
    return write_strip(run.out, out, first, rows, run.file);
  };
  io.progress = [&run, share](double done) { show_progress(run.out, share * done); };
  show_progress(run.out, 0);
  return run_engine(table, shape, threads, io, run.stats, kGdalNoMemory);
}

// Puts the output in place over no file an input reads, with the side
// files of a raster it replaces that belong to that raster alone: old
// statistics (.aux.xml) and overviews (.ovr) would else describe the new
// cells.
Status put_in_place(GdalRun& run) {
  std::vector<FileIdentity> inputs;
  for (const RasterInput* in : {&run.a, &run.t, &run.s}) {
    inputs.insert(inputs.end(), in->files.begin(), in->files.end());
  }
  const std::vector<std::string> stale = old_side_files(*run.out.api, run.file);
  return commit_whole_file(run.file, inputs, stale);
}

}  // namespace

int run_kavrix_gdal(const std::vector<std::string>& args, std::FILE* err) {
  if (asks_for_help(args)) return print_help(kUsage, stdout);
  if (args.size() == 1 && args[0] == "--version") {
    const std::string version = std::string("kavrix-gdal " KAVRIX_VERSION " (GDAL ") +
                                gdal_release(linked_gdal_api()) + ")\n";
    return print_help(version.c_str(), stdout);
  }
  GdalOptions options;
  Status status = parse_args(args, options);
  if (!status.ok()) status.message += kUsage;
  GdalRun run;
  if (status.ok()) status = prepare(run, options);
  // Progress would go into an output written to standard output.
  run.out.quiet = run.out.quiet || run.file.descriptor == 1;
  // A driver that can only copy takes the second half of the progress.
  const double share = run.out.copy_only ? 0.5 : 1.0;
  if (status.ok()) status = compute(run, options.threads, share);
  if (status.ok()) status = finish_output(run.out, options.out, run.a, run.stats, run.file, share);
  if (status.ok()) status = put_in_place(run);
  std::fwrite(status.message.data(), 1, status.message.size(), err);
  return status.exit_status;
}

}  // namespace kavrix
