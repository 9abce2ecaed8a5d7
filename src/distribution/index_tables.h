// The distribution of the index as text: the statistics file that TOPMODEL
// reads, and a CSV table of the classes.
#ifndef KAVRIX_DISTRIBUTION_INDEX_TABLES_H_
#define KAVRIX_DISTRIBUTION_INDEX_TABLES_H_

#include <string>

#include "distribution/index_classes.h"

namespace kavrix {

/// The grid's name and the statistics of its counted values.
struct IndexSummary {
  std::string grid_name;
  double count = 0;
  double min = 0;
  double max = 0;
  double mean = 0;
  double stddev = 0;  ///< sample deviation; -9999 for fewer than 3 values
};

/// The name with line ends and other control characters replaced by '?',
/// so that it fits on one line of a table or a picture.
std::string printable_name(const std::string& name);

/// TOPMODEL's topographic-index statistics: '#' comment lines with the
/// summary, then per class, highest first, its mid value and the fraction
/// of counted cells in it, separated by one blank. Numbers are in shortest
/// round-trip form. REQUIRES: summary.count > 0.
std::string topmodel_table(const IndexSummary& summary,
                           const IndexClasses& classes);

/// A CSV table with the header lower,upper,mid,cells,fraction,
/// cumulative_fraction and one row per class, highest first; the
/// cumulative fraction counts from the highest class down and ends at 1.
/// REQUIRES: summary.count > 0.
std::string classes_csv(const IndexSummary& summary,
                        const IndexClasses& classes);

}  // namespace kavrix

#endif  // KAVRIX_DISTRIBUTION_INDEX_TABLES_H_
