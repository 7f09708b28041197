#include "lab/sweep_rows.h"

#include <optional>

#include "lab/log/row_fields.h"

namespace ralvex::lab {

namespace {

// Every cell is a number (whole ones with no places); nothing: an empty CSV field, null in JSON.
using Cell = std::optional<Decimal>;

void AddSpread(std::vector<Cell>* cells, const Spread& spread, int meanPlaces, int endPlaces) {
  if (spread.count == 0) {
    cells->insert(cells->end(), 3, std::nullopt);
    return;
  }
  cells->push_back(Decimal{spread.min, endPlaces});
  cells->push_back(Decimal{spread.Mean(), meanPlaces});
  cells->push_back(Decimal{spread.max, endPlaces});
}

std::vector<Cell> Cells(const SweepRow& row) {
  const StepResult& s = row.step;
  std::vector<Cell> cells = {Decimal{static_cast<double>(row.set), 0},
                             Decimal{static_cast<double>(s.samples), 0}};
  AddSpread(&cells, s.voltageMv, 1, 0);
  AddSpread(&cells, s.currentMa, 1, 0);
  AddSpread(&cells, s.powerMw, 1, 1);
  cells.push_back(Decimal{static_cast<double>(s.failedExchanges), 0});
  cells.push_back(s.contractLost ? Cell{Decimal{static_cast<double>(s.lostAtMa), 0}}
                                 : std::nullopt);
  return cells;
}

}  // namespace

std::vector<std::string> SweepColumns(SweepKind kind) {
  std::vector<std::string> columns = {kind == SWEEP_LOAD ? "set_ma" : "set_mv", "samples"};
  for (const char* quantity : {"voltage_mv", "current_ma", "power_mw"}) {
    for (const char* which : {"_min", "_mean", "_max"})
      columns.push_back(quantity + std::string(which));
  }
  columns.push_back("failed_exchanges");
  columns.push_back("lost_at_ma");
  return columns;
}

std::string SweepHeader(SweepKind kind, LogFormat format) {
  if (format != LOG_CSV) return "";
  std::string line;
  for (const std::string& name : SweepColumns(kind)) line += (line.empty() ? "" : ",") + name;
  return line + "\n";
}

std::string SweepLine(SweepKind kind, LogFormat format, const SweepRow& row) {
  const std::vector<std::string> columns = SweepColumns(kind);
  const std::vector<Cell> cells = Cells(row);
  std::string line = format == LOG_CSV ? "" : "{";
  for (size_t i = 0; i < cells.size(); ++i) {
    const std::string text =
        cells[i] ? FieldText(Field{*cells[i]}) : (format == LOG_CSV ? "" : "null");
    if (format == LOG_CSV) {
      line += (i ? "," : "") + text;
    } else {
      line += (i ? ",\"" : "\"") + columns[i] + "\":" + text;
    }
  }
  return line + (format == LOG_CSV ? "\n" : "}\n");
}

Plot SweepPlot(SweepKind kind, const std::vector<SweepRow>& rows) {
  Plot plot;
  plot.title = kind == SWEEP_LOAD ? "Load sweep" : "Voltage sweep";
  plot.x = kind == SWEEP_LOAD ? PlotAxis{"Load set", "mA"} : PlotAxis{"Voltage requested", "mV"};
  plot.y = {"Voltage", "mV"};
  plot.rightY = {"Power", "mW"};
  PlotSeries voltage{"mean voltage", {}, false};
  PlotSeries power{"mean power", {}, true};
  for (const SweepRow& row : rows) {
    if (row.step.samples == 0) continue;
    const double x = row.set;
    voltage.points.push_back({x, row.step.voltageMv.Mean()});
    power.points.push_back({x, row.step.powerMw.Mean()});
  }
  plot.series = {voltage, power};
  return plot;
}

}  // namespace ralvex::lab
