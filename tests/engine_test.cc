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

// Strips of a raster held row after row in `grids` (A, T, S, output).
EngineIo io_of(std::vector<double> (&grids)[4], int width) {
  const auto at = [width](int row, int col) { return static_cast<std::size_t>(row * width + col); };
  EngineIo io;
  io.read = [&grids, width, at](int first, int rows, Strip& a, Strip& t, Strip& s) {
    Strip* strips[3] = {&a, &t, &s};
    for (int g = 0; g < 3; ++g) {
      for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < width; ++col) *strip_cell(*strips[g], row, col) = grids[g][at(first + row, col)];
      }
    }
    return Status{};
  };
  io.write = [&grids, width, at](int first, int rows, const Strip& out) {
    for (int row = 0; row < rows; ++row) {
      for (int col = 0; col < width; ++col) grids[3][at(first + row, col)] = *strip_cell(out, row, col);
    }
    return Status{};
  };
  return io;
}

TEST(Engine, SameCellsAndStatisticsForAnyThreadsStripsAndBlocks) {
  ParameterTable table;
  table.value[kCellsize][kGridA] = 25;
  table.value[kNodataValue][kGridA] = -9999;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const auto& [width, height] : {std::pair{37, 61}, {1, 9}, {300, 2}}) {
    // Cells of every kind the cell rule tells apart, NaN marking no data.
    std::vector<double> grids[4];
    std::mt19937_64 random(static_cast<unsigned>(width * height));
    std::uniform_real_distribution<double> unit(0, 1);
    for (int k = 0; k < width * height; ++k) {
      const double u = unit(random), v = unit(random);
      grids[0].push_back(u < 0.05 ? nan : u < 0.08 ? -1 : std::floor(v * 1e4));
      grids[1].push_back(u > 0.97 ? nan : u > 0.94 ? -2 : 0.01 + v * 100);
      grids[2].push_back(u > 0.5 && u < 0.53 ? nan : u < 0.6 && u > 0.57 ? 0.5 : v * 135);
    }
    // One row after another, as kavrix computes.
    std::vector<double> in[3] = {grids[0], grids[1], grids[2]}, expected(grids[0].size());
    RunningStats one;
    stats_reset(one, statistics_threshold(table, NoDataRule::kNaN));
    for (std::size_t at = 0; at < expected.size(); at += static_cast<std::size_t>(width)) {
      compute_index_row(table, &in[0][at] - 1, &in[1][at] - 1, &in[2][at] - 1, &expected[at] - 1, width, one,
                        NoDataRule::kNaN);
    }
    grids[3].resize(expected.size());
    for (int threads : {1, 2, 3, 7}) {
      for (int strip_rows : {1, 4, 16}) {
        for (int block : {1, 8}) {
          // Side by side over concurrent io, the threads keep no statistics.
          for (bool concurrent : {false, true}) {
            SCOPED_TRACE(testing::Message() << width << "x" << height << " threads " << threads
                                            << " strips of " << strip_rows << " blocks " << block
                                            << (concurrent ? " concurrent" : ""));
            EngineShape shape{width, height, strip_rows, {}};
            for (auto& b : shape.blocks) b[0] = block == 1 ? width : block, b[1] = block;
            EngineIo io = io_of(grids, width);
            io.concurrent = concurrent;
            double done = 0;
            io.progress = [&done](double part) {
              EXPECT_GT(part, done);
              done = part;
            };
            std::fill(grids[3].begin(), grids[3].end(), 0.0);
            RunningStats stats, kept;
            stats_reset(stats, statistics_threshold(table, NoDataRule::kNaN));
            kept = concurrent && threads > 1 ? stats : one;
            ASSERT_TRUE(run_engine(table, shape, threads, io, stats, kExitNoMemory).ok());
            EXPECT_EQ(std::memcmp(grids[3].data(), expected.data(), expected.size() * sizeof(double)), 0);
            EXPECT_EQ(std::memcmp(&stats, &kept, sizeof stats), 0);
            EXPECT_EQ(done, concurrent && threads > 1 ? 0.0 : 1.0);
          }
        }
      }
    }
  }
}

TEST(Engine, AFailedReadOrWriteEndsTheRunWithItsStatus) {
  ParameterTable table;
  table.value[kCellsize][kGridA] = 1;
  std::vector<double> grids[4] = {std::vector<double>(160, 1), std::vector<double>(160, 1), std::vector<double>(160, 9), std::vector<double>(160)};
  for (int threads : {1, 2, 5}) {
    for (int failing : {0, 3, 9}) {
      for (int mode = 0; mode < 4; ++mode) {
        const bool reading = mode % 2 == 0, concurrent = mode >= 2;
        SCOPED_TRACE(testing::Message() << threads << " threads, strip " << failing << (reading ? " read" : " written")
                                        << (concurrent ? ", concurrent" : ""));
        EngineIo io = io_of(grids, 4);
        io.concurrent = concurrent;
        int written = 0;
        const auto read = io.read;
        const auto write = io.write;
        io.read = [&](int first, int rows, Strip& a, Strip& t, Strip& s) {
          return reading && first / 4 == failing ? failure(5, "read %d\n", first) : read(first, rows, a, t, s);
        };
        io.write = [&](int first, int rows, const Strip& out) {
          written += !reading && first / 4 == failing ? 0 : 1;
          return !reading && first / 4 == failing ? failure(6, "write %d\n", first) : write(first, rows, out);
        };
        RunningStats stats;
        const Status status = run_engine(table, {4, 40, 4, {{4, 1}, {4, 1}, {4, 1}, {4, 1}}}, threads, io, stats, kExitNoMemory);
        EXPECT_EQ(status.message, (reading ? "read " : "write ") + std::to_string(failing * 4) + "\n");
        EXPECT_EQ(status.exit_status, reading ? 5 : 6);
        // Side by side, strips after the failing one may be done before it.
        if (!concurrent) {
          EXPECT_LE(written, failing);
        }
      }
    }
  }
}

}  // namespace
}  // namespace kavrix
