// The text reader against fscanf itself: the same numbers, the same
// failures, wherever the tokens fall relative to the reader's blocks.
#include "grid/text_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace kavrix {
namespace {

// What a loop of fscanf("%lg") yields on `text`, up to the first failure.
std::vector<double> scanf_numbers(const std::string& path) {
  std::vector<double> numbers;
  std::FILE* file = std::fopen(path.c_str(), "r");
  double value;
  while (std::fscanf(file, "%lg", &value) == 1) numbers.push_back(value);
  std::fclose(file);
  return numbers;
}

// What the reader yields on `text`, one value at a time or `row` at a time.
std::vector<double> reader_numbers(const std::string& path, size_t row) {
  std::vector<double> numbers;
  std::FILE* file = std::fopen(path.c_str(), "r");
  TextReader reader;
  text_reader_attach(reader, file);
  std::vector<double> values(row);
  for (;;) {
    size_t got = read_text_numbers(reader, values.data(), row);
    numbers.insert(numbers.end(), values.begin(), values.begin() + got);
    if (got < row) break;
  }
  std::fclose(file);
  return numbers;
}

void expect_same_as_scanf(const std::string& text) {
  test::TempDir dir;
  const std::string path = dir.path("grid.txt");
  test::write_file(path, text);
  const std::vector<double> expected = scanf_numbers(path);
  for (size_t row : {size_t{1}, size_t{7}, size_t{1000}}) {
    const std::vector<double> got = reader_numbers(path, row);
    ASSERT_EQ(got.size(), expected.size()) << "row of " << row;
    for (size_t k = 0; k < got.size(); ++k) {
      ASSERT_EQ(got[k], expected[k]) << "value " << k << ", row of " << row;
    }
  }
}

// Text of `count` numbers of growing length, separated in turn by one
// blank, a tab, CR LF and several blanks, so that numbers and separators
// fall on every side of the block boundaries.
std::string numbers_text(size_t count, const std::string& tail) {
  static const char* const kSeparators[] = {" ", "\t", "\r\n", "   "};
  std::string text;
  char number[64];
  for (size_t k = 0; k < count; ++k) {
    std::snprintf(number, sizeof number, "%.*g", static_cast<int>(k % 17) + 1,
                  (static_cast<double>(k) + 0.123456789012345) * 1.0001);
    text += number;
    text += kSeparators[k % 4];
  }
  return text + tail;
}

TEST(TextReader, NumbersAcrossBlocksMatchScanf) {
  // About half a megabyte: several blocks of the reader.
  expect_same_as_scanf(numbers_text(40000, ""));
}

TEST(TextReader, LastNumberWithoutLineEnd) {
  std::string text = numbers_text(20000, "");
  text += "42.5";
  expect_same_as_scanf(text);
}

TEST(TextReader, StopsAtTextThatIsNoNumberLikeScanf) {
  expect_same_as_scanf(numbers_text(30000, "12 abc 13 14\n"));
  expect_same_as_scanf(numbers_text(30000, "12 1e+ 13\n"));
}

TEST(TextReader, TokenLongerThanABlock) {
  // A number of 200000 digits: the reader must hold all of it.
  std::string text = "1 " + std::string(200000, '7') + " 2\n";
  expect_same_as_scanf(text);
  expect_same_as_scanf(numbers_text(10000, "") + std::string(150000, '3'));
}

// Plain decimals of every length up to 20 characters, so that across the
// blocks numbers end at every distance from the end of the reader's buffer,
// where it has to leave the shortcut for the general scanner; the last one
// without a line end.
TEST(TextReader, PlainDecimalsNearTheEndOfTheBuffer) {
  std::mt19937_64 rng(7);
  static const char* const kSeparators[] = {" ", "\t", "\r\n", "   ", "\n"};
  std::string text;
  for (int k = 0; k < 40000; ++k) {
    if (k % 3 == 0) text += "-+"[rng() % 2];
    const int length = 1 + static_cast<int>(rng() % 20);
    const int point = static_cast<int>(rng() % (length + 4));  // maybe none
    for (int j = 0; j < length; ++j) {
      text += j == point ? '.' : static_cast<char>('0' + rng() % 10);
    }
    text += kSeparators[rng() % 5];
  }
  text += "7.25";
  expect_same_as_scanf(text);
}

TEST(TextReader, FailedScanStoresNothingAndSkipsNothing) {
  test::TempDir dir;
  test::write_file(dir.path("t"), "1.5abc 2");
  std::FILE* file = std::fopen(dir.path("t").c_str(), "r");
  TextReader reader;
  text_reader_attach(reader, file);
  double value = 0;
  ASSERT_TRUE(read_text_number(reader, value));
  EXPECT_EQ(value, 1.5);
  value = -1;
  EXPECT_FALSE(read_text_number(reader, value));
  EXPECT_EQ(value, -1);
  EXPECT_FALSE(read_text_number(reader, value));  // "abc" is met again
  std::fclose(file);
}

}  // namespace
}  // namespace kavrix
