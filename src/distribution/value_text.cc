#include "distribution/value_text.h"

#include <charconv>

namespace kavrix {
namespace {

// Large enough for any double in fixed notation with 17 decimals.
constexpr int kTextBytes = 400;

template <typename... Format>
std::string to_text(double value, Format... format) {
  char text[kTextBytes];
  const auto result = std::to_chars(text, text + kTextBytes, value, format...);
  return std::string(text, result.ptr);
}

}  // namespace

std::string shortest_text(double value) { return to_text(value); }

std::string fixed_text(double value, int decimals) {
  return to_text(value, std::chars_format::fixed, decimals);
}

std::string significant_text(double value, int digits) {
  return to_text(value, std::chars_format::general, digits);
}

}  // namespace kavrix
