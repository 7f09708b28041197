#include "lab/report/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ralvex::lab {

namespace {

constexpr int MARGIN_LEFT = 76;
constexpr int MARGIN_RIGHT_PLAIN = 24;
constexpr int MARGIN_RIGHT_AXIS = 76;
constexpr int MARGIN_TOP = 44;
constexpr int MARGIN_BOTTOM = 84;  // tick labels, the x axis label and the legend
constexpr int TICK_TARGET = 5;
constexpr const char* COLOURS[] = {"#1f5fa8", "#c2410c", "#15803d", "#7e22ce", "#a16207"};
constexpr const char* BAND_COLOUR = "#9ca3af";

std::string Num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// A value range never empty, so that mapping into it never divides by zero.
struct Range {
  double low = 0;
  double high = 1;
};

Range Covering(const std::vector<double>& values) {
  if (values.empty()) return {};
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  if (*high > *low) return {*low, *high};
  const double pad = std::max(std::fabs(*low) * 0.05, 1.0);
  return {*low - pad, *high + pad};
}

bool Finite(const PlotPoint& p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

// One axis: its ticks, and the range they span, which the plot area shows.
struct Scale {
  std::vector<double> ticks;
  double low;
  double high;
  double Fraction(double value) const { return high > low ? (value - low) / (high - low) : 0.5; }
};

Scale ScaleOf(const std::vector<double>& values) {
  const Range range = Covering(values);
  Scale scale{RoundTicks(range.low, range.high, TICK_TARGET), range.low, range.high};
  if (scale.ticks.size() >= 2 && scale.ticks.back() > scale.ticks.front()) {
    scale.low = scale.ticks.front();
    scale.high = scale.ticks.back();
  }
  return scale;
}

// Every finite x, or every finite y of one side, that the plot draws.
std::vector<double> Values(const Plot& plot, bool wantX, bool rightAxis) {
  std::vector<double> values;
  auto take = [&](const std::vector<PlotPoint>& points) {
    for (const PlotPoint& p : points) {
      if (Finite(p)) values.push_back(wantX ? p.x : p.y);
    }
  };
  for (const PlotSeries& s : plot.series) {
    if (wantX || s.rightAxis == rightAxis) take(s.points);
  }
  if (plot.band && (wantX || !rightAxis)) {
    take(plot.band->low);
    take(plot.band->high);
  }
  return values;
}

std::string AxisTitle(const PlotAxis& axis) {
  return XmlEscaped(axis.unit.empty() ? axis.label : axis.label + " (" + axis.unit + ")");
}

// Decimals enough to tell the ticks apart.
std::string TickText(double value, double step) {
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, std::fabs(value) < step / 2 ? 0.0 : value);
  return text;
}

class Drawing {
 public:
  explicit Drawing(const Plot& plot)
      : plot_(plot),
        hasRight_(std::any_of(plot.series.begin(), plot.series.end(),
                              [](const PlotSeries& s) { return s.rightAxis; })),
        left_(MARGIN_LEFT),
        top_(MARGIN_TOP),
        width_(std::max(
            plot.width - MARGIN_LEFT - (hasRight_ ? MARGIN_RIGHT_AXIS : MARGIN_RIGHT_PLAIN), 10)),
        height_(std::max(plot.height - MARGIN_TOP - MARGIN_BOTTOM, 10)),
        x_(ScaleOf(Values(plot, true, false))),
        y_(ScaleOf(Values(plot, false, false))),
        y2_(ScaleOf(Values(plot, false, true))) {}

  std::string Text() {
    Open();
    Axes();
    if (plot_.band) Band(*plot_.band);
    for (size_t i = 0; i < plot_.series.size(); ++i) Series(plot_.series[i], Colour(i));
    Legend();
    out_ += "</svg>\n";
    return out_;
  }

 private:
  static const char* Colour(size_t i) { return COLOURS[i % std::size(COLOURS)]; }
  double X(double v) const { return left_ + x_.Fraction(v) * width_; }
  double Y(double v, bool right) const {
    return top_ + height_ - (right ? y2_ : y_).Fraction(v) * height_;
  }

  void Open() {
    const std::string w = std::to_string(plot_.width), h = std::to_string(plot_.height);
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
            "\" viewBox=\"0 0 " + w + " " + h + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    out_ += "<title>" + XmlEscaped(plot_.title) + "</title>\n";
    out_ += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    out_ += "<text x=\"" + Num(plot_.width / 2.0) +
            "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\" font-weight=\"bold\">" +
            XmlEscaped(plot_.title) + "</text>\n";
  }

  void Axes() {
    out_ += "<rect x=\"" + Num(left_) + "\" y=\"" + Num(top_) + "\" width=\"" + Num(width_) +
            "\" height=\"" + Num(height_) + "\" fill=\"none\" stroke=\"#444444\"/>\n";
    const double bottom = top_ + height_;
    for (double t : x_.ticks) {
      Line(X(t), top_, X(t), bottom, "#e5e7eb");
      Label(X(t), bottom + 16, "middle", TickText(t, Step(x_)));
    }
    for (double t : y_.ticks) {
      Line(left_, Y(t, false), left_ + width_, Y(t, false), "#e5e7eb");
      Label(left_ - 6, Y(t, false) + 4, "end", TickText(t, Step(y_)));
    }
    Label(left_ + width_ / 2, bottom + 36, "middle", AxisTitle(plot_.x));
    VerticalLabel(18, AxisTitle(plot_.y));
    if (!hasRight_) return;
    for (double t : y2_.ticks)
      Label(left_ + width_ + 6, Y(t, true) + 4, "start", TickText(t, Step(y2_)));
    VerticalLabel(plot_.width - 10, AxisTitle(plot_.rightY));
  }

  static double Step(const Scale& s) { return s.ticks.size() > 1 ? s.ticks[1] - s.ticks[0] : 1; }

  void Line(double x1, double y1, double x2, double y2, const char* colour) {
    out_ += "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
            Num(y2) + "\" stroke=\"" + colour + "\"/>\n";
  }

  // `text` is escaped already.
  void Label(double x, double y, const char* anchor, const std::string& text) {
    out_ += "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + anchor + "\">" +
            text + "</text>\n";
  }

  void VerticalLabel(double x, const std::string& text) {
    const std::string y = Num(top_ + height_ / 2);
    out_ += "<text x=\"" + Num(x) + "\" y=\"" + y +
            "\" text-anchor=\"middle\" transform=\"rotate(-90 " + Num(x) + " " + y + ")\">" + text +
            "</text>\n";
  }

  std::string PointList(const std::vector<PlotPoint>& points, bool right) const {
    std::string list;
    for (const PlotPoint& p : points) {
      if (Finite(p)) list += (list.empty() ? "" : " ") + Num(X(p.x)) + "," + Num(Y(p.y, right));
    }
    return list;
  }

  void Band(const PlotBand& band) {
    std::vector<PlotPoint> outline = band.low;
    outline.insert(outline.end(), band.high.rbegin(), band.high.rend());
    out_ += "<polygon points=\"" + PointList(outline, false) + "\" fill=\"" + BAND_COLOUR +
            "\" fill-opacity=\"0.3\" stroke=\"none\"/>\n";
  }

  void Series(const PlotSeries& s, const char* colour) {
    const std::string dash = s.rightAxis ? "\" stroke-dasharray=\"6 3" : "";
    out_ += "<polyline points=\"" + PointList(s.points, s.rightAxis) +
            "\" fill=\"none\" stroke-width=\"2\" stroke=\"" + colour + dash + "\"/>\n";
    for (const PlotPoint& p : s.points) {
      if (!Finite(p)) continue;
      out_ += "<circle cx=\"" + Num(X(p.x)) + "\" cy=\"" + Num(Y(p.y, s.rightAxis)) +
              "\" r=\"3\" fill=\"" + colour + "\"/>\n";
    }
  }

  // One row under the x axis label: a swatch and the name of each series and of the band.
  void Legend() {
    double x = left_;
    const double y = top_ + height_ + 60;
    auto entry = [&](const std::string& name, const char* colour, const char* opacity) {
      out_ += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y - 9) +
              "\" width=\"14\" height=\"10\" fill=\"" + colour + "\" fill-opacity=\"" + opacity +
              "\"/>\n";
      Label(x + 18, y, "start", XmlEscaped(name));
      x += 30 + 7.0 * static_cast<double>(name.size());
    };
    for (size_t i = 0; i < plot_.series.size(); ++i) {
      const PlotSeries& s = plot_.series[i];
      entry(s.rightAxis ? s.name + " (right axis)" : s.name, Colour(i), "1");
    }
    if (plot_.band) entry(plot_.band->name, BAND_COLOUR, "0.3");
  }

  const Plot& plot_;
  bool hasRight_;
  double left_, top_, width_, height_;
  Scale x_, y_, y2_;
  std::string out_;
};

}  // namespace

std::vector<double> RoundTicks(double low, double high, int target) {
  if (!std::isfinite(low) || !std::isfinite(high) || high <= low || target < 1) return {low, high};
  const double rough = (high - low) / target;
  if (!std::isfinite(rough) || rough <= 0) return {low, high};
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power * 10;
  for (double m : {1.0, 2.0, 5.0}) {
    if (power * m >= rough) {
      step = power * m;
      break;
    }
  }
  std::vector<double> ticks;
  const double first = std::floor(low / step + 1e-9);
  const double last = std::ceil(high / step - 1e-9);
  // The count is bounded too: far from zero, k + 1 may round back to k.
  for (double k = first; k <= last && ticks.size() < 64; ++k) ticks.push_back(k * step);
  return ticks;
}

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        // XML has no place for the other control characters, not even as entities.
        out += static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' ? '?' : c;
    }
  }
  return out;
}

std::string SvgPlot(const Plot& plot) {
  return Drawing(plot).Text();
}

}  // namespace ralvex::lab
