// kavrix-dist: the classes of a small grid and of extreme ranges,
// statistics equal to those of kavrix's own header, the picture, outputs
// through links and devices, and the failures. Its memory is checked with
// kavrix's extreme shapes in run_test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "test_util.h"

namespace kavrix {
namespace {

namespace fs = std::filesystem;
const double kNaN = std::nan(""), kInf = INFINITY;

test::RunResult run_dist(const std::vector<std::string>& args,
                         const std::string& cwd = ".") {
  return test::run_program(KAVRIX_DIST_BINARY, args, cwd);
}

// The table's lines after the '#' comments.
std::string class_lines(const std::string& table) {
  return table.substr(table.find('\n', table.rfind("\n#") + 1) + 1);
}

TEST(DistCommand, CountsFiniteValuesAboveNodataInEqualClasses) {
  test::TempDir dir;
  test::write_file(dir.path("g.asc"), test::text_grid(test::make_grid(
      3, 3, {1, 2, 2, 3, 5, -9999, -9998.5, kNaN, kInf})));
  test::write_file(dir.path("flat.dbl"), test::double_grid(test::make_grid(3, 1, {7, 7, 7})));
  test::RunResult r = run_dist({"g.asc", "-n", "4", "--csv", "g.csv"}, dir.path(""));
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_NE(r.output.find("# cells counted 5\n# minimum 1\n# maximum 5\n# mean 2.6\n"), std::string::npos);
  EXPECT_EQ(class_lines(r.output), "4.5 0.2\n3.5 0.2\n2.5 0.4\n1.5 0.2\n");  // 5 in the top class
  EXPECT_EQ(test::read_file(dir.path("g.csv")),
            "lower,upper,mid,cells,fraction,cumulative_fraction\n4,5,4.5,1,0.2,0.2\n"
            "3,4,3.5,1,0.2,0.4\n2,3,2.5,2,0.4,0.8\n1,2,1.5,1,0.2,1\n");
  r = run_dist({"flat.dbl", "-n", "3"}, dir.path(""));
  EXPECT_EQ(class_lines(r.output), "7 0\n7 0\n7 1\n");  // all in the lowest
  // Ranges wider than the largest double, and bounds whose sum is wider.
  test::Grid huge = test::make_grid(3, 1, {-1e308, 0, 1e308});
  huge.header[5] = -1.7e308;
  test::write_file(dir.path("huge.asc"), test::text_grid(huge));
  test::write_file(dir.path("high.dbl"), test::double_grid(test::make_grid(2, 1, {1e308, 1.7e308})));
  r = run_dist({"huge.asc", "-n", "4"}, dir.path(""));
  EXPECT_EQ(class_lines(r.output), "7.5e+307 0.3333333333333333\n2.5e+307 0.3333333333333333\n"
                                   "-2.5e+307 0\n-7.5e+307 0.3333333333333333\n");
  EXPECT_EQ(class_lines(run_dist({"high.dbl", "-n", "1"}, dir.path("")).output), "1.35e+308 1\n");
}

TEST(DistCommand, StatisticsEqualThoseInKavrixsDoubleHeader) {
  // kavrix's outputs: rows of 1100 values with nodata cells, read without
  // a stream buffer; two equal values, whose deviation kavrix gives as
  // nodata, and three.
  for (const char* golden : {"example.dbl", "wide.dbl", "two.dbl", "three.dbl"}) {
    const std::string path = KAVRIX_GOLDEN_DIR "/" + std::string(golden);
    const std::string table = run_dist({path}).output;
    double header[6];
    std::memcpy(header, test::read_file(path).data() + 48, sizeof header);
    const std::pair<const char*, int> fields[] = {{"counted ", 0}, {"minimum ", 1},
        {"maximum ", 2}, {"mean ", 4}, {"deviation ", 5}};
    for (const auto& [label, f] : fields) {
      const size_t at = table.find(label);
      ASSERT_NE(at, std::string::npos) << golden << " " << label;
      EXPECT_EQ(std::strtod(table.c_str() + at + std::strlen(label), nullptr), header[f]) << golden << " " << label;
    }
  }
}

// Tags balance and every '<' opens a tag or a declaration.
bool tags_balance(const std::string& xml) {
  std::vector<std::string> open;
  for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
    const size_t end = xml.find('>', at);
    if (end == std::string::npos) return false;
    const std::string tag = xml.substr(at + 1, end - at - 1);
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) return false;
      open.pop_back();
    } else if (tag[0] != '?' && tag.back() != '/') {
      open.push_back(tag.substr(0, tag.find(' ')));
    }
  }
  return open.empty();
}

TEST(DistCommand, HistogramIsWellFormedWithABarPerClass) {
  test::TempDir dir;
  // A surrogate and U+FFFE, which XML does not allow, beside a valid letter.
  const std::string name = "\xc3\xa9\xed\xa0\x80\xef\xbf\xbe&b<c>.asc";
  test::write_file(dir.path(name), test::text_grid(test::make_grid(3, 2, {4.5, 6, 6.25, 7, 12, 30})));
  for (int classes : {1, 30, 10000}) {
    ASSERT_EQ(run_dist({name, "-n", std::to_string(classes), "--svg", "h.svg"}, dir.path("")).status, 0);
    const std::string svg = test::read_file(dir.path("h.svg"));
    EXPECT_TRUE(tags_balance(svg));
    EXPECT_NE(svg.find("of \xc3\xa9??????&amp;b&lt;c&gt;.asc, 6 cells<"), std::string::npos);
    size_t bars = 0;
    for (size_t at = svg.find("<rect"); at != std::string::npos; at = svg.find("<rect", at + 1)) ++bars;
    EXPECT_EQ(bars, static_cast<size_t>(classes));
  }
}

TEST(DistCommand, FilesNamedInShellUseAreWrittenWholeOrNotAtAll) {
  test::TempDir dir;
  test::write_file(dir.path("g.dbl"), test::double_grid(test::make_grid(2, 1, {1, 2})));
  const std::string tools = "export TMPDIR=$PWD D=" KAVRIX_DIST_BINARY " V=" KAVRIX_VRT_BINARY "; ";
  ASSERT_EQ(test::run_program("bash", {"-c", tools + "$D g.dbl --csv want.c --svg want.s >want.t"}, dir.root).status, 0);
  // What the user had stays (or grows); a run that fails leaves no
  // temporary file behind.
  const struct { const char* run; int status; const char* check; } cases[] = {
      {"printf old >log; $D g.dbl --csv /dev/stdout >>log", 0, "printf old | cat - want.t want.c | cmp - log"},
      {"printf old >log; $D g.dbl --svg /dev/stderr 2>>log >/dev/null", 0, "printf old | cat - want.s | cmp - log"},
      {"printf old >log; $D g.dbl --csv log >>log", 0, "printf old | cat - want.t want.c | cmp - log"},
      {"printf old >log; $V g.dbl /dev/stdout >>log", 0, "{ printf old; $V g.dbl; } | cmp - log"},
      {"ln -s new.csv l.csv; $D g.dbl --csv l.csv >/dev/null", 0, "test -L l.csv && cmp new.csv want.c"},
      {"ln -s n.csv l.svg; $D g.dbl --csv n.csv --svg l.svg", 1, "test ! -e n.csv"},
      {"ln -s l.x l.x; $D g.dbl --csv l.x", 6, "test -L l.x"},
      {"printf old >real.csv; chmod 604 real.csv; ln -s real.csv link.csv; ln -s /dev/null null.svg; "
       "$D g.dbl --csv link.csv --svg null.svg >/dev/null", 0,
       "test -L link.csv -a -L null.svg -a -c /dev/null && cmp real.csv want.c && test $(stat -c %a real.csv) = 604"},
      {"$D g.dbl --csv $(printf 'x%.0s' {1..255}) >/dev/null", 0, "cmp x*x want.c"},
      {"printf old >o.csv; set -o pipefail; $D g.dbl -n 10000 --csv o.csv | head -c 1 >/dev/null", 6, "test $(cat o.csv) = old"},
      {"$D g.dbl --csv c.csv >&-", 6, "test ! -e c.csv"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::run_program("bash", {"-c", tools + c.run}, dir.root).status, c.status) << c.run;
    const std::string check = tools + c.check + " && ! ls -A | grep -q kavrix-; s=$?; rm -f log l.* n.* *.svg *.csv x*; exit $s";
    EXPECT_EQ(test::run_program("bash", {"-c", check}, dir.root).status, 0) << c.run << "\nchecked by: " << c.check;
  }
}

TEST(DistCommand, BadInputFailsAndWritesNothing) {
  test::TempDir dir;
  const std::string whole = test::double_grid(test::make_grid(2, 2, {1, 2, 3, 4}));
  test::write_file(dir.path("g.dbl"), whole);
  test::write_file(dir.path("short.dbl"), whole.substr(0, whole.size() - 8));
  test::write_file(dir.path("short.asc"), test::text_grid(test::make_grid(2, 3, {1, 2, 3, 4})));
  test::write_file(dir.path("none.asc"), test::text_grid(test::make_grid(2, 1, {-9999, kNaN})));
  test::write_file(dir.path("notes.txt"), "NCOLS 2\n");
  test::write_file(dir.path("old.csv"), "old");
  // A FIFO cannot be read twice; it is refused before a writer comes.
  ASSERT_EQ(mkfifo(dir.path("g.fifo").c_str(), 0600), 0);
  const auto before = std::distance(fs::directory_iterator(dir.path("")), {});
  struct Case { std::vector<std::string> args; int status; const char* message; } cases[] = {
      {{}, 1, "no grid given"},
      {{"g.dbl", "-n", "0"}, 1, "whole number from 1 to 10000, not \"0\""},
      {{"g.dbl", "-n", "10001"}, 1, "not \"10001\""},
      {{"g.dbl", "-n", "2.5"}, 1, "not \"2.5\""},
      {{"g.dbl", "-q"}, 1, "unknown option -q"},
      {{"g.dbl", "--svg"}, 1, "option --svg needs a value"},
      {{"g.dbl", "g.dbl"}, 1, "one grid name is expected"},
      {{"g.dbl", "--csv", "./g.dbl"}, 1, "./g.dbl would replace the grid itself"},
      {{"g.dbl", "--csv", "new.x", "--svg", "./new.x"}, 1, "--csv and --svg name the same file"},
      {{"g.fifo", "--csv", "x.csv"}, 5, "cannot read g.fifo a second time"},
      {{"missing", "--csv", "x.csv"}, 3, "could not open input grid missing"},
      {{"notes.txt"}, 98, "could not recognise file format"},
      {{"short.dbl", "--csv", "x.csv"}, 5, "error reading from short.dbl in row 2 (1 values"},
      {{"short.asc", "--svg", "x.svg"}, 5, "error reading from short.asc in row 3 (0 values"},
      {{"none.asc", "--csv", "x.csv"}, 9, "none.asc holds no finite value above"},
      {{"g.dbl", "--csv", "no/x.csv"}, 6, "could not write no/x.csv"},
      {{"g.dbl", "--csv", "old.csv", "--svg", "."}, 6, "could not write .: it is a folder"},
  };
  for (const Case& c : cases) {
    test::RunResult r = run_dist(c.args, dir.path(""));
    EXPECT_EQ(r.status, c.status) << r.errors;
    EXPECT_NE(r.errors.find(c.message), std::string::npos) << r.errors;
    EXPECT_EQ(r.output, "");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path("")), {}), before);
  EXPECT_EQ(test::read_file(dir.path("old.csv")), "old");
  // A table that cannot be written leaves the files as they were too.
  const std::string command = std::string(KAVRIX_DIST_BINARY) + " g.dbl --csv old.csv >/dev/full";
  test::RunResult full = test::run_program("sh", {"-c", command}, dir.path(""));
  EXPECT_EQ(full.status, 6);
  EXPECT_EQ(full.errors, "error writing the table to standard output\n");
  EXPECT_EQ(test::read_file(dir.path("old.csv")), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path("")), {}), before);
}

}  // namespace
}  // namespace kavrix
