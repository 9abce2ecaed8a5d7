// Text inside the XML documents the commands write: the VRT and the SVG.
// Includes nothing of the project's.
#ifndef KAVRIX_BASE_XML_TEXT_H_
#define KAVRIX_BASE_XML_TEXT_H_

#include <string>

namespace kavrix {

/// Text as it goes into an XML document, and whether it says the same.
struct XmlText {
  std::string text;   ///< fit for element content and quoted attributes
  bool exact = true;  ///< false when a character had to be replaced
};

/// `s` with & < > " escaped; control characters, U+FFFE, U+FFFF and bytes
/// of no well-formed UTF-8 sequence replaced by '?', which makes it inexact.
XmlText xml_text(const std::string& s);

}  // namespace kavrix

#endif  // KAVRIX_BASE_XML_TEXT_H_
