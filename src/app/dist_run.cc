#include "app/dist_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <numeric>
#include <optional>
#include <utility>

#include "distribution/grid_scan.h"
#include "distribution/histogram_svg.h"
#include "distribution/index_classes.h"
#include "distribution/index_tables.h"
#include "app/console.h"
#include "base/status.h"
#include "grid/row_source.h"
#include "grid/whole_file.h"
#include "index/running_stats.h"
#ifdef KAVRIX_WITH_GDAL
#include "gdal/gdal_library.h"
#include "gdal/raster_source.h"
#endif

namespace kavrix {
namespace {

constexpr const char kUsage[] =
    "usage : kavrix-dist <grid> [-n <classes>] [--csv <file>] [--svg <file>]\n"
    "writes the distribution of the topographic index in <grid> on standard\n"
    "output as TOPMODEL reads it: per class, highest first, the index value\n"
    "and the fraction of cells\n"
    "<grid>        a text, double or single grid of kavrix, or any raster that\n"
    "              GDAL opens where it is installed (band 1: a GeoTIFF,\n"
    "              /vsizip/a.zip/x.tif, NETCDF:\"x.nc\":var, ...)\n"
    "-n <classes>  classes of equal width, 1 to 10000 (default 30)\n"
    "--csv <file>  the classes as a CSV table\n"
    "--svg <file>  the classes as an SVG histogram\n";

struct DistOptions {
  std::string grid;
  int classes = 30;
  std::string csv;  // empty: no table
  std::string svg;  // empty: no picture
};

Status parse_classes(const std::string& text, int& classes) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, classes);
  if (text.empty() || result.ec != std::errc() || result.ptr != end ||
      classes < 1 || classes > kMaxClasses) {
    return failure(kDistUsage,
                   "the number of classes must be a whole number from 1 to "
                   "%d, not \"%s\"\n",
                   kMaxClasses, text.c_str());
  }
  return {};
}

Status parse_args(const std::vector<std::string>& args, DistOptions& options) {
  std::optional<std::string> classes, csv, svg;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::optional<std::string>* value = arg == "-n"      ? &classes
                                        : arg == "--csv" ? &csv
                                        : arg == "--svg" ? &svg
                                                         : nullptr;
    if (value != nullptr) {
      if (i + 1 == args.size()) {
        return failure(kDistUsage, "option %s needs a value\n", arg.c_str());
      }
      *value = args[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return failure(kDistUsage, "unknown option %s\n", arg.c_str());
    } else if (!options.grid.empty() || arg.empty()) {
      return failure(kDistUsage, "one grid name is expected, not \"%s\"\n",
                     arg.c_str());
    } else {
      options.grid = arg;
    }
  }
  if (options.grid.empty()) return failure(kDistUsage, "no grid given\n");
  if ((csv && csv->empty()) || (svg && svg->empty())) {
    return failure(kDistUsage, "an output file name is empty\n");
  }
  options.csv = csv.value_or("");
  options.svg = svg.value_or("");
  return classes ? parse_classes(*classes, options.classes) : Status{};
}

// Where the CSV and the SVG go: not over the grid, known by the file it
// has open, nor both into one file.
Status locate_outputs(const DistOptions& options, const RowSource& grid,
                      WholeFile& csv, WholeFile& svg) {
  for (auto [file, name] : {std::pair{&csv, &options.csv}, {&svg, &options.svg}}) {
    if (name->empty()) continue;
    Status status = locate_whole_file(*file, *name);
    if (!status.ok()) return status;
    if (file->exists && std::find(grid.files.begin(), grid.files.end(),
                                  file->identity) != grid.files.end()) {
      return failure(kDistUsage, "%s would replace the grid itself\n",
                     name->c_str());
    }
  }
  // Two writes into one device or descriptor harm nothing.
  if (!options.csv.empty() && !options.svg.empty() && !csv.in_place &&
      same_whole_file(csv, svg)) {
    return failure(kDistUsage, "--csv and --svg name the same file %s\n",
                   options.csv.c_str());
  }
  return {};
}

// Opens the grid: kavrix's own formats first for a plain file (a FIFO
// there too, which they refuse before any writer comes), then any raster
// that GDAL opens, where GDAL is installed. A name that is no plain file
// (/vsizip/..., NETCDF:"x.nc":var, GTIFF_DIR:1:x.tif) goes to GDAL first;
// where GDAL cannot open it either, the message is kavrix's own.
Status open_grid(RowSource& grid, const std::string& name) {
#ifdef KAVRIX_WITH_GDAL
  struct stat info {};
  const bool plain =
      stat(name.c_str(), &info) == 0 && (S_ISREG(info.st_mode) || S_ISFIFO(info.st_mode));
  const GdalApi* gdal = plain ? nullptr : loaded_gdal_api();
  Status raster;
  if (gdal != nullptr) {
    raster = open_raster_source(grid, *gdal, name);
    if (raster.exit_status != kExitUnknownFormat) return raster;
  }
  Status status = open_grid_source(grid, name);
  if (status.exit_status != kExitUnknownFormat) return status;
  if (gdal != nullptr) return raster;
  // Any other raster in a plain file, where GDAL is installed to open it.
  gdal = loaded_gdal_api();
  return gdal != nullptr ? open_raster_source(grid, *gdal, name) : status;
#else
  return open_grid_source(grid, name);
#endif
}

// Reads the grid twice: its statistics, then its classes.
Status measure(const DistOptions& options, RowSource& grid, IndexSummary& summary,
               IndexClasses& classes, WholeFile& csv, WholeFile& svg) {
  Status status = open_grid(grid, options.grid);
  if (status.ok()) status = locate_outputs(options, grid, csv, svg);
  if (!status.ok()) return status;
  RunningStats stats;
  status = scan_statistics(grid, stats);
  if (!status.ok()) return status;
  summary.grid_name = options.grid;
  double sum = 0;
  stats_finish(stats, summary.count, summary.min, summary.max, sum,
               summary.mean, summary.stddev);
  if (summary.count == 0) {
    return failure(kDistNoCells,
                   "%s holds no finite value above its nodata_value + 1\n",
                   options.grid.c_str());
  }
  classes = make_classes(summary.min, summary.max, options.classes);
  status = scan_classes(grid, classes);
  if (!status.ok()) return status;
  const double counted =
      std::accumulate(classes.cells.begin(), classes.cells.end(), 0.0,
                      [](double sum, std::uint64_t cells) {
                        return sum + static_cast<double>(cells);
                      });
  if (counted != summary.count) {
    return failure(kDistShortGrid, "%s changed while it was read\n",
                   options.grid.c_str());
  }
  return {};
}

// Makes the files whole under temporary names, then writes the table, and
// only then puts the files in place: standard output stays empty if a
// file cannot be made, and nothing is replaced if the table cannot be
// written.
Status write_outputs(const DistOptions& options, const RowSource& grid,
                     const IndexSummary& summary, const IndexClasses& classes,
                     WholeFile& csv, WholeFile& svg, std::FILE* out) {
  Status status;
  if (!options.csv.empty()) status = write_whole_file(csv, classes_csv(summary, classes));
  if (status.ok() && !options.svg.empty()) {
    status = write_whole_file(svg, histogram_svg(summary, classes));
  }
  const std::string table = topmodel_table(summary, classes);
  if (status.ok() &&
      (std::fwrite(table.data(), 1, table.size(), out) != table.size() ||
       std::fflush(out) != 0)) {
    status = failure(kDistWriteFailed,
                     "error writing the table to standard output\n");
  }
  if (status.ok() && !options.csv.empty()) status = commit_whole_file(csv, grid.files);
  if (status.ok() && !options.svg.empty()) status = commit_whole_file(svg, grid.files);
  return status;
}

}  // namespace

int run_kavrix_dist(const std::vector<std::string>& args, std::FILE* out,
                    std::FILE* err) {
  if (asks_for_help(args)) return print_help(kUsage, out);
  DistOptions options;
  Status status = parse_args(args, options);
  if (!status.ok()) status.message += kUsage;
  // The grid stays open until the files are in place: none may replace a
  // file it reads. A failed run takes the files' temporaries along.
  RowSource grid;
  IndexSummary summary;
  IndexClasses classes;
  WholeFile csv, svg;
  if (status.ok()) status = measure(options, grid, summary, classes, csv, svg);
  if (status.ok()) status = write_outputs(options, grid, summary, classes, csv, svg, out);
  std::fwrite(status.message.data(), 1, status.message.size(), err);
  return status.exit_status;
}

}  // namespace kavrix
