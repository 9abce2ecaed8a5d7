// Buffered scanning of a text grid: header tokens and body values.
#ifndef KAVRIX_GRID_TEXT_READER_H_
#define KAVRIX_GRID_TEXT_READER_H_

#include <cstddef>
#include <cstdio>
#include <memory>

namespace kavrix {

/// Reads a text stream with read(2) on its descriptor and scans it the way
/// scanf's "%s" and "%lg" do, without the per-call cost of scanf.  Each
/// read takes what the stream has to give, and a call reads only until it
/// holds the tokens it was asked for: on a pipe it never waits for text
/// beyond them.
struct TextReader {
  std::FILE* file = nullptr;  ///< not owned
  std::unique_ptr<char[]> buffer;  ///< allocated on the first read
  size_t capacity = 0;        ///< bytes in `buffer`
  size_t begin = 0;           ///< first unread character in `buffer`
  size_t end = 0;             ///< one past the last character read
  size_t held = 0;            ///< a token that starts before this index
                              ///< ends within the buffer
  bool at_eof = false;        ///< the stream has delivered its last byte
  bool failed = false;        ///< a read error, or no memory for a token
};

/// Longest token the reader scans; longer runs of non-space text, and
/// those that memory cannot hold, are taken as not a number.
inline constexpr size_t kMaxTokenBytes = size_t{1} << 28;

/// Starts reading `file` from the position of its descriptor.
/// REQUIRES: nothing was read from `file` through stdio.
void text_reader_attach(TextReader& reader, std::FILE* file);

/// Skips one token of non-space text after any white space, as "%s" does.
/// Returns false when the input ends before a token starts.
bool skip_text_token(TextReader& reader);

/// Scans one number after any white space, as "%lg" does; on success stores
/// it in `value`. On failure nothing is stored and the characters that scanf
/// would have consumed are consumed.
bool read_text_number(TextReader& reader, double& value);

/// Scans up to `count` numbers into values[0 .. count-1] as read_text_number
/// does, stopping at the first that fails. Returns how many were stored.
size_t read_text_numbers(TextReader& reader, double* values, size_t count);

}  // namespace kavrix

#endif  // KAVRIX_GRID_TEXT_READER_H_
