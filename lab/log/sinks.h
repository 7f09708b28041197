// The sinks behind OpenRowSink, one per kind of output.
#pragma once

#include <memory>
#include <string>

#include "lab/log/row_sink.h"

namespace ralvex::lab {

// CSV or JSON Lines to a file (created or truncated) or, for an empty path, standard output.
std::unique_ptr<RowSink> OpenTextSink(LogFormat format, const std::string& path,
                                      std::string* error);
// The SQLite database at `path` (created when missing; a run adds its rows to what is there).
std::unique_ptr<RowSink> OpenSqliteSink(const std::string& path, const RunInfo& run,
                                        std::string* error);

}  // namespace ralvex::lab
