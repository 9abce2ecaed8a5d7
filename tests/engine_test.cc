// The parallel engine against the cell rule on one row after another: the
// same cells and the same statistics, bit for bit, for any number of
// threads, any strip height and any layout of blocks; and a failure of a
// read or a write stops the run with its status.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "index/cell_rule.h"
#include "index/engine.h"

namespace kavrix {
namespace {

struct Raster {
  int width, height;
  std::vector<double> a, t, s;
};

// Cells of every kind the cell rule tells apart, NaN marking no data.
Raster random_raster(int width, int height, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  Raster r{width, height, {}, {}, {}};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int k = 0; k < width * height; ++k) {
    const double u = unit(random);
    r.a.push_back(u < 0.05 ? nan : u < 0.08 ? -1 : std::floor(unit(random) * 1e4));
    r.t.push_back(u > 0.97 ? nan : u > 0.94 ? -2 : 0.01 + unit(random) * 100);
    r.s.push_back(u > 0.5 && u < 0.53 ? nan : u < 0.6 && u > 0.57 ? 0.5 : unit(random) * 135);
  }
  return r;
}

std::string bits(const std::vector<double>& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(double));
}

TEST(Engine, SameCellsAndStatisticsForAnyThreadsStripsAndBlocks) {
  ParameterTable table;
  table.value[kCellsize][kGridA] = 25;
  table.value[kNodataValue][kGridA] = -9999;
  for (const auto& [width, height] : {std::pair{37, 61}, {1, 9}, {300, 2}}) {
    const Raster r = random_raster(width, height, static_cast<unsigned>(width * height));
    // One row after another, as kavrix computes.
    std::vector<double> a = r.a, t = r.t, s = r.s, expected(r.a.size());
    RunningStats one;
    stats_reset(one, statistics_threshold(table, NoDataRule::kNaN));
    for (int row = 0; row < height; ++row) {
      const std::size_t at = static_cast<std::size_t>(row * width);
      compute_index_row(table, &a[at] - 1, &t[at] - 1, &s[at] - 1, &expected[at] - 1, width, one,
                        NoDataRule::kNaN);
    }
    for (int threads : {1, 2, 3, 7}) {
      for (int strip_rows : {1, 4, 16}) {
        for (int block : {1, 8}) {
          SCOPED_TRACE(testing::Message() << width << "x" << height << " threads " << threads
                                          << " strips of " << strip_rows << " blocks " << block);
          EngineShape shape{width, height, strip_rows, {}};
          for (auto& b : shape.blocks) {
            b[0] = block == 1 ? width : block;
            b[1] = block;
          }
          std::vector<double> cells(r.a.size());
          EngineIo io;
          io.read = [&](int first, int rows, Strip& sa, Strip& st, Strip& ss) {
            for (int row = 0; row < rows; ++row) {
              for (int col = 0; col < width; ++col) {
                const std::size_t k = static_cast<std::size_t>((first + row) * width + col);
                *strip_cell(sa, row, col) = r.a[k];
                *strip_cell(st, row, col) = r.t[k];
                *strip_cell(ss, row, col) = r.s[k];
              }
            }
            return Status{};
          };
          io.write = [&](int first, int rows, const Strip& out) {
            for (int row = 0; row < rows; ++row) {
              for (int col = 0; col < width; ++col) {
                cells[static_cast<std::size_t>((first + row) * width + col)] = *strip_cell(out, row, col);
              }
            }
            return Status{};
          };
          double done = 0;
          io.progress = [&](double part) {
            EXPECT_GT(part, done);
            done = part;
          };
          RunningStats stats;
          stats_reset(stats, statistics_threshold(table, NoDataRule::kNaN));
          ASSERT_TRUE(run_engine(table, shape, threads, io, stats, kExitNoMemory).ok());
          EXPECT_EQ(bits(cells), bits(expected));
          EXPECT_EQ(std::memcmp(&stats, &one, sizeof stats), 0);
          EXPECT_EQ(done, 1.0);
        }
      }
    }
  }
}

TEST(Engine, AFailedReadOrWriteEndsTheRunWithItsStatus) {
  ParameterTable table;
  table.value[kCellsize][kGridA] = 1;
  for (int threads : {1, 2, 5}) {
    for (int failing : {0, 3, 9}) {
      for (bool reading : {true, false}) {
        SCOPED_TRACE(testing::Message() << threads << " threads, strip " << failing << (reading ? " read" : " written"));
        const EngineShape shape{4, 40, 4, {{4, 1}, {4, 1}, {4, 1}, {4, 1}}};
        int written = 0;
        EngineIo io;
        io.read = [&](int first, int, Strip&, Strip&, Strip&) {
          return reading && first / 4 == failing ? failure(5, "read %d\n", first) : Status{};
        };
        io.write = [&](int first, int, const Strip&) {
          if (!reading && first / 4 == failing) return failure(6, "write %d\n", first);
          ++written;
          return Status{};
        };
        RunningStats stats;
        const Status status = run_engine(table, shape, threads, io, stats, kExitNoMemory);
        EXPECT_EQ(status.exit_status, reading ? 5 : 6);
        EXPECT_EQ(status.message, (reading ? "read " : "write ") + std::to_string(failing * 4) + "\n");
        EXPECT_LE(written, failing);
      }
    }
  }
}

}  // namespace
}  // namespace kavrix
