#include "base/xml_text.h"

namespace kavrix {
namespace {

// The length of the well-formed UTF-8 sequence at s[i], 0 if none there
// (RFC 3629: no overlong forms, surrogates or code points beyond
// U+10FFFF).
size_t sequence_length(const std::string& s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  const size_t length = c < 0x80                 ? 1
                        : c >= 0xc2 && c <= 0xdf ? 2
                        : (c >> 4) == 0xe        ? 3
                        : c >= 0xf0 && c <= 0xf4 ? 4
                                                 : 0;
  if (length == 0 || i + length > s.size()) return 0;
  // The second byte's range depends on the first (RFC 3629, section 4).
  unsigned low = c == 0xe0 ? 0xa0 : c == 0xf0 ? 0x90 : 0x80;
  unsigned high = c == 0xed ? 0x9f : c == 0xf4 ? 0x8f : 0xbf;
  for (size_t k = 1; k < length; ++k, low = 0x80, high = 0xbf) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if (b < low || b > high) return 0;
  }
  return length;
}

}  // namespace

XmlText xml_text(const std::string& s) {
  XmlText out;
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t length = sequence_length(s, i);
    // XML 1.0 has no place for most control characters, normalises tabs
    // and line ends in attributes, and excludes U+FFFE and U+FFFF.
    if (length == 0 || c < 0x20 || c == 0x7f ||
        (length == 3 && s.compare(i, 2, "\xef\xbf") == 0 &&
         static_cast<unsigned char>(s[i + 2]) >= 0xbe)) {
      out.text += '?';
      out.exact = false;
      ++i;
      continue;
    }
    switch (c) {
      case '&': out.text += "&amp;"; break;
      case '<': out.text += "&lt;"; break;
      case '>': out.text += "&gt;"; break;
      case '"': out.text += "&quot;"; break;
      default: out.text.append(s, i, length);
    }
    i += length;
  }
  return out;
}

}  // namespace kavrix
