// The text reader against fscanf itself: the same numbers and the same
// failures wherever the tokens fall relative to the reader's reads; and on
// a pipe, the values asked for without waiting for the writer to close.
#include "grid/text_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
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

TEST(TextReader, TakesTheValuesAskedForFromAPipeLeftOpen) {
  test::TempDir dir;
  const std::string fifo = dir.path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> read_all = false;
  // The writer sends a small grid and keeps the pipe open for up to five
  // seconds: a reader that waits for more input gets the end only then.
  std::thread writer([&] {
    std::FILE* out = std::fopen(fifo.c_str(), "w");
    std::fputs("ncols 3\nnrows 2\n1 2.5 -3\n4e2 0x10 nan\n", out);
    std::fflush(out);
    for (int k = 0; k < 500 && !read_all; ++k) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::fclose(out);
  });
  const auto start = std::chrono::steady_clock::now();
  std::FILE* in = std::fopen(fifo.c_str(), "rt");
  TextReader reader;
  text_reader_attach(reader, in);
  double header[2] = {0, 0};
  double values[6] = {0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(skip_text_token(reader) && read_text_number(reader, header[0]));
  EXPECT_TRUE(skip_text_token(reader) && read_text_number(reader, header[1]));
  EXPECT_EQ(read_text_numbers(reader, values, 6), 6U);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  read_all = true;
  writer.join();
  std::fclose(in);
  EXPECT_EQ(header[0] * header[1], 6);
  EXPECT_EQ(values[4], 16);
}

}  // namespace
}  // namespace kavrix
