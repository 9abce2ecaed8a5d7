// The distribution of the index as a picture: an SVG histogram.
#ifndef KAVRIX_DISTRIBUTION_HISTOGRAM_SVG_H_
#define KAVRIX_DISTRIBUTION_HISTOGRAM_SVG_H_

#include <string>

#include "distribution/index_classes.h"
#include "distribution/index_tables.h"

namespace kavrix {

/// A self-contained SVG document: one bar (the only `rect` elements) per
/// class, as high as its fraction of the counted cells; an axis of index
/// values and one of fractions, both with round tick values; the mean as a
/// labelled line; the grid's name and cell count as the title.
/// REQUIRES: summary.count > 0.
std::string histogram_svg(const IndexSummary& summary,
                          const IndexClasses& classes);

}  // namespace kavrix

#endif  // KAVRIX_DISTRIBUTION_HISTOGRAM_SVG_H_
