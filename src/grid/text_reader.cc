#include "grid/text_reader.h"

#include <cstring>
#include <new>

#include "grid/number_scan.h"

namespace kavrix {
namespace {

constexpr size_t kBlockBytes = size_t{1} << 16;

using scan_detail::is_space;

// What the first character of a token that the shortcut refused is.
enum class Lead : unsigned char { kOther, kSpace, kSign };

struct LeadTable {
  Lead lead[256];
};

constexpr LeadTable make_lead_table() {
  LeadTable t{};
  for (int c = 0; c < 256; ++c) {
    if (scan_detail::kSpaceTable.space[c]) t.lead[c] = Lead::kSpace;
  }
  t.lead[static_cast<unsigned char>('+')] = Lead::kSign;
  t.lead[static_cast<unsigned char>('-')] = Lead::kSign;
  return t;
}

constexpr LeadTable kLeads = make_lead_table();

// Sets `held` after the buffer changed: a token that starts before the last
// white space of the buffer ends there at the latest; at the end of the
// input every token ends with the input.
void update_held(TextReader& r) {
  if (r.at_eof) {
    r.held = r.end;
    return;
  }
  size_t k = r.end;
  while (k > r.begin && !is_space(r.buffer[k - 1])) --k;
  r.held = k > r.begin ? k - 1 : 0;
}

// Makes the buffer `capacity` bytes long, keeping what it holds. Returns
// false when memory is short; the buffer is then as it was.
bool grow(TextReader& r, size_t capacity) {
  std::unique_ptr<char[]> bigger(new (std::nothrow) char[capacity]);
  if (!bigger) return false;
  if (r.end > 0) std::memcpy(bigger.get(), r.buffer.get(), r.end);
  r.buffer = std::move(bigger);
  r.capacity = capacity;
  return true;
}

// Moves the unread text to the front and appends the next block of the
// stream. Returns false when nothing more can be read.
bool refill(TextReader& r) {
  if (r.at_eof || r.failed) return false;
  size_t unread = r.end - r.begin;
  if (r.begin > 0) {
    std::memmove(r.buffer.get(), r.buffer.get() + r.begin, unread);
    r.begin = 0;
    r.end = unread;
  }
  if (r.capacity - r.end < kBlockBytes / 2) {
    if (r.capacity >= kMaxTokenBytes ||
        !grow(r, r.capacity < kBlockBytes ? kBlockBytes : 2 * r.capacity)) {
      // The token cannot be held whole: it is taken as not a number.
      r.failed = r.capacity < kMaxTokenBytes;
      update_held(r);
      return false;
    }
  }
  size_t got = std::fread(r.buffer.get() + r.end, 1, r.capacity - r.end,
                          r.file);
  r.end += got;
  if (got == 0) {
    if (std::ferror(r.file)) {
      r.failed = true;
    } else {
      r.at_eof = true;
    }
  }
  update_held(r);
  return got > 0;
}

// Skips white space. Returns false when the input ends first.
bool skip_space(TextReader& r) {
  for (;;) {
    while (r.begin < r.end && is_space(r.buffer[r.begin])) ++r.begin;
    if (r.begin < r.end) return true;
    if (!refill(r)) return false;
  }
}

// Makes sure the token at `begin` is followed, within the buffer, by white
// space or by the end of the input. Returns false when it is too long.
bool hold_token(TextReader& r) {
  if (r.begin < r.held) return true;
  size_t scanned = r.begin;
  for (;;) {
    while (scanned < r.end && !is_space(r.buffer[scanned])) ++scanned;
    if (scanned < r.end) return true;
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
    while (r.begin < r.end && !is_space(r.buffer[r.begin])) ++r.begin;
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
  double* out = values;
  double* const out_end = values + count;
  while (out != out_end) {
    // Numbers whose tokens start before `held` end within the buffer: they
    // are scanned without a look at the reader's state in between.  Before
    // `fast_end` the shortcut may also read kShortcutSpan bytes.
    const char* const base = r.buffer.get();
    const char* const held = base + r.held;
    const char* const end = base + r.end;
    const char* p = base + r.begin;
    constexpr auto kSpan = static_cast<size_t>(scan_detail::kShortcutSpan);
    const size_t fast = r.end >= kSpan ? r.end - (kSpan - 1) : 0;
    const char* const fast_end = base + (fast < r.held ? fast : r.held);
    while (p < fast_end) {
      // Most tokens start with a digit: the unsigned shortcut comes first.
      // It takes at most kSpan - 1 bytes with the white space after the
      // number, so this many tokens cannot pass fast_end: no test of p.
      const size_t room = static_cast<size_t>(fast_end - p) / (kSpan - 1);
      const auto left = static_cast<size_t>(out_end - out);
      double* const run_end = out + (room < left ? room : left);
      const char* stop = nullptr;
      while (out != run_end) {
        stop = scan_detail::scan_plain_unsigned(p, *out);
        if (stop == nullptr) break;
        p = stop + 1;  // the shortcut stops at white space, skipped here
        ++out;
      }
      if (out == out_end || p >= fast_end) break;
      // One token on its own; the first character is looked at only when
      // the shortcut refused it.
      if (out == run_end) stop = scan_detail::scan_plain_unsigned(p, *out);
      if (stop == nullptr) {
        const char c = *p;
        const Lead lead = kLeads.lead[static_cast<unsigned char>(c)];
        if (lead == Lead::kSpace) {
          ++p;
          continue;
        }
        if (lead == Lead::kSign) {
          double x;
          stop = scan_detail::scan_plain_unsigned(p + 1, x);
          if (stop != nullptr) *out = c == '-' ? -x : x;
        }
      }
      if (stop != nullptr) {
        p = stop + 1;
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
      while (p < held && is_space(*p)) ++p;
      if (p >= held) break;
      if (end - p >= scan_detail::kShortcutSpan) {
        const char* const stop = scan_detail::scan_plain_decimal(p, *out);
        if (stop != nullptr) {
          p = stop + 1;
          continue;
        }
      }
      const NumberScan scan = scan_number_general(p, end, *out);
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
