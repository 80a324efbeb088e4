// The record store in one SQLite file: the default, for one station.
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>

#include "production/RecordStore.h"

namespace quillon::production {

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE chips (
  id          INTEGER PRIMARY KEY AUTOINCREMENT,
  started     TEXT NOT NULL,
  finished    TEXT,
  station     TEXT NOT NULL,
  pid         INTEGER NOT NULL,
  port        TEXT NOT NULL,
  job_name    TEXT NOT NULL,
  job_hash    TEXT NOT NULL,
  signature   TEXT,
  serial      INTEGER,
  result      TEXT CHECK (result IN ('passed', 'failed', 'cancelled')),
  reason      TEXT,
  fuses       TEXT,
  duration_ms INTEGER
);
CREATE INDEX chips_by_job_serial ON chips (job_name, serial);
CREATE TABLE chip_log (
  chip_id INTEGER NOT NULL REFERENCES chips (id),
  line    INTEGER NOT NULL,
  text    TEXT NOT NULL,
  PRIMARY KEY (chip_id, line)
);
PRAGMA user_version = 1;
)";

constexpr const char* kInterrupted = "the run ended before this chip was finished (the program was killed or crashed)";

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return stmt_ != nullptr; }
    Statement& Bind(int i, const std::string& text)
    {
        sqlite3_bind_text(stmt_, i, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int i, const std::optional<std::string>& text)
    {
        if (text) return Bind(i, *text);
        sqlite3_bind_null(stmt_, i);
        return *this;
    }
    Statement& Bind(int i, std::int64_t value)
    {
        sqlite3_bind_int64(stmt_, i, value);
        return *this;
    }
    Statement& Bind(int i, std::optional<std::uint64_t> value)
    {
        if (value)
            sqlite3_bind_int64(stmt_, i, static_cast<std::int64_t>(*value));
        else
            sqlite3_bind_null(stmt_, i);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    void Reset()
    {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    bool Null(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string Text(int col) const
    {
        const unsigned char* text = sqlite3_column_text(stmt_, col);
        return text ? reinterpret_cast<const char*>(text) : "";
    }
    std::optional<std::string> MaybeText(int col) const
    {
        if (Null(col)) return std::nullopt;
        return Text(col);
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

class SqliteStore final : public RecordStore {
public:
    SqliteStore(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    ~SqliteStore() override { sqlite3_close(db_); }

    std::string Location() const override { return path_; }

    int CloseUnfinished(const std::string& station, std::string& error) override
    {
        if (!Exec("BEGIN IMMEDIATE", error)) return -1;
        std::vector<std::int64_t> gone;
        {
            Statement open(db_, "SELECT id, pid FROM chips WHERE result IS NULL AND station = ?");
            open.Bind(1, station);
            int rc;
            while ((rc = open.Step()) == SQLITE_ROW) {
                const auto pid = static_cast<pid_t>(open.Int(1));
                // A process of this station that no longer exists will never finish its row.
                if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) gone.push_back(open.Int(0));
            }
            if (rc != SQLITE_DONE) return Abandon(error);
        }
        Statement close(db_,
                        "UPDATE chips SET result = 'cancelled', reason = ?, finished = ? WHERE id = ? AND result IS NULL");
        for (std::int64_t id : gone) {
            close.Reset();
            close.Bind(1, std::string(kInterrupted)).Bind(2, UtcNow()).Bind(3, id);
            if (close.Step() != SQLITE_DONE) return Abandon(error);
        }
        if (!Exec("COMMIT", error)) return -1;
        return static_cast<int>(gone.size());
    }

    std::optional<std::int64_t> Begin(const ChipRecord& start, std::string& error) override
    {
        error.clear();
        Statement insert(db_,
                         "INSERT INTO chips (started, station, pid, port, job_name, job_hash) VALUES (?, ?, ?, ?, ?, ?)");
        insert.Bind(1, start.started).Bind(2, start.station).Bind(3, start.pid).Bind(4, start.port);
        insert.Bind(5, start.jobName).Bind(6, start.jobHash);
        if (insert.Step() != SQLITE_DONE) {
            error = Error();
            return std::nullopt;
        }
        return sqlite3_last_insert_rowid(db_);
    }

    std::optional<std::uint64_t> TakeSerial(std::int64_t id, const std::string& jobName, const SerialRule& rule,
                                            std::string& error) override
    {
        error.clear();
        if (!Exec("BEGIN IMMEDIATE", error)) return std::nullopt;
        const std::optional<std::uint64_t> serial = Next(jobName, rule, error);
        if (!serial) {
            std::string ignored;
            Exec("ROLLBACK", ignored);
            return std::nullopt;
        }
        Statement update(db_, "UPDATE chips SET serial = ? WHERE id = ? AND serial IS NULL");
        update.Bind(1, serial).Bind(2, id);
        if (update.Step() != SQLITE_DONE || sqlite3_changes(db_) != 1) {
            if (sqlite3_changes(db_) != 1) error = path_ + ": no chip " + std::to_string(id) + " without a serial number";
            Abandon(error);
            return std::nullopt;
        }
        if (!Exec("COMMIT", error)) return std::nullopt;
        return serial;
    }

    bool Finish(std::int64_t id, const ChipEnd& end, std::string& error) override
    {
        if (!Exec("BEGIN IMMEDIATE", error)) return false;
        Statement update(db_,
                         "UPDATE chips SET finished = ?, signature = ?, result = ?, reason = ?, fuses = ?, "
                         "duration_ms = ? WHERE id = ?");
        update.Bind(1, end.finished).Bind(2, end.signature).Bind(3, end.result).Bind(4, end.reason);
        update.Bind(5, end.fuses).Bind(6, end.durationMs).Bind(7, id);
        if (update.Step() != SQLITE_DONE || sqlite3_changes(db_) != 1) {
            if (error.empty() && sqlite3_changes(db_) != 1) error = path_ + ": no chip " + std::to_string(id);
            Abandon(error);
            return false;
        }
        Statement line(db_, "INSERT OR REPLACE INTO chip_log (chip_id, line, text) VALUES (?, ?, ?)");
        for (std::size_t i = 0; i < end.log.size(); ++i) {
            line.Reset();
            line.Bind(1, id).Bind(2, static_cast<std::int64_t>(i + 1)).Bind(3, end.log[i]);
            if (line.Step() != SQLITE_DONE) {
                Abandon(error);
                return false;
            }
        }
        return Exec("COMMIT", error);
    }

    std::optional<std::uint64_t> PeekNext(const std::string& jobName, const SerialRule& rule,
                                          std::string& error) override
    {
        error.clear();
        if (!Exec("BEGIN", error)) return std::nullopt;
        std::optional<std::uint64_t> next = Next(jobName, rule, error);
        std::string ignored;
        Exec("ROLLBACK", ignored);
        return next;
    }

    std::vector<ChipRecord> Chips(std::string& error) override
    {
        std::vector<ChipRecord> rows;
        Statement select(db_, "SELECT id, started, finished, station, pid, port, job_name, job_hash, signature, "
                              "serial, result, reason, fuses, duration_ms FROM chips ORDER BY id");
        int rc;
        while ((rc = select.Step()) == SQLITE_ROW) rows.push_back(Row(select));
        if (rc != SQLITE_DONE) error = Error();
        return rows;
    }

    std::vector<std::string> ChipLog(std::int64_t id, std::string& error) override
    {
        std::vector<std::string> lines;
        Statement select(db_, "SELECT text FROM chip_log WHERE chip_id = ? ORDER BY line");
        select.Bind(1, id);
        int rc;
        while ((rc = select.Step()) == SQLITE_ROW) lines.push_back(select.Text(0));
        if (rc != SQLITE_DONE) error = Error();
        return lines;
    }

    Summary Summarize(std::size_t lastFailures, std::string& error) override
    {
        Summary summary;
        Statement counts(db_, "SELECT COUNT(*), "
                              "COALESCE(SUM(result = 'passed'), 0), COALESCE(SUM(result = 'failed'), 0), "
                              "COALESCE(SUM(result = 'cancelled'), 0), COALESCE(SUM(result IS NULL), 0), "
                              "MIN(CASE WHEN result = 'passed' THEN serial END), "
                              "MAX(CASE WHEN result = 'passed' THEN serial END) FROM chips");
        if (counts.Step() != SQLITE_ROW) {
            error = Error();
            return summary;
        }
        summary.chips = counts.Int(0);
        summary.passed = counts.Int(1);
        summary.failed = counts.Int(2);
        summary.cancelled = counts.Int(3);
        summary.unfinished = counts.Int(4);
        if (!counts.Null(5)) summary.firstSerial = static_cast<std::uint64_t>(counts.Int(5));
        if (!counts.Null(6)) summary.lastSerial = static_cast<std::uint64_t>(counts.Int(6));
        Statement failures(db_, "SELECT id, started, finished, station, pid, port, job_name, job_hash, signature, "
                                "serial, result, reason, fuses, duration_ms FROM chips "
                                "WHERE result = 'failed' ORDER BY id DESC LIMIT ?");
        failures.Bind(1, static_cast<std::int64_t>(lastFailures));
        int rc;
        while ((rc = failures.Step()) == SQLITE_ROW) summary.lastFailures.push_back(Row(failures));
        if (rc != SQLITE_DONE) error = Error();
        return summary;
    }

private:
    sqlite3* db_;
    std::string path_;

    std::string Error() const { return path_ + ": " + sqlite3_errmsg(db_); }

    bool Exec(const char* sql, std::string& error)
    {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
        error = path_ + ": " + (message ? message : sqlite3_errmsg(db_));
        sqlite3_free(message);
        return false;
    }

    template <class T = int>
    T Abandon(std::string& error)
    {
        if (error.empty()) error = Error();
        std::string ignored;
        Exec("ROLLBACK", ignored);
        if constexpr (std::is_same_v<T, int>) return -1;
        return T{};
    }

    static ChipRecord Row(const Statement& s)
    {
        ChipRecord r;
        r.id = s.Int(0);
        r.started = s.Text(1);
        r.finished = s.MaybeText(2);
        r.station = s.Text(3);
        r.pid = s.Int(4);
        r.port = s.Text(5);
        r.jobName = s.Text(6);
        r.jobHash = s.Text(7);
        r.signature = s.MaybeText(8);
        if (!s.Null(9)) r.serial = static_cast<std::uint64_t>(s.Int(9));
        r.result = s.MaybeText(10);
        r.reason = s.MaybeText(11);
        r.fuses = s.MaybeText(12);
        if (!s.Null(13)) r.durationMs = s.Int(13);
        return r;
    }

    // Inside a transaction: the number the job's next chip gets. Error set when the store failed;
    // nullopt with no error when the rule has run out.
    std::optional<std::uint64_t> Next(const std::string& jobName, const SerialRule& rule, std::string& error)
    {
        if (rule.reuseFailed) {
            // A number every chip given it failed or was cancelled with, and none is programmed with now.
            Statement spoiled(db_, "SELECT serial FROM chips WHERE job_name = ?1 AND serial IS NOT NULL "
                                   "GROUP BY serial HAVING SUM(result IS NULL OR result = 'passed') = 0 "
                                   "ORDER BY serial");
            spoiled.Bind(1, jobName);
            int rc;
            while ((rc = spoiled.Step()) == SQLITE_ROW) {
                const auto number = static_cast<std::uint64_t>(spoiled.Int(0));
                if (InRule(rule, number)) return number;
            }
            if (rc != SQLITE_DONE) {
                error = Error();
                return std::nullopt;
            }
        }
        std::optional<std::uint64_t> lastGiven;
        if (!rule.values.empty()) {
            std::set<std::uint64_t> given;
            Statement all(db_, "SELECT DISTINCT serial FROM chips WHERE job_name = ? AND serial IS NOT NULL");
            all.Bind(1, jobName);
            int rc;
            while ((rc = all.Step()) == SQLITE_ROW) given.insert(static_cast<std::uint64_t>(all.Int(0)));
            if (rc != SQLITE_DONE) {
                error = Error();
                return std::nullopt;
            }
            for (auto it = rule.values.rbegin(); it != rule.values.rend(); ++it)
                if (given.count(*it)) {
                    lastGiven = *it;
                    break;
                }
        } else {
            Statement most(db_, "SELECT MAX(serial) FROM chips WHERE job_name = ? AND serial BETWEEN ? AND ?");
            most.Bind(1, jobName).Bind(2, static_cast<std::int64_t>(rule.first));
            most.Bind(3, static_cast<std::int64_t>(rule.last));
            if (most.Step() != SQLITE_ROW) {
                error = Error();
                return std::nullopt;
            }
            if (!most.Null(0)) lastGiven = static_cast<std::uint64_t>(most.Int(0));
        }
        return NextSerial(rule, lastGiven);
    }
};

std::unique_ptr<RecordStore> Open(const std::string& path, bool create, std::string& error)
{
    std::error_code ec;
    if (!create && !std::filesystem::is_regular_file(path, ec)) {
        error = path + ": no such record store";
        return nullptr;
    }
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = path + ": cannot open the record store: " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    auto store = std::make_unique<SqliteStore>(db, path);
    sqlite3_busy_timeout(db, 10000);
    // Write-ahead logging: one sync of the log per transaction instead of the journal's several,
    // and every committed transaction still survives a crash or a power cut (synchronous FULL).
    // Readers (a records summary) do not block a run either.
    sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON", nullptr,
                 nullptr, nullptr);
    // Creating the schema and reading the version in one transaction, so two runs starting at once
    // on a new file do not both create it.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = path + ": not a record store (" + sqlite3_errmsg(db) + ")";
        return nullptr;
    }
    Statement version(db, "PRAGMA user_version");
    Statement tables(db, "SELECT COUNT(*), COALESCE(SUM(name IN ('chips', 'chip_log')), 0) FROM sqlite_master "
                         "WHERE type = 'table'");
    if (version.Step() != SQLITE_ROW || tables.Step() != SQLITE_ROW) {
        error = path + ": not a record store (" + sqlite3_errmsg(db) + ")";
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return nullptr;
    }
    const std::int64_t schema = version.Int(0);
    const std::int64_t tableCount = tables.Int(0), ours = tables.Int(1);
    if (schema > kRecordSchemaVersion) {
        error = path + ": the record store is of version " + std::to_string(schema) + ", newer than this program's (" +
                std::to_string(kRecordSchemaVersion) + "): use a newer Quillon, or another file";
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return nullptr;
    }
    if (schema == 0 && tableCount > 0) {
        error = path + ": not a Quillon record store (it holds other tables)";
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return nullptr;
    }
    if (schema > 0 && ours != 2) {
        error = path + ": a damaged record store (its tables are missing)";
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return nullptr;
    }
    if (schema == 0 && sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = path + ": cannot create the record store: " + sqlite3_errmsg(db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return nullptr;
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = path + ": cannot create the record store: " + sqlite3_errmsg(db);
        return nullptr;
    }
    return store;
}

}  // namespace

std::unique_ptr<RecordStore> OpenRecordStore(const std::string& location, std::string& error)
{
    if (IsServerStore(location)) return OpenServerStore(location, true, error);
    return Open(location, true, error);
}

std::unique_ptr<RecordStore> OpenExistingRecordStore(const std::string& location, std::string& error)
{
    if (IsServerStore(location)) return OpenServerStore(location, false, error);
    return Open(location, false, error);
}

std::string StationName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "unknown";
    return name;
}

std::string UtcNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));
    return text;
}

namespace {

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char ch : text) {
        if (ch == '"') quoted += '"';
        quoted += ch;
    }
    return quoted + "\"";
}

std::string Opt(const std::optional<std::string>& text) { return text ? CsvField(*text) : ""; }

}  // namespace

std::string ChipsCsv(const std::vector<ChipRecord>& rows)
{
    std::string csv = "id,started,finished,station,port,job_name,job_hash,signature,serial,result,reason,fuses,"
                      "duration_ms\r\n";
    for (const ChipRecord& r : rows) {
        csv += std::to_string(r.id) + "," + CsvField(r.started) + "," + Opt(r.finished) + "," + CsvField(r.station) +
               "," + CsvField(r.port) + "," + CsvField(r.jobName) + "," + CsvField(r.jobHash) + "," +
               Opt(r.signature) + "," + (r.serial ? std::to_string(*r.serial) : "") + "," + Opt(r.result) + "," +
               Opt(r.reason) + "," + Opt(r.fuses) + "," + (r.durationMs ? std::to_string(*r.durationMs) : "") +
               "\r\n";
    }
    return csv;
}

}  // namespace quillon::production
