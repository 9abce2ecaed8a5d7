// The block-buffered text scanner: numbers across block boundaries, long
// tokens, and what a failed scan leaves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "grid/file.h"
#include "grid/text_reader.h"
#include "test_util.h"

namespace kavrix {
namespace {

class TextReaderTest : public ::testing::Test {
 protected:
  void attach(const std::string& text) {
    test::write_file(dir_.path("t"), text);
    file_.reset(std::fopen(dir_.path("t").c_str(), "rt"));
    ASSERT_TRUE(file_);
    reader_ = TextReader{};
    text_reader_attach(reader_, file_.get());
  }

  test::TempDir dir_;
  FilePtr file_;
  TextReader reader_;
};

TEST_F(TextReaderTest, NumbersStraddlingBlocksReadAsWritten) {
  // Many numbers of varied length and spacing cross every block boundary.
  std::mt19937_64 random(42);
  std::vector<std::string> tokens;
  std::string text;
  for (int i = 0; i < 60000; ++i) {
    char token[40];
    std::snprintf(token, sizeof token, "%.*g", static_cast<int>(random() % 17) + 1,
                  std::ldexp(static_cast<double>(random() % 1000000), -int(random() % 30)));
    tokens.push_back(token);
    text += token;
    text += std::string(1 + random() % 3, " \t\n"[random() % 3]);
  }
  attach(text);
  for (const std::string& token : tokens) {
    double value = -1;
    ASSERT_TRUE(read_text_number(reader_, value));
    ASSERT_EQ(value, std::strtod(token.c_str(), nullptr)) << token;
  }
  double value = -1;
  EXPECT_FALSE(read_text_number(reader_, value));
  EXPECT_EQ(value, -1);  // nothing stored at the end
}

TEST_F(TextReaderTest, TokensLongerThanABlock) {
  std::string tiny = "0." + std::string(150000, '0') + "1e150000";
  attach("keyword" + std::string(300000, 'k') + " " + tiny + " 7");
  double value = 0;
  ASSERT_TRUE(skip_text_token(reader_));
  ASSERT_TRUE(read_text_number(reader_, value));
  EXPECT_EQ(value, 1e-1);
  ASSERT_TRUE(read_text_number(reader_, value));
  EXPECT_EQ(value, 7);
}

TEST_F(TextReaderTest, TextThatIsNotANumberStopsTheScan) {
  attach("1.5abc 2");
  double value = 0;
  ASSERT_TRUE(read_text_number(reader_, value));
  EXPECT_EQ(value, 1.5);
  value = -1;
  EXPECT_FALSE(read_text_number(reader_, value));
  EXPECT_EQ(value, -1);
  EXPECT_FALSE(read_text_number(reader_, value));  // not skipped
  attach("   \n\t ");
  EXPECT_FALSE(read_text_number(reader_, value));
  EXPECT_FALSE(skip_text_token(reader_));
}

}  // namespace
}  // namespace kavrix
