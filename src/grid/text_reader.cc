#include "grid/text_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "number/number_text.h"

namespace kavrix {
namespace {

constexpr size_t kBlockBytes = size_t{1} << 16;

// Moves the unread text to the front, growing the buffer if it is half
// full, and appends what one read(2) of the stream delivers.  On a pipe
// that is what the writer has sent so far, and the callers go on with it:
// they read again only for a token they do not hold whole yet.  Returns
// false when nothing more can be read, or when memory is short.
bool refill(TextReader& r) {
  if (r.at_eof || r.failed) return false;
  if (r.begin > 0) {
    std::memmove(r.buffer.get(), r.buffer.get() + r.begin, r.end - r.begin);
    r.held = r.held > r.begin ? r.held - r.begin : 0;
    r.end -= r.begin;
    r.begin = 0;
  }
  if (r.capacity - r.end < kBlockBytes / 2) {
    // A token that cannot be held whole is taken as not a number.
    if (r.capacity >= kMaxTokenBytes) return false;
    const size_t capacity = r.capacity < kBlockBytes ? kBlockBytes : 2 * r.capacity;
    std::unique_ptr<char[]> bigger(new (std::nothrow) char[capacity]);
    r.failed = !bigger;
    if (r.failed) return false;
    if (r.end > 0) std::memcpy(bigger.get(), r.buffer.get(), r.end);
    r.buffer = std::move(bigger);
    r.capacity = capacity;
  }
  const size_t from = r.end;
  ssize_t got;
  do {
    got = ::read(fileno(r.file), r.buffer.get() + r.end, r.capacity - r.end);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    r.end += static_cast<size_t>(got);
  } else if (got == 0) {
    r.at_eof = true;
    r.held = r.end;  // at the end of the input every token ends with it
  } else {
    r.failed = true;
  }
  // A token that starts before the last white space of the buffer ends
  // there at the latest.  Only the new bytes are looked at, so a long token
  // costs no repeated scans.
  for (size_t k = r.end; k > from; --k) {
    if (is_number_space(r.buffer[k - 1])) {
      r.held = k - 1;
      break;
    }
  }
  return got > 0;
}

// Skips white space. Returns false when the input ends first.
bool skip_space(TextReader& r) {
  for (;;) {
    while (r.begin < r.end && is_number_space(r.buffer[r.begin])) ++r.begin;
    if (r.begin < r.end) return true;
    if (!refill(r)) return false;
  }
}

// Makes sure the number at `begin` scans within the buffer as it would in
// the whole input: the token is followed there by white space or by the
// end of the input, or its scan stops at a character before the end of
// the buffer (scanf reads no further than the character that ends a
// number, so "6x" is a 6 whatever comes after it, and a pipe whose writer
// lingers is not waited for). Returns false when it is too long.
bool hold_token(TextReader& r) {
  if (r.begin < r.held) return true;
  size_t scanned = r.begin;
  for (;;) {
    while (scanned < r.end && !is_number_space(r.buffer[scanned])) ++scanned;
    if (scanned < r.end) return true;
    const char* const first = r.buffer.get() + r.begin;
    const char* const end = r.buffer.get() + r.end;
    double ignored;
    if (scanned > r.begin && scan_number(first, end, ignored).ptr < end) return true;
    size_t offset = scanned - r.begin;
    if (!refill(r)) return r.at_eof;
    scanned = r.begin + offset;
  }
}

}  // namespace

void text_reader_attach(TextReader& reader, std::FILE* file) {
  reader.file = file;
  reader.begin = reader.end = reader.held = 0;
  reader.at_eof = reader.failed = false;
}

bool skip_text_token(TextReader& r) {
  if (!skip_space(r)) return false;
  for (;;) {
    while (r.begin < r.end && !is_number_space(r.buffer[r.begin])) ++r.begin;
    if (r.begin < r.end) return true;
    // The token reaches the end of the block: drop it and read on.
    r.begin = r.end = r.held = 0;
    if (!refill(r)) return !r.failed;
  }
}

bool read_text_number(TextReader& r, double& value) {
  if (!skip_space(r)) return false;
  if (!hold_token(r)) return false;
  const char* first = r.buffer.get() + r.begin;
  NumberScan scan = scan_number(first, r.buffer.get() + r.end, value);
  r.begin += static_cast<size_t>(scan.ptr - first);
  return scan.ok;
}

size_t read_text_numbers(TextReader& r, double* values, size_t count) {
  constexpr auto kSpan = static_cast<size_t>(kPlainScanSpan);
  double* out = values;
  double* const out_end = values + count;
  while (out != out_end) {
    // Tokens that start before `held` end within the buffer: they are
    // scanned without a look at the reader's state in between.  Before
    // `fast_end` scan_plain_number may also read its kSpan bytes.
    const char* const base = r.buffer.get();
    const char* const held = base + r.held;
    const char* const end = base + r.end;
    const char* p = base + r.begin;
    const size_t fast = r.end >= kSpan ? r.end - (kSpan - 1) : 0;
    const char* const fast_end = base + (fast < r.held ? fast : r.held);
    while (p < fast_end) {
      // A plain number takes at most kSpan bytes with the white space after
      // it, so this many cannot pass fast_end: no test of p in the run.
      const size_t room = static_cast<size_t>(fast_end - p) / kSpan;
      const auto left = static_cast<size_t>(out_end - out);
      double* const run_end = out + (room < left ? room : left);
      const char* stop = nullptr;
      while (out != run_end) {
        stop = scan_plain_number(p, *out);
        if (stop == nullptr) break;
        p = stop + 1;  // the shortcut stops at white space, skipped here
        ++out;
      }
      if (out == out_end) break;
      if (out == run_end) stop = scan_plain_number(p, *out);  // one alone
      if (stop != nullptr) {
        p = stop + 1;
      } else if (is_number_space(*p)) {
        ++p;
        continue;
      } else {
        const NumberScan scan = scan_number_general(p, end, *out);
        p = scan.ptr;
        if (!scan.ok) {
          r.begin = static_cast<size_t>(p - base);
          return static_cast<size_t>(out - values);
        }
      }
      ++out;
    }
    for (; out != out_end; ++out) {
      while (p < held && is_number_space(*p)) ++p;
      if (p >= held) break;
      const NumberScan scan = scan_number(p, end, *out);
      p = scan.ptr;
      if (!scan.ok) {
        r.begin = static_cast<size_t>(p - base);
        return static_cast<size_t>(out - values);
      }
    }
    r.begin = static_cast<size_t>(p - base);
    if (out == out_end) break;
    // The last token of the buffer, or the end of the input.
    if (!read_text_number(r, *out)) return static_cast<size_t>(out - values);
    ++out;
  }
  return count;
}

}  // namespace kavrix
