// kavrix-dist: the classes of a small grid and of extreme ranges,
// statistics equal to those of kavrix's own header, the picture of
// ordinary, flat and extreme ranges read back, files named in shell use,
// and the failures. Its memory is checked with kavrix's extreme shapes in
// run_test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "distribution/histogram_svg.h"
#include "distribution/value_text.h"
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
  // A range of six subnormal steps in ten classes: the width rounds up, and
  // the classes past the largest value are empty and end at it.
  test::write_file(dir.path("tiny.dbl"), test::double_grid(test::make_grid(4, 1, {0, 3e-323, 1.5e-323, 2.5e-323})));
  const std::string tiny = run_dist({"tiny.dbl", "-n", "10", "--csv", "/dev/stdout"}, dir.path("")).output;
  EXPECT_EQ(tiny.substr(tiny.find("cumulative_fraction\n") + 20),
            "3e-323,3e-323,3e-323,1,0.25,0.25\n3e-323,3e-323,3e-323,0,0,0.25\n3e-323,3e-323,3e-323,0,0,0.25\n"
            "3e-323,3e-323,3e-323,0,0,0.25\n2.5e-323,3e-323,3e-323,1,0.25,0.5\n2e-323,2.5e-323,2e-323,0,0,0.5\n"
            "1.5e-323,2e-323,2e-323,1,0.25,0.75\n1e-323,1.5e-323,1e-323,0,0,0.75\n5e-324,1e-323,1e-323,0,0,0.75\n"
            "0,5e-324,0,1,0.25,1\n");
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

// The picture of `values` in `n` classes, read back: every bar in the plot,
// in class order, its extent and height those of its class; the ticks and
// the mean where their values say; labels readable.
void expect_histogram_shows(const std::vector<double>& values, int n) {
  const double L = 80, R = 770, T = 70, B = 410, e = 0.1;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  IndexClasses classes = make_classes(*lo, *hi, n);
  double sum = 0;
  for (double v : values) sum += v, ++classes.cells[class_of(classes, v)];
  const double count = values.size(), mean = sum / count;
  const std::string svg = histogram_svg({"\xc3\xa9\xed\xa0\x80\xef\xbf\xbe&b<c>\".asc", count, *lo, *hi, mean, 0}, classes);
  SCOPED_TRACE(shortest_text(*lo) + " to " + shortest_text(*hi) + ", classes " + std::to_string(n));
  EXPECT_TRUE(tags_balance(svg));
  EXPECT_NE(svg.find("of \xc3\xa9??????&amp;b&lt;c&gt;&quot;.asc, "), std::string::npos);
  EXPECT_TRUE(svg.find("inf") == std::string::npos && svg.find("nan") == std::string::npos);
  // Bars (x, y, width, height); the ticks along x and along y, with their labels; the mean line's x.
  std::vector<std::array<double, 4>> bars;
  struct Tick { double at, label_at; std::string label; };
  std::vector<Tick> ticks[2];
  std::vector<double> means;
  for (size_t at = svg.find('<'), axis = 2, last = 2; at != std::string::npos; at = svg.find('<', at + 1), last = axis) {
    const std::string tag = svg.substr(at, svg.find('>', at) - at);
    const auto a = [&](const std::string& name) {
      const size_t p = tag.find(" " + name + "=\"");
      return p == std::string::npos ? kNaN : std::strtod(tag.c_str() + p + name.size() + 3, nullptr);
    };
    const bool line = tag.starts_with("<line");
    axis = !line ? 2 : a("y2") - a("y1") == 5 ? 0 : a("x2") - a("x1") == 5 ? 1 : 2;
    EXPECT_TRUE(!line || std::isfinite(a("x1") + a("y1") + a("x2") + a("y2"))) << tag;
    if (tag.starts_with("<rect")) bars.push_back({a("x"), a("y"), a("width"), a("height")});
    if (line && tag.find("#b22222") != std::string::npos) means.push_back(a("x1"));
    if (axis < 2) ticks[axis].push_back({axis == 0 ? a("x1") : a("y1"), kNaN, ""});
    if (tag.starts_with("<text") && last < 2) {
      ticks[last].back().label_at = a(last == 0 ? "x" : "y");
      ticks[last].back().label = svg.substr(at + tag.size() + 1, svg.find('<', at + 1) - at - tag.size() - 1);
    }
  }
  // Each axis's ticks go along it with increasing values, under labels that stay apart in the picture
  // (8.5 px a character); the x axis runs from the least value to the largest, the fractions' from 0.
  const std::vector<Tick> &xs = ticks[0], &ys = ticks[1];
  ASSERT_TRUE(xs.size() >= 2 && ys.size() >= 2) << svg;
  const auto value = [](const Tick& t) -> long double { return std::strtod(t.label.c_str(), nullptr); };
  const auto x_of = [&](long double v) {
    return std::clamp<long double>(xs[0].at + (v - value(xs[0])) / (value(xs.back()) - value(xs[0])) * (xs.back().at - xs[0].at), L, R);
  };
  const long double per_fraction = (B - ys.back().at) / value(ys.back());
  for (int axis : {0, 1}) for (size_t i = 0; i < ticks[axis].size(); ++i) {
    const Tick &t = ticks[axis][i], &p = ticks[axis][i > 0 ? i - 1 : i];
    const double half = 4.25 * t.label.size();
    EXPECT_NEAR(t.at, axis == 0 ? x_of(value(t)) : B - value(t) * per_fraction, e) << t.label;
    EXPECT_TRUE(axis == 0 ? t.at >= L - e && t.at <= R + e && t.label_at >= half - e && t.label_at + half <= 800 + e
                          : t.at >= T - e && t.at <= B + e) << t.label;
    EXPECT_LE(std::fabs(t.label_at - t.at), axis == 0 ? half : 6) << t.label;
    EXPECT_TRUE(i == 0 || value(t) > value(p)) << p.label << " " << t.label;
    EXPECT_TRUE(i == 0 || (axis == 0 ? t.label_at - p.label_at >= half + 4.25 * p.label.size() : p.label_at - t.label_at >= 13));
  }
  EXPECT_TRUE(value(ys[0]) == 0 && std::fabs(ys.back().at - T) <= e) << ys.back().label;
  EXPECT_LE(std::max(xs[0].at - L, R - xs.back().at), (xs.back().at - xs[0].at) / (xs.size() - 1) + e);  // a step at most
  EXPECT_TRUE(*lo == *hi || (std::fabs(x_of(*lo) - L) <= e && std::fabs(x_of(*hi) - R) <= e));
  // A bar per class, in order, standing on the axis as high as its fraction; spanning its class where that
  // is two pixels wide or more, else covering it at least two pixels wide if it holds a cell.
  ASSERT_EQ(bars.size(), static_cast<size_t>(n));
  double tallest = 0;
  for (int k = 0; k < n; ++k) {
    const auto [x, y, w, h] = bars[k];
    const double from = x_of(class_lower(classes, k)), to = x_of(class_upper(classes, k));
    tallest = std::max(tallest, h);
    EXPECT_TRUE(x >= L - e && x + w <= R + e && y >= T - e && w >= 0 && std::fabs(y + h - B) <= e) << k;
    EXPECT_NEAR(h, classes.cells[k] / count * per_fraction, e) << k;
    EXPECT_TRUE(to - from < 2 || (std::fabs(x - from) <= e && std::fabs(x + w - to) <= e)) << k;
    EXPECT_TRUE(to - from >= 2 || classes.cells[k] == 0 || (x <= from + e && x + w >= to - e && w >= 2 - e)) << k;
    EXPECT_TRUE(k == 0 || w <= 2 + e || bars[k - 1][2] <= 2 + e || x >= bars[k - 1][0] + bars[k - 1][2] - e) << k;
  }
  EXPECT_GT(tallest, B - ys.end()[-2].at + e);  // the fractions' axis ends at the first tick above it
  // The mean where its value is, if the sum of the values was a double.
  ASSERT_EQ(means.size(), std::isfinite(mean) ? 1u : 0u);
  for (double x : means) EXPECT_NEAR(x, x_of(mean), e);
}

TEST(Histogram, BarsTicksAndMeanLieWhereTheirValuesSay) {
  const double kMax = DBL_MAX, u = 5e-324;
  for (const std::vector<double>& values : std::vector<std::vector<double>>{{4.5, 6, 6.25, 7, 12, 30}, {7, 7},
           {-3.5}, {1e300, 1e300}, {kMax, kMax}, {-kMax, -kMax}, {u, u}, {0, kMax}, {-kMax, kMax, 0, 1e300},
           {0, u}, {0, 6 * u}, {1, std::nextafter(1.0, 2.0)}, {1e300, 1.0000000000000006e300}, {3, 3.0000000000000018}}) {
    for (int n : {1, 10, 30, 10000}) expect_histogram_shows(values, n);
  }
}

TEST(DistCommand, FilesNamedInShellUseAreWrittenWholeOrNotAtAll) {
  test::TempDir dir;
  test::write_file(dir.path("g.dbl"), test::double_grid(test::make_grid(2, 1, {1, 2})));
  const std::string tools = "export TMPDIR=$PWD D=" KAVRIX_DIST_BINARY " V=" KAVRIX_VRT_BINARY "; ";
  ASSERT_EQ(test::run_program("bash", {"-c", tools + "$D g.dbl --csv want.c --svg want.s >want.t"}, dir.root).status, 0);
  // What the user had stays (or grows); a run that fails, or is ended by a
  // signal while it writes, leaves no temporary file behind.
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
      {"$D g.dbl --csv /dev/null --svg /dev/null >/dev/null", 0, "test -c /dev/null"},
      {"mkfifo f.csv; $D g.dbl --csv f.csv", 6, "test -p f.csv"},  // no reader: not waited for
      {"(ulimit -f 1; $D g.dbl -n 10000 --csv x.csv >/dev/null)", 6, "test ! -e x.csv"},
      {"mkfifo f.csv; exec 3<>f.csv; $D g.dbl -n 10000 --csv f.csv & sleep 1; kill $!; wait $!", 143, "true"},
      // Signals ignored from the start stay ignored: nohup, and SIGINT in a background job.
      {"mkfifo f.csv; exec 3<>f.csv; trap '' HUP; $D g.dbl -n 10000 --csv f.csv >/dev/null & p=$!; sleep 0.5; "
       "kill -HUP $p; kill -INT $p; exec 4<f.csv 3<&-; cat <&4 >x.got; wait $p", 0,
       "$D g.dbl -n 10000 --csv x.want >/dev/null; cmp x.got x.want"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::run_program("bash", {"-c", tools + c.run}, dir.root).status, c.status) << c.run;
    const std::string check = tools + c.check + " && ! ls -A | grep -q kavrix-; s=$?; rm -f log l.* n.* *.svg *.csv x*; exit $s";
    EXPECT_EQ(test::run_program("bash", {"-c", check}, dir.root).status, 0) << c.run << "\nchecked by: " << c.check;
  }
  // A process that a case leaves running goes when the case ends.
  const int left = std::atoi(test::run_program("bash", {"-c", "sleep 30 & echo $!"}).output.c_str());
  const auto state = [&] { return test::read_file("/proc/" + std::to_string(left) + "/stat"); };
  for (int k = 0; k < 100 && !state().empty() && state().find(") Z ") == std::string::npos; ++k) usleep(10000);
  EXPECT_TRUE(left > 0 && (state().empty() || state().find(") Z ") != std::string::npos)) << state();
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
