// The running statistics: admission threshold and the six results.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>

#include "index/running_stats.h"

namespace kavrix {
namespace {

struct Results {
  double count, min, max, sum, mean, stddev;
};

Results finish(const RunningStats& stats) {
  Results r{};
  stats_finish(stats, r.count, r.min, r.max, r.sum, r.mean, r.stddev);
  return r;
}

Results of(std::initializer_list<double> values, double threshold = -9999) {
  RunningStats stats;
  stats_reset(stats, threshold);
  for (double v : values) stats_add(stats, v);
  return finish(stats);
}

TEST(RunningStats, TooFewValuesGiveTheMissingMark) {
  Results none = of({});
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(none.min, 0);
  EXPECT_EQ(none.max, 0);
  EXPECT_EQ(none.sum, 0);
  EXPECT_EQ(none.mean, -9999);
  EXPECT_EQ(none.stddev, -9999);
  Results one = of({4.5});
  EXPECT_EQ(one.min, 4.5);
  EXPECT_EQ(one.max, 4.5);
  EXPECT_EQ(one.mean, 4.5);
  EXPECT_EQ(one.stddev, -9999);
  Results two = of({2, 4});
  EXPECT_EQ(two.mean, 3);
  EXPECT_EQ(two.stddev, -9999);
}

TEST(RunningStats, SampleDeviationFromTheRunningSums) {
  Results r = of({1, 2, 3});
  EXPECT_EQ(r.count, 3);
  EXPECT_EQ(r.sum, 6);
  EXPECT_EQ(r.stddev, 1);
  Results four = of({7, 9, 8, 6});
  EXPECT_EQ(four.min, 6);
  EXPECT_EQ(four.max, 9);
  EXPECT_EQ(four.mean, 7.5);
  EXPECT_EQ(four.stddev, std::sqrt(5.0 / 3.0));
  EXPECT_EQ(of({5, 5, 5}).stddev, 0);
  // Rounding can make the squared deviations negative: 0, not NaN.
  EXPECT_EQ(of({0.1, 0.1, 0.1}).stddev, 0);
  // The formula, not a more stable one: large equal-ish values lose digits.
  double a = 1e8 + 0.1, b = 1e8 + 0.2, c = 1e8 + 0.3;
  double sum = a + b + c, sq = a * a + b * b + c * c;
  double d = sq - (sum * sum) / 3;
  EXPECT_EQ(of({a, b, c}).stddev, d > 0 ? std::sqrt(d / 2) : 0.0);
}

TEST(RunningStats, ExtremesInAnyOrder) {
  Results r = of({3, 1, 2});
  EXPECT_EQ(r.min, 1);
  EXPECT_EQ(r.max, 3);
  r = of({-5, 10, -7, 12});
  EXPECT_EQ(r.min, -7);
  EXPECT_EQ(r.max, 12);
}

TEST(RunningStats, AdmitsOnlyValuesAboveThresholdPlusOne) {
  EXPECT_EQ(of({-9998}).count, 0);
  EXPECT_EQ(of({-9999}).count, 0);
  EXPECT_EQ(of({-9997.5}).count, 1);
  EXPECT_EQ(of({std::nan("")}).count, 0);
  EXPECT_EQ(of({-std::numeric_limits<double>::infinity()}).count, 0);
  EXPECT_EQ(of({1.0}, 0).count, 0);
  EXPECT_EQ(of({1.5}, 0).count, 1);
}

TEST(RunningStats, ResetKeepsExtremesUntilTheNextAdmittedValue) {
  RunningStats stats;
  stats_reset(stats, -9999);
  stats_add(stats, 3);
  stats_add(stats, 8);
  stats_reset(stats, -9999);
  Results after_reset = finish(stats);
  EXPECT_EQ(after_reset.count, 0);
  EXPECT_EQ(after_reset.min, 3);
  EXPECT_EQ(after_reset.max, 8);
  stats_add(stats, 5);
  Results r = finish(stats);
  EXPECT_EQ(r.min, 5);
  EXPECT_EQ(r.max, 5);
}

}  // namespace
}  // namespace kavrix
