// Files are known by what the tool has open, not by their names: FIFOs,
// renames while the prompt waits, and closed standard descriptors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "app/run.h"
#include "test_util.h"

namespace kavrix {
namespace {

using Clock = std::chrono::steady_clock;

// Agreeing grids a, t and s of ncols x 3 cells in `format` (a text_grid
// style writer) in `dir`.
template <typename Writer>
void write_inputs(const test::TempDir& dir, int ncols, Writer format) {
  std::vector<double> a, t, s;
  for (int k = 0; k < 3 * ncols; ++k) {
    a.push_back(k % 9);
    t.push_back(0.5 + k % 4);
    s.push_back(3 + k % 30);
  }
  test::write_file(dir.path("a"), format(test::make_grid(ncols, 3, a)));
  test::write_file(dir.path("t"), format(test::make_grid(ncols, 3, t)));
  test::write_file(dir.path("s"), format(test::make_grid(ncols, 3, s)));
}

TEST(FileIdentity, FifoInputNamedAsOutputIsRefusedAndNeverAwaitedPastItsValues) {
  std::signal(SIGPIPE, SIG_IGN);
  test::TempDir dir;
  write_inputs(dir, 4, test::text_grid);
  const std::string grid = test::read_file(dir.path("a"));
  ASSERT_EQ(mkfifo(dir.path("a.fifo").c_str(), 0600), 0);
  std::atomic<bool> done = false;
  bool writer_gave_up = false;
  // A text grid is recognised by its first four bytes, then opened again;
  // the writer sends the rest once those are read, and keeps the FIFO open
  // until the run ends, as a producer that lingers after its last value.
  std::thread writer([&] {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    const int fd = open(dir.path("a.fifo").c_str(), O_WRONLY);
    int unread = static_cast<int>(write(fd, "ncol", 4));
    while (unread > 0 && ioctl(fd, FIONREAD, &unread) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    (void)!write(fd, grid.data() + 4, grid.size() - 4);
    while (!done && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    writer_gave_up = !done;
    close(fd);
  });
  const std::string fifo = dir.path("a.fifo");
  test::RunResult r = test::run_here(
      {fifo, dir.path("t"), dir.path("s"), fifo}, dir.path("out") + "\n");
  done = true;
  writer.join();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output,
            "output grid " + fifo + " is also an input grid \r\nplease enter "
            "new output file name: \r\n...\n");
  EXPECT_FALSE(writer_gave_up) << "the run waited for the FIFO to close";
  EXPECT_EQ(test::run_program(KAVRIX_BINARY, {"a", "t", "s", "expected"}, dir.path(""))
                .status, 0);
  EXPECT_EQ(test::read_file(dir.path("out")), test::read_file(dir.path("expected")));
}

// The console's input: `at_prompt` runs when the tool first reads it.
struct Answer {
  std::function<void()> at_prompt;
  std::string text;
};

ssize_t give_answer(void* cookie, char* buffer, size_t size) {
  auto& answer = *static_cast<Answer*>(cookie);
  if (answer.at_prompt) std::exchange(answer.at_prompt, nullptr)();
  const size_t n = std::min(size, answer.text.size());
  answer.text.copy(buffer, n);
  answer.text.erase(0, n);
  return static_cast<ssize_t>(n);
}

// Runs kavrix in process on a, t and s with the output name `first` and
// `answer` at the prompt; returns what the console showed.
std::string run_with_prompt(const test::TempDir& dir, const std::string& first,
                            Answer answer, int& status) {
  std::FILE* in = fopencookie(&answer, "r", {give_answer, nullptr, nullptr, nullptr});
  std::FILE* out = std::tmpfile();
  status = run_kavrix({dir.path("a"), dir.path("t"), dir.path("s"), first, "-f:d"},
                      Console{out, in});
  std::string shown(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  shown.resize(std::fread(shown.data(), 1, shown.size(), out));
  std::fclose(in);
  std::fclose(out);
  return shown;
}

TEST(FileIdentity, PromptAnswersAreJudgedByTheFilesTheInputsHaveOpen) {
  test::TempDir dir;
  write_inputs(dir, 4, test::double_grid);
  const std::string a = test::read_file(dir.path("a"));
  const std::string missing = dir.path("no/folder");
  int status = -1;
  // Input A renamed while the prompt waits, then named: refused.
  std::string shown = run_with_prompt(
      dir, missing,
      {[&] { std::filesystem::rename(dir.path("a"), dir.path("b")); },
       dir.path("b") + "\n"},
      status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(shown.find("output grid " + dir.path("b") + " is also an input grid"),
            std::string::npos);
  EXPECT_EQ(test::read_file(dir.path("b")), a);
  // A new file put at an input's old name is no input: it takes the output.
  std::filesystem::rename(dir.path("b"), dir.path("a"));
  shown = run_with_prompt(
      dir, missing,
      {[&] {
         std::filesystem::rename(dir.path("a"), dir.path("b"));
         test::write_file(dir.path("a"), "new");
       },
       dir.path("a") + "\n"},
      status);
  EXPECT_EQ(status, 0) << shown;
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
      ASSERT_EQ(test::run_program(KAVRIX_BINARY, {"a", "t", "s", "expected", out_switch},
                                  dir.path("")).status, 0);
      // With descriptor 1 closed, no dot may land in a grid.
      test::RunResult r = test::run_program(
          "sh", {"-c", "exec \"$0\" \"$@\" >&-", KAVRIX_BINARY, "a", "t", "s",
                 "out", out_switch}, dir.path(""));
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(test::read_file(dir.path("out")),
                test::read_file(dir.path("expected")));
    }
  }
}

}  // namespace
}  // namespace kavrix
