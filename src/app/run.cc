#include "app/run.h"

#include <cstdio>

#include "base/status.h"
#include "grid/grid_input.h"
#include "grid/grid_size.h"
#include "grid/row_buffer.h"
#include "grid/row_reader.h"
#include "index/agreement.h"
#include "index/cell_rule.h"
#include "index/running_stats.h"

namespace kavrix {
namespace {

constexpr const char kUsage[] =
    "usage : kavrix <flowaccumulation> <transmisivity> <slope> <outgrid> "
    "[-f:t|s|d]\n"
    "flowaccumulation m2\ntransmissivity m2/h\nslope grad\n\noutgrid ln( "
    "A/(T*tanB))\n\n"
    "-f:t|s|d output format. t=text (with double precision, this is "
    "default), d=double precision, s=single precision\n";

// Everything a run owns, released together when the run ends.
struct Run {
  GridInput a, t, s;  // flow accumulation, transmissivity, slope
  OutputGrid out;
  RunningStats stats;
  RowBuffer out_row;
  ScratchRow scratch;
};

Status run_sequence(Run& run, const std::vector<std::string>& args,
                    const Console& console) {
  run.a.name = args[0];
  run.t.name = args[1];
  run.s.name = args[2];
  run.out.name = args[3];
  run.out.format = output_format_from_switch(args);

  Status status;
  for (GridInput* grid : {&run.a, &run.t, &run.s}) {
    if (status.ok()) status = open_input_grid(*grid);
  }
  if (status.ok()) status = check_agreement(run.a, run.t, run.s);
  if (status.ok()) status = check_grid_size(run.a.header, run.a.name);
  const FileIdentity identities[] = {run.a.identity, run.t.identity,
                                     run.s.identity};
  if (status.ok()) status = open_output_grid(run.out, identities, console);
  if (!status.ok()) return status;
  // The grid size check keeps both counts within 32 bits.
  const int n = static_cast<int>(run.a.header.ncols);
  print_message(console, write_output_header(run.out, run.a.header));

  const ParameterTable table =
      make_parameter_table(run.a.header, run.s.header, run.t.header);
  const double nrows = table.value[kNrows][kGridA];
  const int rows = nrows >= 1.0 ? static_cast<int>(nrows) : 0;
  for (GridInput* grid : {&run.a, &run.t, &run.s}) grid->row = allocate_row(n);
  run.out_row = allocate_row(n);
  run.scratch = allocate_row<float>(n);
  if (!run.a.row || !run.t.row || !run.s.row || !run.out_row || !run.scratch) {
    return no_memory_for_row(n);
  }
  stats_reset(run.stats, statistics_threshold(table, NoDataRule::kAtOrBelow));

  Progress progress{console.out};
  for (int row = 1; row <= rows; ++row) {
    for (GridInput* grid : {&run.a, &run.t, &run.s}) {
      status = read_grid_row(*grid, run.scratch.get(), n, row);
      if (!status.ok()) return status;
    }
    compute_index_row(table, run.a.row.get(), run.t.row.get(),
                      run.s.row.get(), run.out_row.get(), n, run.stats);
    status = write_output_row(run.out, run.out_row.get(), run.scratch.get(),
                              n, row);
    if (!status.ok()) return status;
    progress_row_done(progress);
    if (row == rows) break;  // row + 1 would overflow at 2^31 - 1 rows
  }
  std::fputc('\n', console.out);

  if (run.out.format != GridFormat::text) {  // a text grid has no statistics
    stats_finish(run.stats, run.a.header.stat_count, run.a.header.stat_min,
                 run.a.header.stat_max, run.a.header.stat_sum,
                 run.a.header.stat_mean, run.a.header.stat_stddev);
  }
  status = write_output_statistics(run.out, run.a.header);
  if (!status.ok()) return status;
  return close_output_grid(run.out);
}

}  // namespace

GridFormat output_format_from_switch(const std::vector<std::string>& args) {
  if (args.size() < 5 || args[4].find("-f:") == std::string::npos) {
    return GridFormat::text;
  }
  // "-f:" holds a ':'; the character after one at the end is '\0'.
  const char choice = args[4][args[4].find(':') + 1];
  if (choice == 's') return GridFormat::binary_single;
  if (choice == 'd') return GridFormat::binary_double;
  return GridFormat::text;
}

int run_kavrix(const std::vector<std::string>& args, const Console& console) {
  if (args.size() < 4) {
    std::fputs(kUsage, console.out);
    std::fflush(console.out);
    return kExitUsage;
  }
  Run run;
  Status status = run_sequence(run, args, console);
  print_message(console, status);
  std::fflush(console.out);
  return status.exit_status;
}

}  // namespace kavrix
