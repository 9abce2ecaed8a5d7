// The text reader against fscanf itself: the same numbers and the same
// failures wherever the tokens fall relative to the reader's reads, from
// files and from a stream that delivers a few bytes at a time.
#include "grid/text_reader.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
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

// Tokens of every kind scanf meets in a grid, after one of several
// separators: plain and long numbers, exponents, hex, words, text that is
// no number or only starts like one, and tokens longer than a read.
std::string mixed_text(std::mt19937_64& rng, int count) {
  static const char* const kTokens[] = {
      "7", "-0.25", "+12.5", "123456789012345", "-1234567.8901234567", "1e5", "2.5E-3",
      "1e400", "-1e-400", "0x1.8p3", "-0X.8", "inf", "-Infinity", "nan", "NaN(7)", "abc",
      "1e+x", "6x", "-", ".", "+.e", "0x", "infin", "1.5.5", "--3", "9e99999999999"};
  static const char* const kSeparators[] = {" ", "\n", "\t", "\r\n", "   ", " \n "};
  std::string text = rng() % 2 ? "" : " ";
  for (int k = 0; k < count; ++k) {
    if (rng() % 200 == 0) {
      text.append(1 + rng() % 40000, static_cast<char>('1' + rng() % 9));
    } else {
      text += kTokens[rng() % std::size(kTokens)];
    }
    text += kSeparators[rng() % std::size(kSeparators)];
  }
  if (rng() % 2) text.erase(text.find_last_not_of(" \t\r\n") + 1);  // no line end at the end
  return text;
}

// Reads of all three kinds in a random order, each checked against what
// fscanf does at that point of the same text ("%lg" and "%*s"), until both
// find the end; then the reader's buffer against the longest token.
// Returns the number of faults.
int differences(std::FILE* in, const std::string& text, std::mt19937_64& rng) {
  std::FILE* want = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  TextReader reader;
  text_reader_attach(reader, in);
  const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
  int bad = 0;
  for (bool more = true; more && bad < 5;) {
    double got[50] = {}, value = 0;
    const size_t ask = 1 + rng() % 50;
    switch (rng() % 3) {
      case 0: {
        const bool ok = read_text_number(reader, got[0]);
        bad += ok != (std::fscanf(want, "%lg", &value) == 1) || (ok && !same(got[0], value));
        break;
      }
      case 1: {
        const size_t n = read_text_numbers(reader, got, ask);
        size_t k = 0;
        for (; k < ask && std::fscanf(want, "%lg", &value) == 1; ++k) bad += k < n && !same(got[k], value);
        bad += k != n;
        break;
      }
      default:
        more = skip_text_token(reader);
        bad += more != (std::fscanf(want, "%*s") != EOF);
    }
  }
  std::fclose(want);
  // The buffer grows only for a token that does not fit in it.
  size_t longest = 0;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = std::min(text.find_first_of(" \t\r\n", at), text.size());
    longest = std::max(longest, end - at);
  }
  bad += reader.capacity > 2 * longest + (size_t{1} << 17);
  return bad;
}

TEST(TextReader, ReadsOfEveryKindDoWhatFscanfDoesWhateverEachReadDelivers) {
  // Each packet of a sequenced-packet socket is one read(2): the text comes
  // in pieces of 1 to 300 bytes, or up to 20000, cut anywhere in a token.
  // An empty packet ends the input as a terminal's end-of-file does: what
  // follows it is not read.
  alarm(60);
  std::mt19937_64 rng(5);
  test::TempDir dir;
  for (int round = 0; round < 30; ++round) {
    const std::string text = mixed_text(rng, 300 + round * 100);
    const std::string path = dir.path("mixed.txt");
    test::write_file(path, text);
    std::FILE* file = std::fopen(path.c_str(), "r");
    EXPECT_EQ(differences(file, text, rng), 0) << "from a file, round " << round;
    std::fclose(file);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
    const size_t most = round % 3 == 0 ? 20000 : 300;
    std::thread writer([&, seed = rng()] {
      std::mt19937_64 cuts(seed);
      for (size_t at = 0, n; at < text.size(); at += n) {
        n = std::min(1 + cuts() % most, text.size() - at);
        if (send(fds[1], text.data() + at, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) break;
      }
      if (send(fds[1], "", 0, MSG_NOSIGNAL) == 0) send(fds[1], " 99 ", 4, MSG_NOSIGNAL);
      close(fds[1]);
    });
    std::FILE* in = fdopen(fds[0], "r");
    EXPECT_EQ(differences(in, text, rng), 0) << "in pieces, round " << round;
    std::fclose(in);  // a writer still sending fails and ends
    writer.join();
  }
  alarm(0);
}

// Where the input ends or cannot be read, nothing is read and nothing stored.
TEST(TextReader, NothingAtTheEndOrWhereReadsFail) {
  alarm(20);  // a reader that tries again after a failed read never ends
  test::TempDir dir;
  test::write_file(dir.path("blank.txt"), " \n\t\r\n ");
  test::write_file(dir.path("empty.txt"), "");
  for (const char* name : {"blank.txt", "empty.txt", "."}) {  // "." is a folder: reads fail
    std::FILE* file = std::fopen(dir.path(name).c_str(), "r");
    ASSERT_NE(file, nullptr) << name;
    TextReader reader;
    text_reader_attach(reader, file);
    double values[3] = {-1, -1, -1};
    EXPECT_FALSE(skip_text_token(reader)) << name;
    EXPECT_FALSE(read_text_number(reader, values[0])) << name;
    EXPECT_EQ(read_text_numbers(reader, values, 3), 0u) << name;
    EXPECT_EQ(values[0], -1) << name;
    std::fclose(file);
  }
  alarm(0);
}

}  // namespace
}  // namespace kavrix
