// A log row as the values of its columns, in LOG_COLUMNS' order, with each column's decimals:
// the one home of how every format writes a number. Readings are integers; elapsed_s, charge_mah
// and energy_mwh carry three decimals (a millisecond, a microampere-hour, a microwatt-hour) and
// power_mw one (0.1 mW). Every format stores the same rounded values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>

#include "lab/log/log_row.h"

namespace ralvex::lab {

struct Decimal {
  double value;
  int places;
};

using Field = std::variant<std::string, int64_t, Decimal>;
using RowFieldArray = std::array<Field, LOG_COLUMNS.size()>;

RowFieldArray RowFields(const LogRow& row);
// The field as it is written in CSV and JSON Lines (a JSON number for numbers, no quotes).
std::string FieldText(const Field& field);
// The row as one JSON object keyed by the column names, as a JSON Lines row writes it.
std::string RowJson(const RowFieldArray& fields);
// The decimal rounded to its places, as SQLite stores it.
double Rounded(const Decimal& decimal);
// Empty when every number of the row can be written; otherwise what is wrong with it.
std::string RowFault(const LogRow& row);

}  // namespace ralvex::lab
