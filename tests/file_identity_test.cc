// Files are known by what the tool has open, not by their names: a FIFO
// named as the output (whose writer lingers), renames while the prompt
// waits, and a closed standard output.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "app/run.h"
#include "test_util.h"

namespace kavrix {
namespace {

namespace fs = std::filesystem;

// Agreeing grids a, t and s of ncols x 3 cells, written by `format`.
void write_inputs(const test::TempDir& dir, int ncols,
                  std::string (*format)(const test::Grid&)) {
  for (int g = 0; g < 3; ++g) {
    std::vector<double> cells;
    for (int k = 0; k < 3 * ncols; ++k) cells.push_back(1 + g + k % (7 + g));
    test::write_file(dir.path("ats"[g] + std::string()),
                     format(test::make_grid(ncols, 3, cells)));
  }
}

TEST(FileIdentity, FifoInputNamedAsOutputIsRefused) {
  test::TempDir dir;
  write_inputs(dir, 4, test::text_grid);
  const std::string grid = test::read_file(dir.path("a"));
  const std::string fifo = dir.path("a.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A text grid is recognised by its first four bytes and then opened
  // again: the writer sends the rest once those four have been read, and
  // keeps the FIFO open for five seconds or until the run has ended. The
  // run must not wait for more than the values it needs.
  std::atomic<bool> ended = false;
  std::thread writer([&] {
    std::FILE* out = std::fopen(fifo.c_str(), "w");
    std::fputs("ncol", out);
    std::fflush(out);
    for (int unread = 4; unread > 0 && ioctl(fileno(out), FIONREAD, &unread) == 0;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::fputs(grid.c_str() + 4, out);
    std::fflush(out);
    for (int k = 0; k < 500 && !ended; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::fclose(out);
  });
  const auto start = std::chrono::steady_clock::now();
  const test::RunResult r = test::run_here(
      {fifo, dir.path("t"), dir.path("s"), fifo}, dir.path("out") + "\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  ended = true;
  writer.join();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "output grid " + fifo +
                          " is also an input grid \r\nplease enter new output "
                          "file name: \r\n...\n");
  EXPECT_EQ(test::run_program(KAVRIX_BINARY, {"a", "t", "s", "b"}, dir.path("")).status, 0);
  EXPECT_EQ(test::read_file(dir.path("out")), test::read_file(dir.path("b")));
}

// The console's input: `at_prompt` runs when the tool first reads it.
struct Answer {
  std::function<void()> at_prompt;
  std::string text;
};

ssize_t give_answer(void* cookie, char* buffer, size_t size) {
  auto& answer = *static_cast<Answer*>(cookie);
  if (answer.at_prompt) std::exchange(answer.at_prompt, nullptr)();
  const size_t n = answer.text.copy(buffer, size);
  answer.text.erase(0, n);
  return static_cast<ssize_t>(n);
}

// Runs kavrix in process on a, t and s, first to a folder that does not
// exist, then to the answer at the prompt; returns the exit status.
int run_with_prompt(const test::TempDir& dir, Answer answer) {
  std::FILE* in = fopencookie(&answer, "r", {give_answer, nullptr, nullptr, nullptr});
  std::FILE* out = std::tmpfile();
  const int status = run_kavrix(
      {dir.path("a"), dir.path("t"), dir.path("s"), dir.path("no/x"), "-f:d"},
      Console{out, in});
  std::fclose(in);
  std::fclose(out);
  return status;
}

TEST(FileIdentity, PromptAnswersAreJudgedByTheFilesTheInputsHaveOpen) {
  test::TempDir dir;
  write_inputs(dir, 4, test::double_grid);
  const std::string a = test::read_file(dir.path("a"));
  auto rename_a = [&] { fs::rename(dir.path("a"), dir.path("b")); };
  // Input A renamed while the prompt waits, then named: refused.
  EXPECT_EQ(run_with_prompt(dir, {rename_a, dir.path("b") + "\n"}), 1);
  EXPECT_EQ(test::read_file(dir.path("b")), a);
  // A new file put at an input's old name is no input: it takes the output.
  fs::rename(dir.path("b"), dir.path("a"));
  auto replace_a = [&] {
    rename_a();
    test::write_file(dir.path("a"), "new");
  };
  EXPECT_EQ(run_with_prompt(dir, {replace_a, dir.path("a") + "\n"}), 0);
  EXPECT_EQ(test::read_file(dir.path("b")), a);
  EXPECT_EQ(test::read_file(dir.path("a")).size(), 96u + 8 * 12);
}

TEST(FileIdentity, WideBinaryRowsWithStandardOutputClosed) {
  test::TempDir dir;
  // 1200 values a row: rows of 4 KiB or more go through the descriptors.
  for (auto format : {test::double_grid, test::single_grid}) {
    write_inputs(dir, 1200, format);
    for (const std::string out_switch : {"-f:d", "-f:s"}) {
      SCOPED_TRACE(out_switch);
      ASSERT_EQ(test::run_program(KAVRIX_BINARY, {"a", "t", "s", "b", out_switch},
                                  dir.path("")).status, 0);
      // With descriptor 1 closed, no dot may land in a grid.
      const test::RunResult r = test::run_program(
          "sh", {"-c", "exec \"$0\" \"$@\" >&-", KAVRIX_BINARY, "a", "t", "s",
                 "out", out_switch}, dir.path(""));
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(test::read_file(dir.path("out")), test::read_file(dir.path("b")));
    }
  }
}

}  // namespace
}  // namespace kavrix
