// Recognition of the input formats by content, and header reading.
#include <gtest/gtest.h>

#include "grid/grid_input.h"
#include "test_util.h"

namespace kavrix {
namespace {

using test::Grid;
using test::make_grid;

class GridInputTest : public ::testing::Test {
 protected:
  // Opens `bytes` written to a file as an input grid.
  Status open(const std::string& bytes) {
    grid_ = GridInput{};
    grid_.name = dir_.path("grid");
    test::write_file(grid_.name, bytes);
    return open_input_grid(grid_);
  }
  std::string unknown() const {
    return "could not recognise file format (ascii, single or double) for " +
           grid_.name + "\n";
  }

  test::TempDir dir_;
  GridInput grid_;
};

TEST_F(GridInputTest, TextHeaderNumbersArePlacedByPosition) {
  ASSERT_TRUE(open("ncols 4\nnrows 3\nxll 0.5\nyll 0\ncellsize 10\n"
                   "nodata_value -9999\n1 2 3 4\n").ok());
  EXPECT_EQ(grid_.format, GridFormat::text);
  EXPECT_EQ(grid_.header.ncols, 4);
  EXPECT_EQ(grid_.header.nrows, 3);
  EXPECT_EQ(grid_.header.xll, 0.5);
  EXPECT_EQ(grid_.header.cellsize, 10);
  EXPECT_EQ(grid_.header.nodata_value, -9999);
  EXPECT_EQ(grid_.header.stat_count, 0);
  double first = 0;
  ASSERT_TRUE(read_text_number(grid_.text, first));
  EXPECT_EQ(first, 1);

  // One line, any keywords, swapped lines: position decides.
  ASSERT_TRUE(open("ncols 2 nrows 5 xllcenter 7 y 8 c 2 n -1").ok());
  EXPECT_EQ(grid_.header.nrows, 5);
  EXPECT_EQ(grid_.header.xll, 7);
  EXPECT_EQ(grid_.header.nodata_value, -1);
  ASSERT_TRUE(open("ncolsnrows 9\nncols 4\nx 0\ny 0\nc 1\nn -9999\n").ok());
  EXPECT_EQ(grid_.header.ncols, 9);
  EXPECT_EQ(grid_.header.nrows, 4);
  // A keyword far longer than any buffer is skipped safely.
  ASSERT_TRUE(open("ncols" + std::string(200000, 'x') +
                   " 3 nrows 1 x 0 y 0 c 1 n -9999\n").ok());
  EXPECT_EQ(grid_.header.ncols, 3);
}

TEST_F(GridInputTest, TextHeaderThatCannotBeReadIsRefused) {
  const std::string message = "could not read the header of ";
  for (const char* bytes :
       {"ncol", "ncols 4\nnrows 3\n", "ncols 4 nrows x xll 0 yll 0 c 1 n 1",
        "ncols 4 nrows 3 xll 0 yll 0 cellsize 1 nodata_value"}) {
    Status status = open(bytes);
    EXPECT_EQ(status.exit_status, 7) << bytes;
    EXPECT_EQ(status.message, message + grid_.name + "\n");
  }
}

TEST_F(GridInputTest, NearMissesOfTextAreUnknown) {
  for (const char* bytes : {"NCOLS 4\nnrows 3\n", "\nncols 4\n",
                            "\xEF\xBB\xBFncols 4\n", " ncols 4", "nco", ""}) {
    Status status = open(bytes);
    EXPECT_EQ(status.exit_status, 98) << bytes;
    EXPECT_EQ(status.message, unknown());
  }
}

TEST_F(GridInputTest, BinaryGridsNeedTheNodataMarkInTheirOwnPrecision) {
  Grid grid = make_grid(2, 2, {1, 2, 3, 4});
  grid.header[2] = 3512345.5;
  grid.header[6] = 42;  // statistics are read as stored
  ASSERT_TRUE(open(test::double_grid(grid)).ok());
  EXPECT_EQ(grid_.format, GridFormat::binary_double);
  EXPECT_EQ(grid_.header.xll, 3512345.5);
  EXPECT_EQ(grid_.header.stat_count, 42);
  EXPECT_EQ(std::ftell(grid_.file.get()), 96);

  grid.header[4] = 0.1;
  ASSERT_TRUE(open(test::single_grid(grid)).ok());
  EXPECT_EQ(grid_.format, GridFormat::binary_single);
  EXPECT_EQ(grid_.header.cellsize, 0.10000000149011612);  // widened, not 0.1
  EXPECT_EQ(std::ftell(grid_.file.get()), 48);

  grid.header[5] = -9999.0001;  // rounds to -9999 in single precision
  EXPECT_EQ(open(test::double_grid(grid)).exit_status, 98);
  EXPECT_TRUE(open(test::single_grid(grid)).ok());
  for (double nodata : {-9998.0, -9999.001}) {
    grid.header[5] = nodata;
    EXPECT_EQ(open(test::double_grid(grid)).exit_status, 98);
    EXPECT_EQ(open(test::single_grid(grid)).message, unknown());
  }
}

TEST_F(GridInputTest, OnlyBytesTheFileHoldsTakePart) {
  std::string doubles = test::double_grid(make_grid(1, 0, {}));
  // The sixth double ends at byte 48: a cut after it still is a double grid.
  EXPECT_EQ(open(doubles.substr(0, 48)).ok(), true);
  EXPECT_EQ(grid_.format, GridFormat::binary_double);
  EXPECT_EQ(open(doubles.substr(0, 47)).exit_status, 98);
  // A field cut by the end of the file is 0, not the bytes that arrived.
  ASSERT_TRUE(open(doubles.substr(0, 48) + std::string("\0\0\xF0\x3F", 4)).ok());
  EXPECT_EQ(grid_.header.stat_count, 0);
  std::string singles = test::single_grid(make_grid(1, 0, {}));
  EXPECT_TRUE(open(singles.substr(0, 24)).ok());
  EXPECT_EQ(grid_.format, GridFormat::binary_single);
  EXPECT_EQ(open(singles.substr(0, 23)).exit_status, 98);
}

TEST_F(GridInputTest, MissingInputCannotBeOpened) {
  grid_.name = dir_.path("absent");
  Status status = open_input_grid(grid_);
  EXPECT_EQ(status.exit_status, 3);
  EXPECT_EQ(status.message, "could not open input grid " + grid_.name + "\n");
  grid_.name = dir_.path("");  // a folder
  EXPECT_EQ(open_input_grid(grid_).exit_status, 3);
}

}  // namespace
}  // namespace kavrix
