// The SQLite log: the table `samples` (the log's columns) and the table `runs` (one row a run: its
// start, the tester's serial, the options and, at the end, the summary). The database is in WAL
// mode; rows gather in one transaction that Flush commits, so a kill loses at most the rows since
// the last Flush and never leaves a damaged database.
#include <sqlite3.h>

#include <memory>

#include <nlohmann/json.hpp>

#include "lab/log/row_fields.h"
#include "lab/log/sinks.h"

namespace ralvex::lab {
namespace {

constexpr const char* SCHEMA =
    "CREATE TABLE IF NOT EXISTS samples (time TEXT NOT NULL, elapsed_s REAL NOT NULL,"
    " voltage_mv INTEGER NOT NULL, current_ma INTEGER NOT NULL, set_current_ma INTEGER NOT NULL,"
    " loopback_ma INTEGER NOT NULL, power_mw REAL NOT NULL, temperature_c INTEGER NOT NULL,"
    " charge_mah REAL NOT NULL, energy_mwh REAL NOT NULL);"
    "CREATE TABLE IF NOT EXISTS runs (id INTEGER PRIMARY KEY, start_time TEXT NOT NULL,"
    " serial TEXT NOT NULL, options TEXT NOT NULL, summary TEXT);";
constexpr const char* INSERT_SAMPLE =
    "INSERT INTO samples VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";
constexpr const char* INSERT_RUN =
    "INSERT INTO runs (start_time, serial, options) VALUES (?1, ?2, ?3)";
constexpr const char* UPDATE_SUMMARY = "UPDATE runs SET summary = ?1 WHERE id = ?2";
// Another reader of the database (a report, a query) may hold it for a moment.
constexpr int BUSY_TIMEOUT_MS = 2000;

struct CloseDb {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

void BindField(sqlite3_stmt* statement, int index, const Field& field) {
  if (auto* text = std::get_if<std::string>(&field)) {
    sqlite3_bind_text(statement, index, text->c_str(), int(text->size()), SQLITE_TRANSIENT);
  } else if (auto* integer = std::get_if<int64_t>(&field)) {
    sqlite3_bind_int64(statement, index, *integer);
  } else {
    sqlite3_bind_double(statement, index, Rounded(std::get<Decimal>(field)));
  }
}

class SqliteSink final : public RowSink {
 public:
  ~SqliteSink() override { Commit(); }

  bool Open(const std::string& path, const RunInfo& run) {
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(db);
    path_ = path;
    if (rc != SQLITE_OK) return Fail("cannot open it");
    sqlite3_busy_timeout(db, BUSY_TIMEOUT_MS);
    return InWal() && Exec("PRAGMA synchronous=NORMAL", "setting the journal") &&
           Exec(SCHEMA, "creating the tables") && InsertRun(run) &&
           Prepare(INSERT_SAMPLE, &insert_);
  }

  bool Write(const LogRow& row) override {
    std::string fault = RowFault(row);
    if (!fault.empty()) return Refuse(fault);
    if (!InTransaction() && !Exec("BEGIN", "starting a transaction")) return false;
    RowFieldArray fields = RowFields(row);
    for (size_t i = 0; i < fields.size(); ++i) BindField(insert_.get(), int(i) + 1, fields[i]);
    return Step(insert_.get());
  }

  bool Flush() override { return Commit(); }

  bool Finish(const std::string& summaryJson) override {
    if (!nlohmann::json::accept(summaryJson) || !nlohmann::json::parse(summaryJson).is_object())
      return Refuse("the run's summary is not a JSON object");
    Statement update;
    if (!Commit() || !Prepare(UPDATE_SUMMARY, &update)) return false;
    sqlite3_bind_text(update.get(), 1, summaryJson.c_str(), int(summaryJson.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_int64(update.get(), 2, runId_);
    return Step(update.get());
  }

  std::string Error() const override { return error_; }
  std::string TakeError() { return std::move(error_); }

 private:
  bool InsertRun(const RunInfo& run) {
    Statement insert;
    if (!Prepare(INSERT_RUN, &insert)) return false;
    const std::string* values[] = {&run.startTime, &run.serial, &run.options};
    for (int i = 0; i < 3; ++i)
      sqlite3_bind_text(insert.get(), i + 1, values[i]->c_str(), int(values[i]->size()),
                        SQLITE_TRANSIENT);
    if (!Step(insert.get())) return false;
    runId_ = sqlite3_last_insert_rowid(db_.get());
    return true;
  }

  // A database that cannot keep a write-ahead log (some network file systems) gives up its
  // safety against a kill: refuse it rather than log without it.
  bool InWal() {
    Statement mode;
    if (!Prepare("PRAGMA journal_mode=WAL", &mode) || sqlite3_step(mode.get()) != SQLITE_ROW)
      return Fail("setting the journal");
    auto* text = reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0));
    return (text && std::string(text) == "wal") ||
           Refuse("SQLite log " + path_ + ": cannot use a write-ahead log");
  }

  // A failed write may have ended the transaction already; then there is nothing to commit.
  bool InTransaction() const { return db_ && !sqlite3_get_autocommit(db_.get()); }
  bool Commit() { return !InTransaction() || Exec("COMMIT", "committing rows"); }

  bool Exec(const char* sql, const char* doing) {
    return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK || Fail(doing);
  }

  bool Prepare(const char* sql, Statement* statement) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr);
    statement->reset(raw);
    return rc == SQLITE_OK || Fail(std::string("preparing ") + sql);
  }

  bool Step(sqlite3_stmt* statement) {
    bool done = sqlite3_step(statement) == SQLITE_DONE || Fail("writing the log");
    sqlite3_reset(statement);
    return done;
  }

  bool Fail(const std::string& doing) {
    error_ = "SQLite log " + path_ + ": " + doing + ": " +
             (db_ ? sqlite3_errmsg(db_.get()) : "out of memory");
    return false;
  }
  bool Refuse(const std::string& why) {
    error_ = why;
    return false;
  }

  std::string path_;
  std::unique_ptr<sqlite3, CloseDb> db_;
  Statement insert_;
  sqlite3_int64 runId_ = 0;
  std::string error_;
};

}  // namespace

std::unique_ptr<RowSink> OpenSqliteSink(const std::string& path, const RunInfo& run,
                                        std::string* error) {
  if (path.empty()) {
    *error = "the SQLite log needs a file path, not standard output";
    return nullptr;
  }
  auto sink = std::make_unique<SqliteSink>();
  if (!sink->Open(path, run)) {
    *error = sink->TakeError();
    return nullptr;
  }
  return sink;
}

}  // namespace ralvex::lab
