// The text reader against fscanf itself: the same numbers and the same
// failures wherever the tokens fall relative to the reader's reads.
#include "grid/text_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace kavrix {
namespace {

// Numbers of 2 to 20 characters, some signed, some with a point, after one
// of several separators.
std::string numbers_text(int count, const std::string& tail) {
  std::mt19937_64 rng(count);
  static const char* const kSeparators[] = {" ", "\t", "\r\n", "   ", "\n"};
  std::string text;
  for (int k = 0; k < count; ++k) {
    if (k % 3 == 0) text += "-+"[rng() % 2];
    const auto length = 2 + static_cast<int>(rng() % 19);
    const auto point = static_cast<int>(rng() % (length + 4));  // maybe none
    for (int j = 0; j < length; ++j) {
      text += j == point ? '.' : static_cast<char>('0' + rng() % 10);
    }
    text += kSeparators[rng() % 5];
  }
  return text + tail;
}

TEST(TextReader, ReadsWhatFscanfReads) {
  const std::string cases[] = {
      numbers_text(40000, ""),  // many reads of the file
      numbers_text(20000, "42.5"),
      numbers_text(30000, "12 abc 13 14\n"),
      numbers_text(30000, "12 1e+ 13 1.5abc 2\n"),
      "1 " + std::string(200000, '7') + " 2\n",  // a token longer than a read
      numbers_text(10000, std::string(150000, '3')),
  };
  test::TempDir dir;
  const std::string path = dir.path("grid.txt");
  for (const std::string& text : cases) {
    test::write_file(path, text);
    std::vector<double> want;
    std::FILE* file = std::fopen(path.c_str(), "r");
    for (double v; std::fscanf(file, "%lg", &v) == 1;) want.push_back(v);
    std::fclose(file);
    for (size_t row : {size_t{1}, size_t{7}, size_t{1000}}) {
      file = std::fopen(path.c_str(), "r");
      TextReader reader;
      text_reader_attach(reader, file);
      std::vector<double> got(row);
      size_t k = 0;
      for (size_t n = row; n == row; k += n) {
        n = read_text_numbers(reader, got.data(), row);
        for (size_t j = 0; j < n; ++j) ASSERT_EQ(got[j], want[k + j]) << k + j;
      }
      EXPECT_EQ(k, want.size()) << "row of " << row;
      // What stopped the reader stops it again, and nothing is stored.
      double value = -1;
      EXPECT_FALSE(read_text_number(reader, value));
      EXPECT_EQ(value, -1);
      std::fclose(file);
    }
  }
}

TEST(TextReader, ANumberEndedByGluedTextNeedsNoMoreFromAPipe) {
  // The writer stays: a read for more than the numbers need would wait,
  // and the alarm would end the test.
  alarm(20);
  const std::pair<const char*, double> cases[] = {
      {"5 6x", 6}, {"5 -8,", -8}, {"5 inf;", INFINITY}, {"5 0x1p-2q", 0.25}, {"5 1e+x", 1}};
  for (const auto& [text, second] : cases) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
    std::FILE* in = fdopen(fds[0], "r");
    TextReader reader;
    text_reader_attach(reader, in);
    double values[2] = {};
    EXPECT_EQ(read_text_numbers(reader, values, 2), 2u) << text;
    EXPECT_EQ(values[1], second) << text;
    std::fclose(in);
    close(fds[1]);
  }
  alarm(0);
}

}  // namespace
}  // namespace kavrix
