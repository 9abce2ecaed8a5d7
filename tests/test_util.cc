#include "test_util.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "app/run.h"

namespace kavrix::test {

TempDir::TempDir() : root((std::filesystem::temp_directory_path() / "kavrix-XXXXXX").string()) {
  if (!mkdtemp(root.data())) throw std::runtime_error("mkdtemp");
}

TempDir::~TempDir() { std::filesystem::remove_all(root); }

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string drain(std::FILE* file) {
  std::fflush(file);
  const std::string text = read_file("/proc/self/fd/" + std::to_string(fileno(file)));
  std::fclose(file);
  return text;
}

void expect_golden(const std::string& name, const std::string& bytes) {
  if (std::getenv("KAVRIX_WRITE_GOLDEN")) write_file(KAVRIX_GOLDEN_DIR "/" + name, bytes);
  EXPECT_EQ(read_file(KAVRIX_GOLDEN_DIR "/" + name), bytes) << "tests/golden/" << name;
}

Grid make_grid(int ncols, int nrows, std::vector<double> cells) {
  return {{double(ncols), double(nrows), 0, 0, 10, -9999}, std::move(cells)};
}

std::string text_grid(const Grid& grid) {
  const char* const keys[] = {"ncols", "nrows", "xllcorner", "yllcorner", "cellsize", "NODATA_value"};
  std::string text;
  char number[64];
  for (int i = 0; i < 6; ++i) text += keys[i] + std::string(number, std::snprintf(number, 64, " %.17g\n", grid.header[i]));
  const size_t ncols = grid.header[0] >= 1 ? static_cast<size_t>(grid.header[0]) : 1;
  for (size_t k = 0; k < grid.cells.size(); ++k) {
    text.append(number, std::snprintf(number, 64, "%.17g%c", grid.cells[k], (k + 1) % ncols ? ' ' : '\n'));
  }
  return text;
}

template <typename T>
std::string binary_grid(const Grid& grid) {
  std::vector<T> values(grid.header.begin(), grid.header.end());
  values.insert(values.end(), grid.cells.begin(), grid.cells.end());
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}
std::string double_grid(const Grid& grid) { return binary_grid<double>(grid); }
std::string single_grid(const Grid& grid) { return binary_grid<float>(grid); }

RunResult run_here(const std::vector<std::string>& args, const std::string& input) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  const int status = run_kavrix(args, Console{out, in});
  std::fclose(in);
  return {status, drain(out), "", 0};
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                      size_t memory_limit) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);  // a group of its own, which goes with it
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // AddressSanitizer needs a vast address space: it refuses the large
    // allocations itself.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string options = (asan ? asan + std::string(":") : "") +
                                "allocator_may_return_null=1:max_allocation_size_mb=" + std::to_string(memory_limit >> 20);
    const rlimit limit = {memory_limit, memory_limit};
    if (memory_limit > 0 && (built_with_address_sanitizer() ? setenv("ASAN_OPTIONS", options.c_str(), 1) : setrlimit(RLIMIT_AS, &limit))) {
      _exit(127);
    }
    if (!freopen("/dev/null", "r", stdin) || dup2(fileno(out), 1) < 0 || dup2(fileno(err), 2) < 0 || chdir(cwd.c_str())) {
      _exit(127);
    }
    alarm(60);  // kept across exec: SIGALRM ends a child that hangs
    execvp(argv[0], argv.data());
    _exit(127);
  }
  // Set here too, so that the group exists before the child runs on.
  setpgid(pid, pid);
  // What the child started (a shell's background jobs) ends with it: its
  // group is killed while the child, unreaped, still holds the group's id.
  siginfo_t ended{};
  waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT);
  kill(-pid, SIGKILL);
  int wstatus = 0;
  rusage usage{};
  wait4(pid, &wstatus, 0, &usage);
  RunResult result{WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, drain(out), drain(err), usage.ru_maxrss};
  EXPECT_FALSE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGALRM) << program << " was killed after 60 s";
  // Reports read "ERROR: AddressSanitizer: ..." or "... runtime error: ...".
  EXPECT_TRUE(result.errors.find("Sanitizer:") == std::string::npos && result.errors.find("runtime error:") == std::string::npos)
      << "sanitizer report from " << program << ":\n" << result.errors;
  return result;
}

bool built_with_address_sanitizer() { return dlsym(RTLD_DEFAULT, "__asan_init") != nullptr; }

int scaled(int count) {
  const double factor = std::getenv("KAVRIX_TEST_SCALE") ? std::atof(std::getenv("KAVRIX_TEST_SCALE")) : 1.0;
  return std::max(1, static_cast<int>(count * (factor > 0 ? factor : 1.0)));
}

}  // namespace kavrix::test
