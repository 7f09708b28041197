// The choice of sink.
#include "lab/log/row_sink.h"

#include "lab/log/sinks.h"

namespace ralvex::lab {

std::unique_ptr<RowSink> OpenRowSink(LogFormat format, const std::string& path, const RunInfo& run,
                                     std::string* error) {
  if (format == LOG_CSV || format == LOG_JSONL) return OpenTextSink(format, path, error);
  if (format != LOG_SQLITE) {
    *error = "unknown log format";
    return nullptr;
  }
#ifdef RALVEX_LAB_SQLITE
  return OpenSqliteSink(path, run, error);
#else
  (void)run;
  *error = "this build has no SQLite: choose --format csv or jsonl";
  return nullptr;
#endif
}

}  // namespace ralvex::lab
