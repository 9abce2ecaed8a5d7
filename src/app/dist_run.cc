#include "app/dist_run.h"

#include <charconv>
#include <filesystem>
#include <numeric>
#include <optional>

#include "distribution/grid_scan.h"
#include "distribution/histogram_svg.h"
#include "distribution/index_classes.h"
#include "distribution/index_tables.h"
#include "distribution/replace_file.h"
#include "base/status.h"
#include "index/running_stats.h"

namespace kavrix {
namespace {

constexpr const char kUsage[] =
    "usage : kavrix-dist <grid> [-n <classes>] [--csv <file>] [--svg <file>]\n"
    "writes the distribution of the topographic index in <grid>, a text,\n"
    "double or single grid of kavrix, on standard output as TOPMODEL reads\n"
    "it: per class, highest first, the index value and the fraction of cells\n"
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

// Refuses outputs that would replace the grid, known by the file it has
// open, or each other.
Status check_output_names(const DistOptions& options, const GridInput& grid) {
  const std::string& file =
      names_one_of(options.csv, {&grid.identity, 1}) ? options.csv : options.svg;
  if (names_one_of(file, {&grid.identity, 1})) {
    return failure(kDistUsage, "%s would replace the grid itself\n",
                   file.c_str());
  }
  // Two names of one existing file, or of one file still to be made.
  namespace fs = std::filesystem;
  const auto place = [](const std::string& name) {
    std::error_code error;
    const fs::path path = fs::weakly_canonical(fs::absolute(name), error);
    return error ? fs::path(name) : path;
  };
  std::error_code error;
  if (!options.csv.empty() && !options.svg.empty() &&
      (fs::equivalent(options.csv, options.svg, error) ||
       place(options.csv) == place(options.svg))) {
    return failure(kDistUsage, "--csv and --svg name the same file %s\n",
                   options.csv.c_str());
  }
  return {};
}

// Reads the grid twice: its statistics, then its classes.
Status measure(const DistOptions& options, IndexSummary& summary,
               IndexClasses& classes) {
  GridScan scan;
  Status status = open_grid_scan(scan, options.grid);
  if (status.ok()) status = check_output_names(options, scan.grid);
  if (!status.ok()) return status;
  RunningStats stats;
  status = scan_statistics(scan, stats);
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
  status = scan_classes(scan, classes);
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

// Writes the files under temporary names, then the table, and only then
// puts the files in place: standard output stays empty if a file cannot
// be written, and nothing is replaced if the table cannot.
Status write_outputs(const DistOptions& options, const IndexSummary& summary,
                     const IndexClasses& classes, std::FILE* out) {
  PendingFile csv;
  PendingFile svg;
  csv.target = options.csv;
  svg.target = options.svg;
  Status status;
  if (!csv.target.empty())
    status = write_pending_file(csv, classes_csv(summary, classes));
  if (status.ok() && !svg.target.empty()) {
    status = write_pending_file(svg, histogram_svg(summary, classes));
  }
  const std::string table = topmodel_table(summary, classes);
  if (status.ok() &&
      (std::fwrite(table.data(), 1, table.size(), out) != table.size() ||
       std::fflush(out) != 0)) {
    status = failure(kDistWriteFailed,
                     "error writing the table to standard output\n");
  }
  if (status.ok() && !csv.target.empty()) status = commit_pending_file(csv);
  if (status.ok() && !svg.target.empty()) status = commit_pending_file(svg);
  discard_pending_file(csv);
  discard_pending_file(svg);
  return status;
}

}  // namespace

int run_kavrix_dist(const std::vector<std::string>& args, std::FILE* out,
                    std::FILE* err) {
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    std::fputs(kUsage, out);
    return std::fflush(out) == 0 ? kExitSuccess : kDistWriteFailed;
  }
  DistOptions options;
  Status status = parse_args(args, options);
  if (!status.ok()) status.message += kUsage;
  IndexSummary summary;
  IndexClasses classes;
  if (status.ok()) status = measure(options, summary, classes);
  if (status.ok()) status = write_outputs(options, summary, classes, out);
  std::fwrite(status.message.data(), 1, status.message.size(), err);
  return status.exit_status;
}

}  // namespace kavrix
