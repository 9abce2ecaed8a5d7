#include "grid/number_scan.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "test_util.h"

namespace kavrix {
namespace {

struct Scan {
  bool ok;
  long consumed;
  uint64_t bits;  // of the stored value when ok
};

bool operator==(const Scan& a, const Scan& b) {
  return a.ok == b.ok && a.consumed == b.consumed &&
         (!a.ok || a.bits == b.bits);
}

std::string describe(const Scan& s) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "ok=%d consumed=%ld bits=%016llx", s.ok,
                s.consumed, static_cast<unsigned long long>(s.ok ? s.bits : 0));
  return buf;
}

// A batch of tokens, each followed by a space, and each read both by
// fscanf("%lg") from a memory stream (ftell tells what it consumed, also
// when it fails) and by scan_number on the same text.
class Batch {
 public:
  void add(const std::string& token) {
    starts_.push_back(text_.size());
    text_ += token;
    text_ += ' ';
  }

  // Compares every token and returns the number of disagreements, printing
  // the first few.
  int mismatches() {
    FILE* f = fmemopen(text_.data(), text_.size(), "r");
    int bad = 0;
    for (size_t start : starts_) {
      std::fseek(f, static_cast<long>(start), SEEK_SET);
      double v = 0;
      const bool ok = std::fscanf(f, "%lg", &v) == 1;
      const Scan want{ok, std::ftell(f) - static_cast<long>(start),
                      std::bit_cast<uint64_t>(v)};
      const char* first = text_.data() + start;
      double got_value = 0;
      const NumberScan r =
          scan_number(first, text_.data() + text_.size(), got_value);
      const Scan got{r.ok, r.ptr - first, std::bit_cast<uint64_t>(got_value)};
      if (!(got == want) && ++bad <= 10) {
        ADD_FAILURE() << "text \""
                      << std::string(first, text_.find(' ', start) - start)
                      << "\": glibc " << describe(want) << ", ours "
                      << describe(got);
      }
    }
    std::fclose(f);
    return bad;
  }

 private:
  std::string text_;
  std::vector<size_t> starts_;
};

std::string printf_string(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
std::string printf_string(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

// The double with these bits, but 1 for NaNs (printed NaNs have no value).
double non_nan(uint64_t bits) {
  const auto d = std::bit_cast<double>(bits);
  return std::isnan(d) ? 1.0 : d;
}

// What glibc does at the edges of the "%lg" grammar, written down because
// several of these are not what one would guess, and checked against both
// glibc and scan_number.
TEST(ScanNumber, GlibcEdgeBehaviour) {
  struct Case {
    const char* text;
    bool ok;
    long consumed;
    double value;
  };
  const Case cases[] = {
      {"1e+x", true, 3, 1},       // keeps "e+" though strtod ignores it
      {"1e", true, 2, 1},         //
      {"1.5e+-3", true, 5, 1.5},  // one sign only, right after the 'e'
      {"1e5.5", true, 3, 1e5},    // no point after the exponent
      {"1.2.3", true, 3, 1.2},    //
      {"-x", false, 1, 0},        // sign consumed, 'x' pushed back
      {"-", false, 1, 0},         //
      {"+-1", false, 1, 0},       //
      {".", false, 1, 0},         // consumed, yet no number
      {"-.", false, 2, 0},        //
      {".e5", false, 1, 0},       // an 'e' counts only after a digit
      {"e5", false, 0, 0},        //
      {"0x", false, 2, 0},        // strtod would read "0"; scanf fails
      {"+0xg", false, 3, 0},      //
      {"0xp3", false, 2, 0},      //
      {"0x.p", true, 3, 0},       // yet "0x." is fine: strtod reads "0"
      {"0x1p-x", true, 5, 1},     //
      {"0x1.8p3", true, 7, 12},   //
      {"0xe", true, 3, 14},       // 'e' is a hex digit, not an exponent
      {"0x.1e-1", true, 5, 0x.1ep0},
      {"0x1p+-1", true, 5, 1},
      {"0x1p1+1", true, 5, 2},
      {"infinityx", true, 8, INFINITY},
      {"-InF", true, 4, -INFINITY},
      {"infx", true, 3, INFINITY},
      {"infi", false, 4, 0},      // at the end of input
      {"infi ", false, 5, 0},     // a mismatch in a word is consumed...
      {"infinit0", false, 8, 0},  //
      {"na1", false, 3, 0},       // ...not pushed back
      {"n", false, 1, 0},         //
      {"nan(12)", true, 3, NAN},  // no payloads: stops after "nan"
      {"-nan", true, 4, -NAN},    //
      {"0e99999999999999999999", true, 22, 0},
      {"1e-99999999999999999999", true, 23, 0},
      {"-1e99999999999999999999", true, 23, -INFINITY},
  };
  for (const Case& c : cases) {
    FILE* f = fmemopen(const_cast<char*>(c.text), std::strlen(c.text), "r");
    double v = 0;
    const bool ok = std::fscanf(f, "%lg", &v) == 1;
    const long consumed = std::ftell(f);
    std::fclose(f);
    EXPECT_EQ(ok, c.ok) << c.text;
    EXPECT_EQ(consumed, c.consumed) << c.text;
    double ours = 0;
    const NumberScan r =
        scan_number(c.text, c.text + std::strlen(c.text), ours);
    EXPECT_EQ(r.ok, c.ok) << c.text;
    EXPECT_EQ(r.ptr - c.text, c.consumed) << c.text;
    if (c.ok) {
      EXPECT_EQ(std::bit_cast<uint64_t>(v), std::bit_cast<uint64_t>(c.value))
          << c.text;
      EXPECT_EQ(std::bit_cast<uint64_t>(ours), std::bit_cast<uint64_t>(c.value))
          << c.text;
    }
  }
}

TEST(ScanNumber, AgreesWithGlibcOnPrintedDoubles) {
  std::mt19937_64 rng(1);
  const int n = test::scaled(1000000) / 4;
  Batch batch;
  for (int i = 0; i < n; ++i) {
    const double d = non_nan(rng());
    const int digits = 1 + static_cast<int>(rng() % 17);
    switch (i % 4) {
      case 0:
        batch.add(printf_string("%.17g", d));
        break;
      case 1:
        batch.add(printf_string("%.*g", digits, d));
        break;
      case 2:
        batch.add(printf_string("%.*e", digits + 8, d));
        break;
      default:
        batch.add(printf_string("%a", d));
        break;
    }
  }
  EXPECT_EQ(batch.mismatches(), 0);
}

// Decimal strings halfway between two adjacent doubles and just off that,
// where a wrong power of ten or a sloppy error bound shows.
TEST(ScanNumber, AgreesWithGlibcNearHalfwayPoints) {
  std::mt19937_64 rng(2);
  const int n = test::scaled(1000000) / 8;
  Batch batch;
  for (int i = 0; i < n; ++i) {
    double d = std::fabs(non_nan(rng()));
    if (d == 0 || !std::isfinite(d)) continue;
    if (i % 2 == 0)
      d = std::ldexp(d, static_cast<int>(rng() % 140) - 70 - std::ilogb(d));
    const double next = std::nextafter(d, INFINITY);
    if (!std::isfinite(next)) continue;
    // Halfway to the next double is exact in the 64-bit long double.
    const long double mid = (static_cast<long double>(d) + next) / 2;
    const std::string exact = printf_string("%.80Le", mid);
    batch.add(exact);
    const std::string::size_type e = exact.find('e');
    const auto keep =
        static_cast<size_t>(17 + rng() % 8);  // significant digits
    const std::string cut = exact.substr(0, keep + 1) + exact.substr(e);
    batch.add(cut);
    // One unit up in the last kept digit.
    std::string up = cut;
    size_t j = keep;
    for (; j > 0 && (up[j] == '9' || up[j] == '.'); --j) {
      if (up[j] == '9') up[j] = '0';
    }
    if (up[j] == '9') continue;
    ++up[j];
    batch.add(up);  // a hair above, roughly
  }
  EXPECT_EQ(batch.mismatches(), 0);
}

TEST(ScanNumber, AgreesWithGlibcOnRandomDecimals) {
  std::mt19937_64 rng(3);
  const int n = test::scaled(1000000) / 4;
  Batch batch;
  std::string s;
  for (int i = 0; i < n; ++i) {
    s.clear();
    switch (rng() % 4) {
      case 0:
        s += '-';
        break;
      case 1:
        s += '+';
        break;
      default:
        break;
    }
    const int digits = 1 + static_cast<int>(rng() % 40);
    const int point = static_cast<int>(rng() % (digits + 2)) - 1;  // -1: none
    const int zeros = rng() % 3 == 0 ? static_cast<int>(rng() % 12) : 0;
    for (int j = 0; j < digits; ++j) {
      if (j == point) s += '.';
      s += static_cast<char>('0' + (j < zeros ? 0 : rng() % 10));
    }
    if (point == digits) s += '.';
    if (rng() % 4 != 0) {
      s += rng() % 2 != 0 ? 'e' : 'E';
      if (rng() % 2 != 0) s += rng() % 2 != 0 ? '-' : '+';
      const int range = rng() % 4 == 0 ? 400 : 40;
      s += std::to_string(rng() % range);
    }
    batch.add(s);
  }
  EXPECT_EQ(batch.mismatches(), 0);
}

TEST(ScanNumber, AgreesWithGlibcOnEveryPowerOfTen) {
  Batch batch;
  for (int q = -360; q <= 330; ++q) {
    for (const char* mantissa :
         {"1", "9.999999999999999", "123456789012345678", "5", "0.5",
          "2.2250738585072014", "4.9406564584124654", "1.7976931348623157",
          "1.7976931348623158"}) {
      batch.add(printf_string("%se%d", mantissa, q));
      batch.add(printf_string("-%se%+d", mantissa, q));
    }
  }
  // Around the smallest normal, the subnormals and the largest double.
  for (double d : {DBL_MIN, DBL_TRUE_MIN, DBL_MAX, 0.0}) {
    double x = d;
    for (int i = 0; i < 50; ++i) {
      batch.add(printf_string("%.17g", x));
      batch.add(printf_string("%.40e", x));
      x = std::nextafter(x, i < 25 ? INFINITY : 0.0);
    }
  }
  EXPECT_EQ(batch.mismatches(), 0);
}

// Strings of characters that can start or continue a number, to exercise
// failures and stopping points; and hex floats and the word spellings.
TEST(ScanNumber, AgreesWithGlibcOnNumberLikeNoise) {
  std::mt19937_64 rng(4);
  const int n = test::scaled(1000000) / 4;
  const std::string alphabet = "0123456789+-.eEpPxXaAfFnNiItTyY(1)09.e";
  const char* const words[] = {"inf",    "INFINITY", "nan",
                               "NaN(1)", "Infinit",  "nAn"};
  Batch batch;
  std::string s;
  for (int i = 0; i < n; ++i) {
    s.clear();
    switch (i % 4) {
      case 0:
        s = printf_string("%s%s", rng() % 2 != 0 ? "-" : "", words[rng() % 6]);
        for (char& c : s) {
          if (rng() % 2 != 0) c = static_cast<char>(std::toupper(c));
        }
        s.resize(rng() % (s.size() + 1));
        if (s.empty()) s = "i";
        break;
      case 1: {
        // A hex float with random digits and exponent.
        s = rng() % 2 != 0 ? "0x" : "-0X";
        const int digits = static_cast<int>(rng() % 20);
        for (int j = 0; j < digits; ++j)
          s += "0123456789abcdefABCDEF."[rng() % 23];
        if (rng() % 2 != 0)
          s += printf_string("p%+d", static_cast<int>(rng() % 2400) - 1200);
        break;
      }
      default: {
        if (i % 8 == 2) s = "0x";
        const int len = 1 + static_cast<int>(rng() % 10);
        for (int j = 0; j < len; ++j) s += alphabet[rng() % alphabet.size()];
        break;
      }
    }
    batch.add(s);
  }
  EXPECT_EQ(batch.mismatches(), 0);
}

// Plain decimals, the spelling of nearly every grid value, scan through a
// shortcut that reads 16 bytes at a time.  Every length of whole and
// fractional part around 8, 16 and 19 digits, with each character that
// can follow a number.
TEST(ScanNumber, AgreesWithGlibcOnPlainDecimalsOfEveryShape) {
  std::mt19937_64 rng(5);
  const std::string stops[] = {" ", "\t", "\n", "\r", "\v",
                               "\f", "e",  "E",  ".",  "x",
                               "/", ":",  "a",  std::string(1, '\0'),
                               "\xc3\xa9"};
  // Random digits, all nines, or all zeros.
  auto digits = [&rng](int count, int fill) {
    std::string d;
    for (int j = 0; j < count; ++j) {
      d += fill == 0 ? static_cast<char>('0' + rng() % 10) : "90"[fill - 1];
    }
    return d;
  };
  Batch batch;
  for (const char* sign : {"", "-", "+"}) {
    for (int whole = 0; whole <= 20; ++whole) {
      for (int frac = -1; frac <= 20; ++frac) {  // -1: no point
        for (const std::string& stop : stops) {
          for (int fill = 0; fill < 3; ++fill) {
            std::string s = sign;
            s += digits(whole, fill);
            if (frac >= 0) {
              s += '.';
              s += digits(frac, fill == 2 ? 0 : fill);  // zeros lead only
            }
            s += stop;
            // Scanning starts at a character that is not white space.
            if (!std::isspace(static_cast<unsigned char>(s[0]))) batch.add(s);
          }
        }
      }
    }
  }
  EXPECT_EQ(batch.mismatches(), 0);
}

// Text placed right before a page that may not be read, so that a scan
// that looks at or past `last` crashes.
class GuardedText {
 public:
  GuardedText() {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return;
    map_ = static_cast<char*>(map);
    if (mprotect(map_ + page_, page_, PROT_NONE) != 0) {
      munmap(map_, 2 * page_);
      map_ = nullptr;
    }
  }
  ~GuardedText() {
    if (map_ != nullptr) munmap(map_, 2 * page_);
  }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;

  bool ready() const { return map_ != nullptr; }

  // Scans `text`, which ends at the guard, and compares with glibc at the
  // end of a stream holding the same text.
  void expect_like_glibc(const std::string& text) {
    char* const last = map_ + page_;
    char* const first = last - text.size();
    std::memcpy(first, text.data(), text.size());
    double ours = 0;
    const NumberScan r = scan_number(first, last, ours);

    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    double v = 0;
    const bool ok = std::fscanf(f, "%lg", &v) == 1;
    const long consumed = std::ftell(f);
    std::fclose(f);
    EXPECT_EQ(r.ok, ok) << text;
    EXPECT_EQ(r.ptr - first, consumed) << text;
    if (ok) {
      EXPECT_EQ(std::bit_cast<uint64_t>(ours), std::bit_cast<uint64_t>(v))
          << text;
    }
  }

 private:
  size_t page_ = 0;
  char* map_ = nullptr;
};

// The scanner must not look at *last: put each text right before a page
// that may not be read, with no white space after it, and compare with
// glibc at the end of a stream.
TEST(ScanNumber, StopsAtLastWithoutReadingIt) {
  GuardedText guarded;
  ASSERT_TRUE(guarded.ready());
  const char* const texts[] = {"7",
                               "-",
                               "+.",
                               "0",
                               "0x",
                               "0x1",
                               "0x1p",
                               "0x1p-",
                               "12.5e",
                               "12.5e+",
                               "1e+7",
                               "inf",
                               "infi",
                               "infinit",
                               "infinity",
                               "n",
                               "na",
                               "nan",
                               "-0.",
                               "123456789012345678901234",
                               "1.7976931348623157e308",
                               "4.9e-324",
                               "0x1.fffffffffffffp+1023",
                               "9007199254740993"};
  for (const char* text : texts) guarded.expect_like_glibc(text);

  // Plain decimals, with and without white space after them, of every
  // length up to well past what the shortcut reads: those that do not
  // leave it enough room before `last` must not reach past it.
  std::mt19937_64 rng(6);
  for (const char* sign : {"", "-", "+"}) {
    for (int whole = 0; whole <= 20; ++whole) {
      for (int frac = -1; frac <= 20; ++frac) {
        for (const char* stop : {"", " ", "\n"}) {
          std::string s = sign;
          for (int j = 0; j < whole; ++j) s += static_cast<char>('1' + rng() % 9);
          if (frac >= 0) s += '.';
          for (int j = 0; j < frac; ++j) s += static_cast<char>('0' + rng() % 10);
          s += stop;
          if (!s.empty() && !std::isspace(static_cast<unsigned char>(s[0]))) {
            guarded.expect_like_glibc(s);
          }
        }
      }
    }
  }

  // `last` inside a longer text is the end of the input.
  const char text[] = "12345e67";
  double v = 0;
  NumberScan r = scan_number(text, text + 3, v);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.ptr, text + 3);
  EXPECT_EQ(v, 123);
  r = scan_number(text, text + 6, v);
  EXPECT_EQ(r.ptr, text + 6);
  EXPECT_EQ(v, 12345);
}

}  // namespace
}  // namespace kavrix
