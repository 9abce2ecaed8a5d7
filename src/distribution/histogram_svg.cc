#include "distribution/histogram_svg.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

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
// The most a character of a label takes in 13 px sans-serif, and the room
// kept between two labels.
constexpr double kCharWidth = 8.5;
constexpr double kGap = 8;

// The index values from lo to hi along the x axis.
struct Axis {
  double lo = 0;
  double hi = 0;
  double scale = 1;  // 0.5 when hi - lo overflows: halving is exact there

  // The place of `v`, kept within the plot.
  double x_of(double v) const {
    const double at = (v * scale - lo * scale) / (hi * scale - lo * scale);
    return kLeft + std::clamp(at, 0.0, 1.0) * (kRight - kLeft);
  }
};

// Tick values over [lo, hi]: multiples of a round step, or lo and hi
// themselves when no two round ticks fit.
struct Ticks {
  double step = 0;
  int place = 0;  // the power of ten of the step's first digit
  bool ends = false;
};

// Multiples of 1, 2 or 5 times a power of ten, at most about `most` of
// them, each a different double: the step is at least twice the spacing
// of the doubles at the larger end, which rounding cannot close.
// REQUIRES: most >= 2, so that the step is a double.
Ticks round_ticks(double lo, double hi, int most) {
  const double larger = std::max(std::fabs(lo), std::fabs(hi));
  const double spacing = larger >= DBL_MIN
                             ? std::ldexp(1.0, std::ilogb(larger) - 52)
                             : std::numeric_limits<double>::denorm_min();
  const double range = hi - lo;
  const double raw = std::max(std::isfinite(range)
                                  ? range / most
                                  : (hi / 2 - lo / 2) / most * 2,
                              2 * spacing);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  Ticks ticks;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (!std::isfinite(m * power)) break;  // the largest that is a double
    ticks.step = m * power;
    if (ticks.step >= raw) break;
  }
  // Below the subnormals the powers of ten are 0: whole subnormals then.
  if (!(ticks.step > 0)) ticks.step = raw;
  ticks.place = static_cast<int>(std::floor(std::log10(ticks.step)));
  return ticks;
}

// Calls draw(value) for every tick value within [lo, hi], or beyond by no
// more than rounding; returns how many.
template <typename Draw>
int for_each_tick(const Ticks& ticks, double lo, double hi, Draw draw) {
  if (ticks.ends) {
    draw(lo);
    draw(hi);
    return 2;
  }
  const double near = ticks.step * 1e-9;
  // From one step early: lo / step may have been rounded up.
  const double first = std::ceil(lo / ticks.step) - 1;
  int drawn = 0;
  for (int i = 0; i <= 40; ++i) {
    const double value = (first + i) * ticks.step + 0.0;  // no "-0"
    // Also ends at a value beyond the doubles.
    if (!(value - hi <= near)) break;
    if (lo - value > near) continue;
    draw(value);
    ++drawn;
  }
  return drawn;
}

std::string px(double v) { return fixed_text(v, 2); }

// `v` to the digit at 10^place: fixed where that is short (12.5, 0.002),
// else in significant digits (1.5e+308, 5e-324), or in the shortest form
// that reads back as `v` where that is no longer.
std::string value_label(double v, int place) {
  if (std::fabs(v) < 1e9 && place >= -9) {
    return fixed_text(v, std::max(0, -place));
  }
  const int magnitude =
      v == 0 ? place : static_cast<int>(std::floor(std::log10(std::fabs(v))));
  std::string rounded =
      significant_text(v, std::clamp(magnitude - place + 1, 1, 17));
  std::string shortest = shortest_text(v);
  return shortest.size() <= rounded.size() ? shortest : rounded;
}

// A tick's label: its round value, or all its digits where the round value
// reads back a ten-thousandth of a step or more away (ticks a few doubles
// apart).
std::string tick_label(double v, const Ticks& ticks) {
  if (ticks.ends) return shortest_text(v);
  const std::string label = value_label(v, ticks.place);
  double read = 0;
  std::from_chars(label.data(), label.data() + label.size(), read);
  return std::fabs(read - v) <= ticks.step * 1e-4 ? label : shortest_text(v);
}

// Half the width a label takes, at most.
double half_width(const std::string& label) {
  const auto length = static_cast<double>(label.size());
  return std::min(kCharWidth * length / 2, kWidth / 2);
}

// Where a label centred at x goes: moved in as far as it must to stay in
// the picture.
double label_centre(double x, const std::string& label) {
  const double half = half_width(label);
  return std::clamp(x, half, kWidth - half);
}

// As many x ticks as their labels leave room for, two at least; else lo
// and hi themselves, in full.
Ticks x_ticks_for(const Axis& axis) {
  for (int most = 8; most >= 2; --most) {
    const Ticks ticks = round_ticks(axis.lo, axis.hi, most);
    double end = 0;  // where the label before ends, and a gap
    bool clear = true;
    const int count = for_each_tick(ticks, axis.lo, axis.hi, [&](double v) {
      const std::string label = tick_label(v, ticks);
      const double centre = label_centre(axis.x_of(v), label);
      clear = clear && centre - half_width(label) >= end;
      end = centre + half_width(label) + kGap;
    });
    if (count >= 2 && clear) return ticks;
  }
  return {0, -400, true};  // a place below every digit of a double
}

std::string text(double x, double y, const char* anchor,
                 const std::string& content, const std::string& extra = "") {
  return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" +
         anchor + "\"" + extra + ">" + content + "</text>\n";
}

// A label centred at x, or moved in to stay in the picture.
std::string label_text(double x, double y, const std::string& content,
                       const std::string& extra = "") {
  return text(label_centre(x, content), y, "middle", content, extra);
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
  Axis axis{classes.min, classes.max,
            std::isfinite(classes.max - classes.min) ? 1.0 : 0.5};
  // All values equal: a window around the value, with one narrow bar; at
  // either end of the doubles the window ends at the value.
  const bool flat = !(classes.max > classes.min);
  if (flat) {
    const double pad = std::max(0.5, std::fabs(classes.min) * 1e-3);
    axis = {classes.min - pad, classes.max + pad, 1};
    if (!std::isfinite(axis.hi)) axis = {classes.min - 2 * pad, classes.max, 1};
    if (!std::isfinite(axis.lo)) axis = {classes.min, classes.max + 2 * pad, 1};
  }

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
  // A bar of cells narrower than this would show only as a faint shade,
  // or hide under an axis (a flat grid's as a line): widened about its
  // middle, within the plot, with no outline to cover it.
  const double least = flat ? (kRight - kLeft) / 20 : 2;
  for (int k = 0; k < count; ++k) {
    const double fraction =
        static_cast<double>(classes.cells[k]) / summary.count;
    double x1 = axis.x_of(class_lower(classes, k));
    double x2 = axis.x_of(class_upper(classes, k));
    const bool widened = classes.cells[k] > 0 && x2 - x1 < least;
    if (widened) {
      x1 = std::clamp((x1 + x2 - least) / 2, kLeft, kRight - least);
      x2 = x1 + least;
    }
    svg += "<rect x=\"" + px(x1) + "\" y=\"" + px(y_of(fraction)) +
           "\" width=\"" + px(x2 - x1) + "\" height=\"" +
           px(kBottom - y_of(fraction)) + "\"" +
           (widened && outlined && !flat ? " stroke=\"none\"" : "") +
           "><title>" +
           significant_text(class_lower(classes, k), 6) + " to " +
           significant_text(class_upper(classes, k), 6) + ": " +
           significant_text(fraction, 4) + "</title></rect>\n";
  }
  svg += "</g>\n";

  const std::string axis_style = "stroke=\"black\"";
  for_each_tick(y_ticks, 0, y_top, [&](double f) {
    const double y = y_of(f);
    svg += line(kLeft - 5, y, kLeft, y, axis_style);
    svg += text(kLeft - 8, y + 4, "end", tick_label(f, y_ticks));
  });
  const Ticks x_ticks = x_ticks_for(axis);
  for_each_tick(x_ticks, axis.lo, axis.hi, [&](double v) {
    const double x = axis.x_of(v);
    svg += line(x, kBottom, x, kBottom + 5, axis_style);
    svg += label_text(x, kBottom + 20, tick_label(v, x_ticks));
  });
  svg += line(kLeft, kBottom, kRight, kBottom, axis_style);
  svg += line(kLeft, kTop, kLeft, kBottom, axis_style);
  svg += text((kLeft + kRight) / 2, kBottom + 45, "middle",
              "topographic index ln(A / (T \xc2\xb7 tan \xce\xb2))");
  svg += text(0, 0, "middle", "fraction of cells",
              " transform=\"translate(24 " + px((kTop + kBottom) / 2) +
                  ") rotate(-90)\"");

  // The mean, labelled above the plot, two digits finer than the ticks;
  // none when the sum of the values went beyond the doubles.
  if (std::isfinite(summary.mean)) {
    const double x = axis.x_of(summary.mean);
    svg += line(
        x, kTop - 4, x, kBottom,
        "stroke=\"#b22222\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"");
    svg += label_text(x, kTop - 10,
                      "mean " + value_label(summary.mean, x_ticks.place - 2),
                      " fill=\"#b22222\"");
  }
  return svg + "</svg>\n";
}

}  // namespace kavrix
