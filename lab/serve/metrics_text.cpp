#include "lab/serve/metrics_text.h"

#include <charconv>
#include <optional>

namespace ralvex::lab {

namespace {

constexpr double MAH_COULOMBS = 3.6;  // 1 mAh = 3.6 C
constexpr double MWH_JOULES = 3.6;    // 1 mWh = 3.6 J

struct Family {
  const char* name;
  const char* type;
  const char* help;
  bool reading;  // a measurement: only while the tester is up and has one
  double (*value)(const TesterView&);
};

const Family FAMILIES[] = {
    {"ralvex_up", "gauge", "1 while the tester is open and answering, else 0", false,
     [](const TesterView& t) { return t.up ? 1.0 : 0.0; }},
    {"ralvex_voltage_volts", "gauge", "Voltage at the tester's input", true,
     [](const TesterView& t) { return t.lastRow.sample.voltageMv / 1000.0; }},
    {"ralvex_current_amperes", "gauge", "Current the tester measures", true,
     [](const TesterView& t) { return t.lastRow.sample.currentMa / 1000.0; }},
    {"ralvex_set_current_amperes", "gauge", "Load current the tester is set to draw", true,
     [](const TesterView& t) { return t.lastRow.sample.setCurrentMa / 1000.0; }},
    {"ralvex_power_watts", "gauge", "Power drawn: voltage times measured current", true,
     [](const TesterView& t) { return t.lastRow.powerMw / 1000.0; }},
    {"ralvex_temperature_celsius", "gauge", "The tester's temperature", true,
     [](const TesterView& t) { return double(t.lastRow.sample.temperatureC); }},
    {"ralvex_contract_connected", "gauge", "1 while a power contract is up, else 0", true,
     [](const TesterView& t) { return t.snapshot.contract.status == 1 ? 1.0 : 0.0; }},
    {"ralvex_contract_profile", "gauge", "Number of the source profile in use (0: none)", true,
     [](const TesterView& t) { return double(t.snapshot.contract.profileIndex); }},
    {"ralvex_exchanges_total", "counter", "Exchanges with the tester, answered or not", false,
     [](const TesterView& t) { return double(t.exchanges); }},
    {"ralvex_exchange_failures_total", "counter", "Exchanges the tester did not answer", false,
     [](const TesterView& t) { return double(t.failures); }},
    {"ralvex_samples_total", "counter", "Readings taken on the sampling schedule", false,
     [](const TesterView& t) { return double(t.samples); }},
    {"ralvex_charge_coulombs_total", "counter", "Charge drawn since the server started", false,
     [](const TesterView& t) { return t.lastRow.chargeMah * MAH_COULOMBS; }},
    {"ralvex_energy_joules_total", "counter", "Energy drawn since the server started", false,
     [](const TesterView& t) { return t.lastRow.energyMwh * MWH_JOULES; }},
};

std::string Number(double value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value);
  return std::string(text, end.ptr);
}

}  // namespace

std::string EscapeLabelValue(std::string_view value) {
  std::string escaped;
  for (char c : value) {
    if (c == '\\')
      escaped += "\\\\";
    else if (c == '"')
      escaped += "\\\"";
    else if (c == '\n')
      escaped += "\\n";
    else
      escaped += c;
  }
  return escaped;
}

std::string MetricsText(const std::vector<TesterView>& testers) {
  std::string text;
  for (const Family& family : FAMILIES) {
    text += std::string("# HELP ") + family.name + " " + family.help + "\n";
    text += std::string("# TYPE ") + family.name + " " + family.type + "\n";
    for (const TesterView& tester : testers) {
      if (family.reading && !(tester.up && tester.measured)) continue;
      text += std::string(family.name) + "{serial=\"" + EscapeLabelValue(tester.serial) + "\"} " +
              Number(family.value(tester)) + "\n";
    }
  }
  return text;
}

}  // namespace ralvex::lab
