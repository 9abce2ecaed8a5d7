#include "index/running_stats.h"

#include <cmath>

#include "grid/grid_header.h"

namespace kavrix {

void stats_reset(RunningStats& stats, double threshold) {
  stats = {0, stats.min, stats.max, 0, 0, threshold};
}

void stats_finish(const RunningStats& stats, double& count, double& min,
                  double& max, double& sum, double& mean, double& stddev) {
  count = stats.count;
  min = stats.min;
  max = stats.max;
  sum = stats.sum;
  mean = stats.count > 0 ? stats.sum / stats.count : kNoDataMark;
  stddev = kNoDataMark;
  if (stats.count > 2) {
    // Sum of squared deviations from the running sums; rounding can bring
    // it to zero or below when all values are (nearly) equal.
    double d = stats.sum_sq - (stats.sum * stats.sum) / stats.count;
    stddev = d > 0 ? std::sqrt(d / (stats.count - 1)) : 0.0;
  }
}

}  // namespace kavrix
