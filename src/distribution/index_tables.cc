#include "distribution/index_tables.h"

#include <algorithm>

#include "distribution/value_text.h"

namespace kavrix {

std::string printable_name(const std::string& name) {
  std::string out = name;
  std::replace_if(
      out.begin(), out.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; },
      '?');
  return out;
}

std::string topmodel_table(const IndexSummary& summary,
                           const IndexClasses& classes) {
  const int count = static_cast<int>(classes.cells.size());
  std::string out = "# topographic index distribution of " +
                    printable_name(summary.grid_name) + "\n";
  out += "# cells counted " + fixed_text(summary.count, 0) + "\n";
  out += "# minimum " + shortest_text(summary.min) + "\n";
  out += "# maximum " + shortest_text(summary.max) + "\n";
  out += "# mean " + shortest_text(summary.mean) + "\n";
  out += "# standard deviation " + shortest_text(summary.stddev) + "\n";
  out += "# " + std::to_string(count) +
         " classes, highest first: index value (class mid), fraction of "
         "cells\n";
  for (int k = count - 1; k >= 0; --k) {
    const double cells = static_cast<double>(classes.cells[k]);
    out += shortest_text(class_mid(classes, k)) + " " +
           shortest_text(cells / summary.count) + "\n";
  }
  return out;
}

std::string classes_csv(const IndexSummary& summary,
                        const IndexClasses& classes) {
  std::string out = "lower,upper,mid,cells,fraction,cumulative_fraction\n";
  double above = 0;  // cells in this class and the ones above it
  for (int k = static_cast<int>(classes.cells.size()) - 1; k >= 0; --k) {
    const double cells = static_cast<double>(classes.cells[k]);
    above += cells;
    out += shortest_text(class_lower(classes, k)) + "," +
           shortest_text(class_upper(classes, k)) + "," +
           shortest_text(class_mid(classes, k)) + "," +
           std::to_string(classes.cells[k]) + "," +
           shortest_text(cells / summary.count) + "," +
           shortest_text(above / summary.count) + "\n";
  }
  return out;
}

}  // namespace kavrix
