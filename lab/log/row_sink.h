// Where ralvex-lab's log rows go: CSV, JSON Lines or SQLite, to a file or standard output. Every
// sink keeps what it was given safe against a kill: a row reaches the output whole or not at all
// (never half a CSV line, never a corrupt database), and Flush, which the logger calls at least
// once a second, puts every row so far in the file.
#pragma once

#include <memory>
#include <string>

#include "lab/log/log_row.h"

namespace ralvex::lab {

enum LogFormat : uint8_t { LOG_CSV, LOG_JSONL, LOG_SQLITE };

// What the SQLite sink's `runs` table records of the run (the text formats hold rows only).
struct RunInfo {
  std::string startTime;  // FormatUtc of the start
  std::string serial;     // the tester's serial number
  std::string options;    // the command line's options as given
};

class RowSink {
 public:
  virtual ~RowSink() = default;
  // False when the output failed; Error() then says why.
  virtual bool Write(const LogRow& row) = 0;
  virtual bool Flush() = 0;
  // The run ended: `summaryJson` (the run's summary as a JSON object) goes to the runs table.
  virtual bool Finish(const std::string& summaryJson) = 0;
  virtual std::string Error() const = 0;
};

// Opens a sink. An empty path is standard output (not for SQLite, which needs a file). Text rows
// are flushed per row when the output is a pipe or a terminal. Null with *error set when the
// output cannot be opened, or when this build has no SQLite and LOG_SQLITE is asked for.
// A text file is written over; a database keeps its earlier runs' rows and gains a `runs` row.
// A row whose numbers cannot be written (elapsed_s not finite) is refused alone: Write returns
// false with Error() saying so, and the sink goes on. A failed output stays failed.
std::unique_ptr<RowSink> OpenRowSink(LogFormat format, const std::string& path, const RunInfo& run,
                                     std::string* error);

}  // namespace ralvex::lab
