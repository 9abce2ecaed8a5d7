// Scanning of grid values from text, with the results of scanf's "%lg".
#ifndef KAVRIX_GRID_NUMBER_SCAN_H_
#define KAVRIX_GRID_NUMBER_SCAN_H_

namespace kavrix {

/// Where a scan stopped and whether it converted a number.
struct NumberScan {
  const char* ptr;  ///< first character not consumed
  bool ok;          ///< a number was converted and stored
};

/// Scans one number at `first` exactly as scanf("%lg") does in the C locale
/// and the default rounding mode: the same double (correctly rounded), the
/// same characters consumed, also when the text is not a number (scanf then
/// has consumed what it read less the one character it pushed back, or all
/// of it after a mismatch inside "nan" or "inf[inity]", and stores nothing).
/// On success stores into `value`.
/// REQUIRES: first < last, *first is not white space, and [first, last)
/// holds a white-space character after the number, or `last` is the end of
/// the input.
NumberScan scan_number(const char* first, const char* last, double& value);

}  // namespace kavrix

#endif  // KAVRIX_GRID_NUMBER_SCAN_H_
