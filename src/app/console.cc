#include "app/console.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "grid/whole_file.h"

namespace kavrix {
namespace {

// Reads one line without its line end (a CR before it goes too). Returns
// false when the input ends before any character; a last line without a
// line end still counts.
bool read_line(std::FILE* in, std::string& line) {
  line.clear();
  int c = std::fgetc(in);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::fgetc(in)) line.push_back(static_cast<char>(c));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

void open_standard_descriptors(bool output_is_product) {
  for (int fd = 0; fd <= 2; ++fd) {
    const int mode = fd == 1 && output_is_product ? O_RDONLY : O_RDWR;
    // open() takes the lowest free descriptor: this one, while it is closed.
    if (fcntl(fd, F_GETFD) == -1 && open("/dev/null", mode) == -1) return;
  }
}

void take_signals_as_a_companion() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  remove_temporaries_on_signals();
}

void progress_row_done(Progress& progress) {
  std::fputc('.', progress.out);
  const auto now = std::chrono::steady_clock::now();
  if (now - progress.last_flush >= std::chrono::milliseconds(200)) {
    std::fflush(progress.out);
    progress.last_flush = now;
  }
}

bool asks_for_help(const std::vector<std::string>& args) {
  return args.size() == 1 && (args[0] == "-h" || args[0] == "--help");
}

int print_help(const char* usage, std::FILE* out) {
  std::fputs(usage, out);
  return std::fflush(out) == 0 ? kExitSuccess : kWriteFailed;
}

void print_message(const Console& console, const Status& status) {
  std::fwrite(status.message.data(), 1, status.message.size(), console.out);
}

Status open_output_grid(OutputGrid& out, std::span<const FileIdentity> inputs,
                        const Console& console) {
  for (;;) {
    Status status = open_output_file(out, inputs);
    if (status.ok()) return status;
    print_message(console, status);
    std::fputs("please enter new output file name: ", console.out);
    std::fflush(console.out);
    if (!read_line(console.in, out.name) || out.name.empty()) {
      return {kExitUsage, {}};
    }
    std::fputs("\r\n", console.out);
  }
}

}  // namespace kavrix
