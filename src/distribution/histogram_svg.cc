#include "distribution/histogram_svg.h"

#include <algorithm>
#include <cmath>

#include "base/xml_text.h"
#include "distribution/value_text.h"

namespace kavrix {
namespace {

// The picture and the plot area inside it, in pixels.
constexpr double kWidth = 800;  // the height is 480
constexpr double kLeft = 80;
constexpr double kRight = 770;
constexpr double kTop = 70;
constexpr double kBottom = 410;

// Round tick values over [lo, hi]: multiples of 1, 2 or 5 times a power of
// ten, at most about `most` of them.
struct Ticks {
  double step = 0;
  int decimals = 0;  // enough to print every tick exactly
};

Ticks round_ticks(double lo, double hi, int most) {
  Ticks ticks;
  const double raw = (hi / 2 - lo / 2) / most * 2;  // no overflow
  if (!(raw > 0) || !std::isfinite(raw)) return ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    ticks.step = m * power;
    if (ticks.step >= raw) break;
  }
  const double digits = -std::floor(std::log10(ticks.step));
  ticks.decimals = digits > 0 ? static_cast<int>(std::min(digits, 17.0)) : 0;
  return ticks;
}

// Calls draw(value) for every tick value within [lo, hi].
template <typename Draw>
void for_each_tick(const Ticks& ticks, double lo, double hi, Draw draw) {
  if (ticks.step <= 0) return;
  const double first = std::ceil(lo / ticks.step - 1e-9);
  for (int i = 0; i <= 40; ++i) {
    const double value = (first + i) * ticks.step + 0.0;  // no "-0"
    if (value > hi + ticks.step * 1e-9) break;
    draw(value);
  }
}

std::string px(double v) { return fixed_text(v, 2); }

// A tick or mean label: `decimals` digits after the point where that is
// short, else six significant digits (1e+300, 2.5e-310).
std::string label(double v, int decimals) {
  return std::fabs(v) < 1e9 && decimals <= 9 ? fixed_text(v, decimals)
                                              : significant_text(v, 6);
}

std::string text(double x, double y, const char* anchor,
                 const std::string& content, const std::string& extra = "") {
  return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" +
         anchor + "\"" + extra + ">" + content + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2,
                 const std::string& style) {
  return "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) +
         "\" y2=\"" + px(y2) + "\" " + style + "/>\n";
}

}  // namespace

std::string histogram_svg(const IndexSummary& summary,
                          const IndexClasses& classes) {
  const int count = static_cast<int>(classes.cells.size());
  // All values equal: a window around the value, with one narrow bar.
  const double pad = std::max(0.5, std::fabs(classes.min) * 1e-3);
  const bool flat = !(classes.max > classes.min);
  const double lo = flat ? classes.min - pad : classes.min;
  const double hi = flat ? classes.max + pad : classes.max;
  auto x_of = [&](double v) {
    // Halves: no overflow, and the same ratio, halving being exact.
    return kLeft + (v / 2 - lo / 2) / (hi / 2 - lo / 2) * (kRight - kLeft);
  };

  double highest = 0;
  for (std::uint64_t cells : classes.cells) {
    highest = std::max(highest, static_cast<double>(cells) / summary.count);
  }
  const Ticks y_ticks = round_ticks(0, highest, 5);
  double y_top = std::ceil(highest / y_ticks.step - 1e-9) * y_ticks.step;
  if (!(y_top > 0)) y_top = 1;
  auto y_of = [&](double f) { return kBottom - f / y_top * (kBottom - kTop); };

  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"480\" "
      "viewBox=\"0 0 800 480\" font-family=\"sans-serif\" font-size=\"13\">\n"
      "<path d=\"M0 0H800V480H0Z\" fill=\"white\"/>\n";
  svg += text(kWidth / 2, 30, "middle",
              "Topographic index of " + xml_text(summary.grid_name).text +
                  ", " + fixed_text(summary.count, 0) +
                  (summary.count == 1 ? " cell" : " cells"),
              " font-size=\"17\" font-weight=\"bold\"");

  // Grid lines behind the bars.
  for_each_tick(y_ticks, 0, y_top, [&](double f) {
    if (f > 0) {
      svg += line(kLeft, y_of(f), kRight, y_of(f), "stroke=\"#d8d8d8\"");
    }
  });
  // Thin bars would vanish under an outline.
  const bool outlined = (kRight - kLeft) / count >= 4;
  svg += std::string("<g fill=\"#4a7fb5\"") +
         (outlined ? " stroke=\"white\" stroke-width=\"0.5\"" : "") + ">\n";
  for (int k = 0; k < count; ++k) {
    const double fraction =
        static_cast<double>(classes.cells[k]) / summary.count;
    double x1 = x_of(class_lower(classes, k));
    double x2 = x_of(class_upper(classes, k));
    // A bar narrower than a pixel would show only as a faint shade.
    const double widen =
        flat ? (kRight - kLeft) / 40 : std::max(0.0, (1 - (x2 - x1)) / 2);
    x1 -= widen;
    x2 += widen;
    svg += "<rect x=\"" + px(x1) + "\" y=\"" + px(y_of(fraction)) +
           "\" width=\"" + px(x2 - x1) + "\" height=\"" +
           px(kBottom - y_of(fraction)) + "\"><title>" +
           significant_text(class_lower(classes, k), 6) + " to " +
           significant_text(class_upper(classes, k), 6) + ": " +
           significant_text(fraction, 4) + "</title></rect>\n";
  }
  svg += "</g>\n";

  const std::string axis = "stroke=\"black\"";
  for_each_tick(y_ticks, 0, y_top, [&](double f) {
    const double y = y_of(f);
    svg += line(kLeft - 5, y, kLeft, y, axis);
    svg += text(kLeft - 8, y + 4, "end", label(f, y_ticks.decimals));
  });
  const Ticks x_ticks = round_ticks(lo, hi, 8);
  for_each_tick(x_ticks, lo, hi, [&](double v) {
    const double x = x_of(v);
    svg += line(x, kBottom, x, kBottom + 5, axis);
    svg += text(x, kBottom + 20, "middle", label(v, x_ticks.decimals));
  });
  svg += line(kLeft, kBottom, kRight, kBottom, axis);
  svg += line(kLeft, kTop, kLeft, kBottom, axis);
  svg += text((kLeft + kRight) / 2, kBottom + 45, "middle",
              "topographic index ln(A / (T \xc2\xb7 tan \xce\xb2))");
  svg += text(0, 0, "middle", "fraction of cells",
              " transform=\"translate(24 " + px((kTop + kBottom) / 2) +
                  ") rotate(-90)\"");

  // The mean, labelled above the plot, the label kept inside the picture.
  const double x = std::clamp(x_of(summary.mean), kLeft, kRight);
  const char* anchor = x < kLeft + 60    ? "start"
                       : x > kRight - 60 ? "end"
                                         : "middle";
  svg +=
      line(x, kTop - 4, x, kBottom,
           "stroke=\"#b22222\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"");
  svg += text(x, kTop - 10, anchor,
              "mean " + label(summary.mean, x_ticks.decimals + 2),
              " fill=\"#b22222\"");
  return svg + "</svg>\n";
}

}  // namespace kavrix
