#include "lab/report/svg_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

namespace ralvex::lab {
namespace {

TEST(RoundTicksTest, CoverTheRangeAtARoundStep) {
  struct Case {
    double low, high;
    std::vector<double> ticks;
  };
  for (const Case& c : {
           Case{0, 1, {0, 0.2, 0.4, 0.6000000000000001, 0.8, 1}},
           Case{3300, 21000, {0, 5000, 10000, 15000, 20000, 25000}},
           Case{-7, 13, {-10, -5, 0, 5, 10, 15}},
           Case{4990, 5010, {4990, 4995, 5000, 5005, 5010}},
       }) {
    const std::vector<double> ticks = RoundTicks(c.low, c.high, 5);
    ASSERT_EQ(ticks.size(), c.ticks.size()) << c.low << ".." << c.high;
    for (size_t i = 0; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i], c.ticks[i], 1e-9);
    EXPECT_LE(ticks.front(), c.low);
    EXPECT_GE(ticks.back(), c.high);
  }
}

TEST(RoundTicksTest, RangesWithoutRoomGiveTheirEndsAndNeverRunAway) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(RoundTicks(2, 2, 5), (std::vector<double>{2, 2}));
  EXPECT_EQ(RoundTicks(-1e308, 1e308, 5), (std::vector<double>{-1e308, 1e308}));
  EXPECT_EQ(RoundTicks(0, nan, 5).size(), 2u);
  EXPECT_LE(RoundTicks(1e20, std::nextafter(1e20, 2e20), 5).size(), 64u);
}

TEST(XmlEscapedTest, EntitiesForMarkupAndNoControlCharacters) {
  EXPECT_EQ(XmlEscaped("a<b & \"c\" > 'd'"), "a&lt;b &amp; &quot;c&quot; &gt; &apos;d&apos;");
  EXPECT_EQ(XmlEscaped(std::string("x\x01y\tz", 5)), "x?y\tz");
  EXPECT_EQ(XmlEscaped("5 V — 3 A"), "5 V — 3 A");
}

// Each plot is written out and checked by the reader of tests/labreport/check_svg.py.
class SvgPlotTest : public ::testing::Test {
 protected:
  static int Check(const std::string& svg) {
    const std::string path = ::testing::TempDir() + "/plot.svg";
    std::ofstream(path) << svg;
    const std::string command = std::string(RALVEX_PYTHON) + " " + RALVEX_SVG_CHECKER + " " + path;
    return std::system(command.c_str());
  }

  static Plot Base() {
    Plot plot;
    plot.title = "Voltage & power <sweep>";
    plot.x = {"Load", "mA"};
    plot.y = {"Voltage", "mV"};
    plot.rightY = {"Power", "mW"};
    return plot;
  }
};

TEST_F(SvgPlotTest, EveryShapeOfDataDrawsAValidPlotWithMarkersInside) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    std::vector<PlotSeries> series;
  };
  for (const Case& c : {
           Case{"no series", {}},
           Case{"an empty series", {{"empty", {}, false}}},
           Case{"one point", {{"one", {{100, 5000}}, false}}},
           Case{"one value", {{"flat", {{0, 5000}, {500, 5000}, {1000, 5000}}, false}}},
           Case{"not finite", {{"gaps", {{0, nan}, {1, 2}, {inf, 3}, {2, 4}}, false}}},
           Case{"negative", {{"down", {{-3, -1e6}, {7, 2e6}}, false}}},
           Case{"two axes",
                {{"V <mean>", {{0, 5035}, {1500, 4960}, {3000, 4890}}, false},
                 {"P", {{0, 0}, {1500, 7440}, {3000, 14670}}, true},
                 {"one on the right", {{10, 1}}, true}}},
       }) {
    Plot plot = Base();
    plot.series = c.series;
    EXPECT_EQ(Check(SvgPlot(plot)), 0) << c.what;
  }
}

TEST_F(SvgPlotTest, TheBandIsShadedAndItsPointsWidenTheAxis) {
  Plot plot = Base();
  plot.series = {{"mean", {{0, 5000}, {3000, 4900}}, false}};
  plot.band = PlotBand{"limits", {{0, 4750}, {3000, 4750}}, {{0, 5500}, {3000, 5500}}};
  const std::string svg = SvgPlot(plot);
  EXPECT_EQ(Check(svg), 0);
  EXPECT_NE(svg.find("<polygon"), std::string::npos);
  EXPECT_NE(svg.find(">5600<"), std::string::npos);  // the top tick covers the band
  EXPECT_NE(svg.find(">limits<"), std::string::npos);
}

TEST_F(SvgPlotTest, TextIsEscapedAndTheAxesNameTheirUnits) {
  Plot plot = Base();
  plot.series = {{"a&b", {{0, 1}, {1, 2}}, false}, {"p", {{0, 1}}, true}};
  const std::string svg = SvgPlot(plot);
  EXPECT_NE(svg.find("Voltage &amp; power &lt;sweep&gt;"), std::string::npos);
  EXPECT_NE(svg.find(">a&amp;b<"), std::string::npos);
  EXPECT_NE(svg.find(">Load (mA)<"), std::string::npos);
  EXPECT_NE(svg.find(">Power (mW)<"), std::string::npos);
  EXPECT_EQ(svg.find("<script"), std::string::npos);
  EXPECT_EQ(SvgPlot(plot), svg);  // the same plot, the same text
}

TEST_F(SvgPlotTest, ASecondAxisOnlyWhenASeriesAsksForIt) {
  Plot plot = Base();
  plot.series = {{"v", {{0, 1}, {1, 2}}, false}};
  EXPECT_EQ(SvgPlot(plot).find("Power (mW)"), std::string::npos);
}

TEST_F(SvgPlotTest, TinySizesStillDraw) {
  Plot plot = Base();
  plot.width = 1;
  plot.height = 1;
  plot.series = {{"v", {{0, 1}, {1, 2}}, false}};
  EXPECT_EQ(Check(SvgPlot(plot)), 0);
}

}  // namespace
}  // namespace ralvex::lab
