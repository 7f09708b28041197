// The columns' values and decimals.
#include "lab/log/row_fields.h"

#include <charconv>
#include <cmath>

namespace ralvex::lab {

RowFieldArray RowFields(const LogRow& row) {
  const Sample& s = row.sample;
  return {FormatUtc(s.time),        Decimal{s.elapsedS, 3},  int64_t{s.voltageMv},
          int64_t{s.currentMa},     int64_t{s.setCurrentMa}, int64_t{s.loopbackMa},
          Decimal{row.powerMw, 1},  int64_t{s.temperatureC}, Decimal{row.chargeMah, 3},
          Decimal{row.energyMwh, 3}};
}

std::string FieldText(const Field& field) {
  if (auto* text = std::get_if<std::string>(&field)) return *text;
  char digits[64];
  std::to_chars_result end;
  if (auto* integer = std::get_if<int64_t>(&field)) {
    end = std::to_chars(digits, digits + sizeof digits, *integer);
  } else {
    const Decimal& decimal = std::get<Decimal>(field);
    double value = Rounded(decimal);
    end = std::to_chars(digits, digits + sizeof digits, value == 0 ? 0.0 : value,
                        std::chars_format::fixed, decimal.places);
  }
  return end.ec == std::errc() ? std::string(digits, end.ptr) : std::string("0");
}

std::string RowJson(const RowFieldArray& fields) {
  std::string object = "{";
  for (size_t i = 0; i < fields.size(); ++i) {
    bool quoted = std::holds_alternative<std::string>(fields[i]);
    object += std::string(i ? "," : "") + '"' + LOG_COLUMNS[i] + "\":";
    object += quoted ? '"' + FieldText(fields[i]) + '"' : FieldText(fields[i]);
  }
  return object + "}";
}

double Rounded(const Decimal& decimal) {
  double scale = std::pow(10.0, decimal.places);
  return std::round(decimal.value * scale) / scale;
}

std::string RowFault(const LogRow& row) {
  const double limit = 1e15;  // beyond this a fixed-point number stops being a reading
  auto fits = [&](double value) { return std::isfinite(value) && std::fabs(value) < limit; };
  if (!fits(row.sample.elapsedS)) return "elapsed_s is not a usable number";
  if (!fits(row.powerMw) || !fits(row.chargeMah) || !fits(row.energyMwh))
    return "power or totals are not usable numbers";
  return "";
}

}  // namespace ralvex::lab
