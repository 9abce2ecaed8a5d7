#include "test_util.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#if defined(__SANITIZE_ADDRESS__)
#define KAVRIX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KAVRIX_TEST_ASAN 1
#endif
#endif

namespace kavrix::test {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "kavrix-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  root_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::remove_all(root_, error);
}

std::string TempDir::path(const std::string& name) const {
  return root_ + "/" + name;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool file_exists(const std::string& path) {
  return std::filesystem::exists(path);
}

Grid make_grid(int ncols, int nrows, std::vector<double> cells) {
  Grid grid;
  grid.header = {static_cast<double>(ncols), static_cast<double>(nrows), 0, 0,
                 10, -9999, 0, 0, 0, 0, 0, 0};
  grid.cells = std::move(cells);
  return grid;
}

std::string text_grid(const Grid& grid) {
  static const char* const kKeys[] = {"ncols", "nrows", "xllcorner",
                                      "yllcorner", "cellsize", "NODATA_value"};
  std::string text;
  char number[64];
  for (int i = 0; i < 6; ++i) {
    std::snprintf(number, sizeof number, "%.17g", grid.header[i]);
    text += std::string(kKeys[i]) + " " + number + "\n";
  }
  size_t ncols = grid.header[0] > 0 ? static_cast<size_t>(grid.header[0]) : 1;
  for (size_t k = 0; k < grid.cells.size(); ++k) {
    std::snprintf(number, sizeof number, "%.17g", grid.cells[k]);
    text += number;
    text += (k + 1) % ncols == 0 ? "\n" : " ";
  }
  return text;
}

std::string double_grid(const Grid& grid) {
  std::string bytes(reinterpret_cast<const char*>(grid.header.data()),
                    sizeof(double) * grid.header.size());
  bytes.append(reinterpret_cast<const char*>(grid.cells.data()),
               sizeof(double) * grid.cells.size());
  return bytes;
}

std::string single_grid(const Grid& grid) {
  std::string bytes;
  auto put = [&bytes](double value) {
    float single = static_cast<float>(value);
    bytes.append(reinterpret_cast<const char*>(&single), sizeof single);
  };
  for (double value : grid.header) put(value);
  for (double value : grid.cells) put(value);
  return bytes;
}

std::vector<double> doubles_at(const std::string& bytes, size_t offset,
                               size_t count) {
  std::vector<double> values(count);
  if (offset + count * sizeof(double) <= bytes.size()) {
    std::memcpy(values.data(), bytes.data() + offset, count * sizeof(double));
  }
  return values;
}

std::vector<double> singles_at(const std::string& bytes, size_t offset,
                               size_t count) {
  std::vector<float> singles(count);
  if (offset + count * sizeof(float) <= bytes.size()) {
    std::memcpy(singles.data(), bytes.data() + offset, count * sizeof(float));
  }
  return std::vector<double>(singles.begin(), singles.end());
}

namespace {

// Reads a pipe to its end.
std::string drain(int fd) {
  std::string text;
  char block[4096];
  ssize_t got;
  while ((got = read(fd, block, sizeof block)) > 0) {
    text.append(block, static_cast<size_t>(got));
  }
  close(fd);
  return text;
}

// Runs `program` as run_program does; a memory_limit of 0 leaves its
// memory alone.
RunResult run_child(const std::string& program,
                    const std::vector<std::string>& args,
                    const std::string& input, const std::string& cwd,
                    size_t memory_limit) {
  // Standard input comes from a file so that a large answer cannot block.
  std::string in_name =
      (std::filesystem::temp_directory_path() / "kavrix-stdin-XXXXXX").string();
  int in_fd = mkstemp(in_name.data());
  if (in_fd < 0) throw std::runtime_error("mkstemp");
  unlink(in_name.c_str());
  if (write(in_fd, input.data(), input.size()) !=
      static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("write stdin");
  }
  lseek(in_fd, 0, SEEK_SET);
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe");

  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_fd, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    if (memory_limit > 0) {
      if (built_with_address_sanitizer()) {
        const char* given = std::getenv("ASAN_OPTIONS");
        std::string options = given ? std::string(given) + ":" : "";
        options += "allocator_may_return_null=1:max_allocation_size_mb=" +
                   std::to_string(memory_limit >> 20);
        setenv("ASAN_OPTIONS", options.c_str(), 1);
      } else {
        struct rlimit limit = {memory_limit, memory_limit};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
      }
    }
    std::vector<char*> argv;
    std::string binary = program;
    argv.push_back(binary.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp(binary.c_str(), argv.data());
    _exit(127);
  }
  close(in_fd);
  close(out_pipe[1]);
  close(err_pipe[1]);
  RunResult result;
  // Drain the error stream after the output; the tool writes almost nothing there.
  result.output = drain(out_pipe[0]);
  result.errors = drain(err_pipe[0]);
  int wstatus = 0;
  struct rusage usage {};
  wait4(pid, &wstatus, 0, &usage);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  result.peak_rss_kb = usage.ru_maxrss;
  // Reports read "ERROR: AddressSanitizer: ..." or "... runtime error: ...";
  // the warning of an allocation refused under a memory limit is no report.
  if (result.errors.find("Sanitizer:") != std::string::npos ||
      result.errors.find("runtime error:") != std::string::npos) {
    ADD_FAILURE() << "sanitizer report from kavrix:\n" << result.errors;
  }
  return result;
}

}  // namespace

RunResult run_program(const std::string& program,
                      const std::vector<std::string>& args,
                      const std::string& input, const std::string& cwd) {
  return run_child(program, args, input, cwd, 0);
}

RunResult run_tool(const std::vector<std::string>& args,
                   const std::string& input, const std::string& cwd) {
  return run_child(KAVRIX_BINARY, args, input, cwd, 0);
}

RunResult run_tool_with_memory_limit(const std::vector<std::string>& args,
                                     size_t memory_limit) {
  return run_child(KAVRIX_BINARY, args, "", ".", memory_limit);
}

RunResult run_vrt_tool(const std::vector<std::string>& args,
                       const std::string& cwd) {
  return run_program(KAVRIX_VRT_BINARY, args, "", cwd);
}

bool on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    std::filesystem::path file =
        std::filesystem::path(folder.empty() ? "." : folder) / name;
    if (access(file.c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool built_with_address_sanitizer() {
#ifdef KAVRIX_TEST_ASAN
  return true;
#else
  return false;
#endif
}

int scaled(int count) {
  const char* text = std::getenv("KAVRIX_TEST_SCALE");
  double factor = text ? std::atof(text) : 1.0;
  if (!(factor > 0)) factor = 1.0;
  double result = count * factor;
  return result < 1 ? 1 : static_cast<int>(result);
}

}  // namespace kavrix::test
