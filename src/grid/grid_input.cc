#include "grid/grid_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace kavrix {
namespace {

Status cannot_open(const GridInput& grid) {
  return failure(kExitInputOpen, "could not open input grid %s\n",
                 grid.name.c_str());
}

Status cannot_read_twice(const GridInput& grid) {
  return failure(kExitRowRead,
                 "cannot read %s a second time: it is not a file that can "
                 "be read from its start again (a pipe?)\n",
                 grid.name.c_str());
}

// The six keyword/number pairs of a text header, read from the stream's
// start into `header`. Keywords are not examined: the numbers are placed by
// position, whatever the words before them say.
Status read_text_header(GridInput& grid, GridHeader& header) {
  std::array<double, kHeaderFields> values{};
  text_reader_attach(grid.text, grid.file.get());
  for (size_t i = 0; i < 6; ++i) {
    if (!skip_text_token(grid.text) || !read_text_number(grid.text, values[i])) {
      return failure(kExitBadHeader, "could not read the header of %s\n",
                     grid.name.c_str());
    }
  }
  set_header_values(header, values);
  return {};
}

// Reads up to twelve values of type T from the start of the file and, if
// the sixth, the nodata value, is there and is the binary mark, sets the
// header from them. Values the file does not hold are zero.
template <typename T>
bool read_binary_header(std::FILE* file, GridHeader& header) {
  std::array<T, kHeaderFields> stored{};
  if (std::fseek(file, 0, SEEK_SET) != 0) return false;
  size_t got = std::fread(stored.data(), sizeof(T), kHeaderFields, file);
  // A value cut by the end of the file may hold some of its bytes.
  std::fill(stored.begin() + static_cast<std::ptrdiff_t>(got), stored.end(), T{0});
  if (got < 6 || stored[5] != static_cast<T>(kNoDataMark)) return false;
  std::array<double, kHeaderFields> values{};
  std::copy(stored.begin(), stored.end(), values.begin());
  set_header_values(header, values);
  return true;
}

Status recognise(GridInput& grid) {
  // A FIFO opened for reading waits for a writer, unless it is opened
  // without blocking: a grid to be read twice is opened so, and a pipe is
  // refused before anything can wait.
  const int flags = O_RDONLY | O_CLOEXEC | (grid.read_twice ? O_NONBLOCK : 0);
  const int fd = open(grid.name.c_str(), flags);
  if (fd < 0) return cannot_open(grid);
  grid.file.reset(fdopen(fd, "rb"));
  if (!grid.file) {
    close(fd);
    return cannot_open(grid);
  }
  std::FILE* file = grid.file.get();
  if (grid.read_twice && (lseek(fd, 0, SEEK_CUR) < 0 ||
                          fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
    return cannot_read_twice(grid);
  }

  // Only bytes that this file holds take part in each test.
  char mark[4];
  size_t got = std::fread(mark, 1, sizeof mark, file);
  if (std::ferror(file)) return cannot_open(grid);  // e.g. a directory
  if (got == sizeof mark && std::memcmp(mark, "ncol", sizeof mark) == 0) {
    grid.file.reset(std::fopen(grid.name.c_str(), "rt"));
    if (!grid.file) return cannot_open(grid);
    return read_text_header(grid, grid.header);
  }
  if (read_binary_header<double>(file, grid.header)) {
    grid.format = GridFormat::binary_double;
  } else if (read_binary_header<float>(file, grid.header)) {
    grid.format = GridFormat::binary_single;
  } else {
    return failure(kExitUnknownFormat,
                   "could not recognise file format (ascii, single or double) "
                   "for %s\n",
                   grid.name.c_str());
  }
  // A binary grid whose rows reach kDirectRowBytes is read from here on
  // through its descriptor, placed just after the header, past the
  // stream's buffer; the stream itself is not read again.
  const size_t bytes = value_bytes(grid.format);
  grid.direct = grid.header.ncols * static_cast<double>(bytes) >=
                static_cast<double>(kDirectRowBytes);
  const auto header_bytes = static_cast<off_t>(kHeaderFields * bytes);
  if (grid.direct && lseek(fileno(file), header_bytes, SEEK_SET) != header_bytes) {
    return cannot_open(grid);
  }
  return {};
}

}  // namespace

Status open_input_grid(GridInput& grid) {
  Status status = recognise(grid);
  if (status.ok() && !identity_of(grid.file.get(), grid.identity)) {
    return cannot_open(grid);
  }
  return status;
}

Status rewind_input_grid(GridInput& grid) {
  const auto body = static_cast<off_t>(kHeaderFields * value_bytes(grid.format));
  // A text grid and wide binary rows are read through the descriptor, the
  // other rows through the stream's buffer.
  const bool moved =
      grid.format == GridFormat::text || grid.direct
          ? lseek(fileno(grid.file.get()), body, SEEK_SET) == body
          : std::fseek(grid.file.get(), body, SEEK_SET) == 0;
  if (!moved) return cannot_read_twice(grid);
  if (grid.format != GridFormat::text) return {};
  GridHeader again;  // the header as it reads now; the first one stays
  return read_text_header(grid, again);
}

}  // namespace kavrix
