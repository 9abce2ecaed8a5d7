// The cell rule: hard values, lower bounds, nodata and non-finite cells.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "index/cell_rule.h"

namespace kavrix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One cell through the rule, with its own nodata values and cellsize.
struct Cell {
  double a, t, s;
  double out = 0;
  RunningStats stats;

  Cell(double a_, double t_, double s_, double cellsize = 10,
       double nodata_a = -9999, double nodata_t = -9999,
       double nodata_s = -9999)
      : a(a_), t(t_), s(s_) {
    GridHeader ha, ht, hs;
    ha.cellsize = cellsize;
    ha.nodata_value = nodata_a;
    ht.nodata_value = nodata_t;
    hs.nodata_value = nodata_s;
    ParameterTable table = make_parameter_table(ha, hs, ht);
    stats_reset(stats, -9999);
    double ra[2] = {0, a}, rt[2] = {0, t}, rs[2] = {0, s}, ro[2] = {0, 0};
    compute_index_row(table, ra, rt, rs, ro, 1, stats);
    a = ra[1];
    t = rt[1];
    s = rs[1];
    out = ro[1];
  }
};

TEST(CellRule, DegreeFactorIsTheRoundedPiOver180OfTheStoredFiles) {
  EXPECT_EQ(std::bit_cast<uint64_t>(kDegreeFactor), 0x3F91DF46A2443411u);
  EXPECT_EQ(kDegreeFactor, 3.141592653 / 180);
  EXPECT_NE(kDegreeFactor, M_PI / 180);
}

TEST(CellRule, KnownValues) {
  // tan(45 degrees) here is 0.99999999970510, not 1.
  EXPECT_DOUBLE_EQ(Cell(0, 1, 45).out, 4.60517018628299);
  EXPECT_NE(Cell(0, 1, 45).out, std::log(100.0));
  EXPECT_DOUBLE_EQ(Cell(9, 2.5, 10).out, 7.72687970996848);
  // At 90 degrees the angle falls short of a right angle: finite.
  Cell steep(0, 1, 90);
  EXPECT_TRUE(std::isfinite(steep.out));
  EXPECT_NEAR(std::tan(90 * kDegreeFactor), 3391018941.58, 0.01);
}

TEST(CellRule, DividesByTransmissivityThenByTheTangent) {
  // Exactly the two divisions, in this order, bit for bit.
  for (double s : {2.0, 17.3, 45.0, 61.7, 89.9}) {
    for (double t : {0.3, 2.5, 7.1}) {
      double expected = std::log((100.0 * 4.0) / t / std::tan(s * kDegreeFactor));
      EXPECT_EQ(Cell(3, t, s).out, expected) << t << " " << s;
    }
  }
}

TEST(CellRule, AreaIsTheSquaredCellSizeTimesCells) {
  // (cellsize * cellsize) * (A + 1), the square first: with a cellsize of
  // 0.7 the other grouping differs in the last bit.
  const double cellsize = 0.7;
  Cell c(6, 1, 45, cellsize);
  EXPECT_EQ(c.a, (cellsize * cellsize) * 7.0);
  ASSERT_NE((cellsize * cellsize) * 7.0, cellsize * (cellsize * 7.0));
}

TEST(CellRule, LowerBoundsOnTransmissivityAndSlope) {
  Cell c(99, 0, 0.5, 25);
  EXPECT_NEAR(c.out, 33.5117279985478, 1e-12);
  // The buffers keep the raised values and the area.
  EXPECT_EQ(c.t, 1e-8);
  EXPECT_EQ(c.s, 1.0);
  EXPECT_EQ(c.a, 62500.0);
  EXPECT_EQ(Cell(99, -3, 5).t, 1e-8);
  EXPECT_EQ(Cell(99, 1, 1.0).s, 1.0);
  EXPECT_EQ(Cell(99, 1, 1.000001).s, 1.000001);
  EXPECT_EQ(Cell(99, 1e-9, 5).t, 1e-9);  // small but positive stays
}

TEST(CellRule, CellsWithoutDataTakeTheNodataValueOfA) {
  for (Cell c : {Cell(-9999, 1, 5), Cell(-10000, 1, 5), Cell(1, -9999, 5),
                 Cell(1, 1, -9999), Cell(kNaN, 1, 5), Cell(1, kNaN, 5),
                 Cell(1, 1, kNaN)}) {
    EXPECT_EQ(c.out, -9999);
    EXPECT_EQ(c.stats.count, 0);
  }
  // Each grid's own nodata value decides; the output takes A's.
  Cell t_nodata(1, -9998.95, 5, 10, -9999, -9998.95);
  EXPECT_EQ(t_nodata.out, -9999);
  EXPECT_EQ(t_nodata.t, -9998.95);  // inputs untouched
  Cell t_valid(1, -9998.9, 5, 10, -9999, -9998.95);
  EXPECT_EQ(t_valid.t, 1e-8);
  Cell a_nodata(5, 1, 5, 10, -1, -9999, -9999);
  EXPECT_NE(a_nodata.out, -1);
  EXPECT_EQ(Cell(-1, 1, 5, 10, -1).out, -1);
}

TEST(CellRule, NonFiniteResultsAreWrittenButNotCounted) {
  Cell zero_area(-1, 1, 5);
  EXPECT_EQ(zero_area.out, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(zero_area.stats.count, 0);
  Cell obtuse(5, 1, 135);  // negative tangent
  EXPECT_TRUE(std::isnan(obtuse.out));
  EXPECT_EQ(obtuse.stats.count, 0);
  EXPECT_EQ(Cell(5, 1, 30).stats.count, 1);
}

TEST(CellRule, NoColumnsComputesNothing) {
  GridHeader h;
  ParameterTable table = make_parameter_table(h, h, h);
  RunningStats stats;
  double a[1] = {7}, t[1] = {7}, s[1] = {7}, out[1] = {7};
  compute_index_row(table, a, t, s, out, 0, stats);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(stats.count, 0);
}

TEST(ParameterTable, ColumnsAreAThenSThenT) {
  GridHeader a, s, t;
  a.ncols = 1;
  s.ncols = 2;
  t.ncols = 3;
  a.nodata_value = -1;
  s.nodata_value = -2;
  t.nodata_value = -3;
  ParameterTable table = make_parameter_table(a, s, t);
  EXPECT_EQ(table.value[kNcols][kGridA], 1);
  EXPECT_EQ(table.value[kNcols][kGridS], 2);
  EXPECT_EQ(table.value[kNcols][kGridT], 3);
  EXPECT_EQ(table.value[kNodataValue][kGridS], -2);
}

}  // namespace
}  // namespace kavrix
