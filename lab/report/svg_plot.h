// A line plot as one self-contained SVG document (no scripts, no styles or fonts from elsewhere),
// for files of its own and for pages that inline it. Axes carry their label with its unit and
// ticks at round values; each named series is a line through its points with a marker on each;
// a legend names them. A shaded band between a low and a high series (a tolerance) is optional,
// and so is a second y axis on the right for the series that ask for it. Drawing is a pure
// function of the plot: the same plot gives the same text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ralvex::lab {

struct PlotPoint {
  double x = 0;
  double y = 0;
};

struct PlotAxis {
  std::string label;  // "Voltage"
  std::string unit;   // "mV"; shown as "Voltage (mV)"
};

struct PlotSeries {
  std::string name;
  std::vector<PlotPoint>
      points;              // in the order the line joins them; points not finite are left out
  bool rightAxis = false;  // drawn against the second y axis
};

// The area between two lines, shaded: low and high are joined point by point.
struct PlotBand {
  std::string name;
  std::vector<PlotPoint> low;
  std::vector<PlotPoint> high;
};

struct Plot {
  int width = 720;
  int height = 420;
  std::string title;
  PlotAxis x;
  PlotAxis y;
  PlotAxis rightY;  // used when a series has rightAxis
  std::vector<PlotSeries> series;
  std::optional<PlotBand> band;  // against the left y axis
};

// The plot as an SVG document. Any plot draws: no points at all, one point, or all points on one
// value give an axis around them instead of a division by zero.
std::string SvgPlot(const Plot& plot);

// Tick values at a round step (1, 2 or 5 times a power of ten) that cover [low, high] with about
// `target` intervals; the first is at or below `low`, the last at or above `high`.
std::vector<double> RoundTicks(double low, double high, int target);

// The text with &, <, >, " and ' written as XML entities.
std::string XmlEscaped(std::string_view text);

}  // namespace ralvex::lab
