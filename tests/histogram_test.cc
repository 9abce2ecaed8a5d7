// The picture of a distribution read back for what dist_test does not
// measure: the digits of the mean's label.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "distribution/histogram_svg.h"

namespace kavrix {
namespace {

// The y attribute and the content of each text element.
std::vector<std::pair<std::string, std::string>> texts(const std::string& svg) {
  std::vector<std::pair<std::string, std::string>> found;
  for (size_t at = svg.find("<text "); at != std::string::npos; at = svg.find("<text ", at + 1)) {
    const size_t y = svg.find(" y=\"", at) + 4, content = svg.find('>', at) + 1;
    found.emplace_back(svg.substr(y, svg.find('"', y) - y),
                       svg.substr(content, svg.find('<', content) - content));
  }
  return found;
}

TEST(Histogram, MeanIsLabelledTwoPlacesFinerThanTheValueTicks) {
  const std::vector<std::vector<double>> cases = {
      {4.5, 6, 6.25, 7, 12, 30}, {0.0012, 0.0031, 0.0047},   {-3.25, 2, 1000.7},
      {123456.7, 123457.9, 123459.05}, {-0.5, -0.25, 7e-3}, {1, 1, 1, 2}, {-8.1, -8.1}};
  for (const std::vector<double>& values : cases) {
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    IndexClasses classes = make_classes(*lo, *hi, 30);
    double sum = 0;
    for (double v : values) sum += v, ++classes.cells[class_of(classes, v)];
    const double count = static_cast<double>(values.size()), mean = sum / count;
    const std::string svg = histogram_svg({"g.asc", count, *lo, *hi, mean, 0}, classes);
    std::vector<double> ticks;  // the labels under the value axis
    std::string label;
    for (const auto& [y, content] : texts(svg)) {
      if (y == "430.00") ticks.push_back(std::stod(content));
      if (content.starts_with("mean ")) label = content.substr(5);
    }
    ASSERT_TRUE(ticks.size() >= 2 && !label.empty()) << svg;
    // The ticks step by 1, 2 or 5 times 10^place.
    const int place = static_cast<int>(std::floor(std::log10(ticks[1] - ticks[0]) + 1e-9));
    const size_t point = label.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(label.size() - point - 1);
    EXPECT_EQ(decimals, std::max(0, 2 - place)) << label << " of " << mean;
    EXPECT_LE(std::fabs(std::stod(label) - mean), 0.5000001 * std::pow(10.0, -decimals)) << label;
  }
}

}  // namespace
}  // namespace kavrix
