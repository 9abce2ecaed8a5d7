// One-pass statistics of the computed index values.
#ifndef KAVRIX_INDEX_RUNNING_STATS_H_
#define KAVRIX_INDEX_RUNNING_STATS_H_

namespace kavrix {

/// Count, extremes, sum and sum of squares of the admitted values. A value
/// is admitted only when it is greater than threshold + 1.0, which keeps
/// nodata cells, NaN, -infinity and values near nodata out.
struct RunningStats {
  double count = 0;
  double min = 0;
  double max = 0;
  double sum = 0;
  double sum_sq = 0;
  double threshold = 0;
};

/// Restarts the count and the sums with a new threshold. min and max keep
/// their values until the next admitted value replaces both.
void stats_reset(RunningStats& stats, double threshold);

/// Admits `value` if it is greater than threshold + 1.0; else ignores it.
inline void stats_add(RunningStats& stats, double value) {
  if (!(value > stats.threshold + 1.0)) return;
  stats.sum += value;
  stats.count += 1.0;
  stats.sum_sq += value * value;
  if (stats.count == 1.0) {
    stats.min = value;
    stats.max = value;
  } else if (value < stats.min) {
    stats.min = value;
  } else if (value > stats.max) {
    stats.max = value;
  }
}

/// Writes count, minimum, maximum, sum, mean and sample standard deviation.
/// The mean of no value and the deviation of fewer than three are -9999.
void stats_finish(const RunningStats& stats, double& count, double& min,
                  double& max, double& sum, double& mean, double& stddev);

}  // namespace kavrix

#endif  // KAVRIX_INDEX_RUNNING_STATS_H_
