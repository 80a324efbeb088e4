// The record store on a PostgreSQL server: one store for the several stations of a line, so that
// they draw their serial numbers from one sequence and keep their records in one place.
//
// The tables are those of the SQLite file, with one more: a row per job that a station locks
// while it takes a number, so two stations taking numbers for the same job at once take them one
// after the other and never get the same one.
#include <libpq-fe.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "production/RecordStore.h"

namespace quillon::production {

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE schema_version (version INTEGER NOT NULL);
CREATE TABLE chips (
  id          BIGSERIAL PRIMARY KEY,
  started     TEXT NOT NULL,
  finished    TEXT,
  station     TEXT NOT NULL,
  pid         BIGINT NOT NULL,
  port        TEXT NOT NULL,
  job_name    TEXT NOT NULL,
  job_hash    TEXT NOT NULL,
  signature   TEXT,
  serial      BIGINT,
  result      TEXT CHECK (result IN ('passed', 'failed', 'cancelled')),
  reason      TEXT,
  fuses       TEXT,
  duration_ms BIGINT
);
CREATE INDEX chips_by_job_serial ON chips (job_name, serial);
CREATE TABLE chip_log (
  chip_id BIGINT NOT NULL REFERENCES chips (id),
  line    INTEGER NOT NULL,
  text    TEXT NOT NULL,
  PRIMARY KEY (chip_id, line)
);
CREATE TABLE serial_locks (job_name TEXT PRIMARY KEY);
INSERT INTO schema_version (version) VALUES (1);
)";

constexpr const char* kInterrupted = "the run ended before this chip was finished (the program was killed or crashed)";
constexpr const char* kColumns = "id, started, finished, station, pid, port, job_name, job_hash, signature, serial, "
                                 "result, reason, fuses, duration_ms";
// Held while a new database is given its tables, so two stations starting at once on an empty
// database do not both make them. Any number would do; this one is "Quil" in ASCII.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(1366649196)";

using Param = std::optional<std::string>;

Param P(std::int64_t value) { return std::to_string(value); }
// Serial numbers are kept as the 64-bit signed integers the SQLite file holds them as.
Param P(std::optional<std::uint64_t> value)
{
    if (!value) return std::nullopt;
    return std::to_string(static_cast<std::int64_t>(*value));
}

class Result {
public:
    explicit Result(PGresult* r = nullptr) : r_(r) {}
    ~Result() { PQclear(r_); }
    Result(Result&& other) noexcept : r_(other.r_) { other.r_ = nullptr; }
    Result& operator=(Result&& other) noexcept
    {
        std::swap(r_, other.r_);
        return *this;
    }

    explicit operator bool() const { return r_ != nullptr; }
    // The statement went through (a command done, or rows returned).
    bool Succeeded() const
    {
        const ExecStatusType status = PQresultStatus(r_);
        return r_ && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
    }
    int Rows() const { return PQntuples(r_); }
    int Changed() const { return std::atoi(PQcmdTuples(r_)); }
    bool Null(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
    std::string Text(int row, int col) const { return PQgetvalue(r_, row, col); }
    std::int64_t Int(int row, int col) const { return std::strtoll(PQgetvalue(r_, row, col), nullptr, 10); }
    std::optional<std::string> MaybeText(int row, int col) const
    {
        if (Null(row, col)) return std::nullopt;
        return Text(row, col);
    }

private:
    PGresult* r_;
};

// libpq's messages end in a newline and may run over several lines: one line for ours.
std::string OneLine(const char* message)
{
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    for (std::size_t at; (at = text.find('\n')) != std::string::npos;) {
        const std::size_t next = text.find_first_not_of(" \t\n", at);
        text.replace(at, (next == std::string::npos ? text.size() : next) - at, "; ");
    }
    return text.empty() ? "unknown error" : text;
}

// The URL as messages show it: without a password, whether in the user part or a parameter.
std::string Redacted(const std::string& url)
{
    std::string shown = url;
    const std::size_t scheme = shown.find("://");
    if (scheme != std::string::npos) {
        const std::size_t hostEnd = shown.find_first_of("/?", scheme + 3);
        const std::size_t at = shown.rfind('@', hostEnd == std::string::npos ? std::string::npos : hostEnd);
        if (at != std::string::npos && at > scheme) {
            const std::size_t colon = shown.find(':', scheme + 3);
            if (colon != std::string::npos && colon < at) shown.replace(colon, at - colon, ":***");
        }
    }
    for (std::size_t at = 0; (at = shown.find("password=", at)) != std::string::npos;) {
        if (at > 0 && shown[at - 1] != '?' && shown[at - 1] != '&') {
            at += 9;
            continue;
        }
        const std::size_t end = shown.find('&', at);
        shown.replace(at + 9, (end == std::string::npos ? shown.size() : end) - at - 9, "***");
        at += 12;
    }
    return shown;
}

void IgnoreNotice(void*, const char*) {}

class PostgresStore final : public RecordStore {
public:
    PostgresStore(PGconn* conn, std::string url) : conn_(conn), location_(Redacted(url))
    {
        PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
    }
    ~PostgresStore() override { PQfinish(conn_); }

    std::string Location() const override { return location_; }

    int CloseUnfinished(const std::string& station, std::string& error) override
    {
        error.clear();
        if (!Begin(error)) return -1;
        const Result open = Query("SELECT id, pid FROM chips WHERE result IS NULL AND station = $1 FOR UPDATE",
                                  {station}, error);
        if (!open) return Abandon(error);
        std::vector<std::int64_t> gone;
        for (int i = 0; i < open.Rows(); ++i) {
            const auto pid = static_cast<pid_t>(open.Int(i, 1));
            // A process of this station that no longer exists will never finish its row.
            if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) gone.push_back(open.Int(i, 0));
        }
        for (std::int64_t id : gone)
            if (!Query("UPDATE chips SET result = 'cancelled', reason = $1, finished = $2 "
                       "WHERE id = $3 AND result IS NULL",
                       {std::string(kInterrupted), UtcNow(), P(id)}, error))
                return Abandon(error);
        if (!Query("COMMIT", {}, error)) return -1;
        return static_cast<int>(gone.size());
    }

    std::optional<std::int64_t> Begin(const ChipRecord& start, std::string& error) override
    {
        error.clear();
        if (!Reachable(error)) return std::nullopt;
        const Result row = First("INSERT INTO chips (started, station, pid, port, job_name, job_hash) "
                                 "VALUES ($1, $2, $3, $4, $5, $6) RETURNING id",
                                 {start.started, start.station, P(start.pid), start.port, start.jobName, start.jobHash},
                                 error);
        if (!row || row.Rows() != 1) return std::nullopt;
        return row.Int(0, 0);
    }

    std::optional<std::uint64_t> TakeSerial(std::int64_t id, const std::string& jobName, const SerialRule& rule,
                                            std::string& error) override
    {
        error.clear();
        if (!Begin(error)) return std::nullopt;
        const std::optional<std::uint64_t> serial = Next(jobName, rule, true, error);
        if (!serial) {
            Rollback();
            return std::nullopt;
        }
        const Result update = Query("UPDATE chips SET serial = $1 WHERE id = $2 AND serial IS NULL",
                                    {P(serial), P(id)}, error);
        if (update && update.Changed() != 1) {
            // A call again after a connection lost at its COMMIT may find that COMMIT went
            // through: the number the row already holds is this chip's, and no other is taken.
            const Result given = Query("SELECT serial FROM chips WHERE id = $1", {P(id)}, error);
            Rollback();
            if (given && given.Rows() == 1 && !given.Null(0, 0)) return static_cast<std::uint64_t>(given.Int(0, 0));
            error = location_ + ": no chip " + std::to_string(id) + " without a serial number";
            return std::nullopt;
        }
        if (!update) {
            Abandon(error);
            return std::nullopt;
        }
        if (!Query("COMMIT", {}, error)) return std::nullopt;
        return serial;
    }

    bool Finish(std::int64_t id, const ChipEnd& end, std::string& error) override
    {
        // The chip is done whatever the network did meanwhile: its record is worth a second try
        // on a fresh connection (writing it again is harmless, every line lands where it did).
        if (FinishOnce(id, end, error)) return true;
        if (PQstatus(conn_) != CONNECTION_BAD) return false;
        return FinishOnce(id, end, error);
    }

    std::optional<std::uint64_t> PeekNext(const std::string& jobName, const SerialRule& rule,
                                          std::string& error) override
    {
        error.clear();
        if (!Reachable(error) || !First("BEGIN READ ONLY", {}, error)) return std::nullopt;
        std::optional<std::uint64_t> next = Next(jobName, rule, false, error);
        Rollback();
        return next;
    }

    std::vector<ChipRecord> Chips(std::string& error) override
    {
        std::vector<ChipRecord> rows;
        if (!Reachable(error)) return rows;
        const Result select = First(std::string("SELECT ") + kColumns + " FROM chips ORDER BY id", {}, error);
        for (int i = 0; select && i < select.Rows(); ++i) rows.push_back(Row(select, i));
        return rows;
    }

    std::vector<std::string> ChipLog(std::int64_t id, std::string& error) override
    {
        std::vector<std::string> lines;
        if (!Reachable(error)) return lines;
        const Result select = First("SELECT text FROM chip_log WHERE chip_id = $1 ORDER BY line", {P(id)}, error);
        for (int i = 0; select && i < select.Rows(); ++i) lines.push_back(select.Text(i, 0));
        return lines;
    }

    bool ConnectionLost() const override { return PQstatus(conn_) != CONNECTION_OK; }

    Summary Summarize(std::size_t lastFailures, std::string& error) override
    {
        Summary summary;
        if (!Reachable(error)) return summary;
        const Result counts = First("SELECT COUNT(*), COUNT(*) FILTER (WHERE result = 'passed'), "
                                    "COUNT(*) FILTER (WHERE result = 'failed'), "
                                    "COUNT(*) FILTER (WHERE result = 'cancelled'), "
                                    "COUNT(*) FILTER (WHERE result IS NULL), "
                                    "MIN(serial) FILTER (WHERE result = 'passed'), "
                                    "MAX(serial) FILTER (WHERE result = 'passed') FROM chips",
                                    {}, error);
        if (!counts || counts.Rows() != 1) return summary;
        summary.chips = counts.Int(0, 0);
        summary.passed = counts.Int(0, 1);
        summary.failed = counts.Int(0, 2);
        summary.cancelled = counts.Int(0, 3);
        summary.unfinished = counts.Int(0, 4);
        if (!counts.Null(0, 5)) summary.firstSerial = static_cast<std::uint64_t>(counts.Int(0, 5));
        if (!counts.Null(0, 6)) summary.lastSerial = static_cast<std::uint64_t>(counts.Int(0, 6));
        const Result failures = Query(std::string("SELECT ") + kColumns +
                                          " FROM chips WHERE result = 'failed' ORDER BY id DESC LIMIT $1",
                                      {P(static_cast<std::int64_t>(lastFailures))}, error);
        for (int i = 0; failures && i < failures.Rows(); ++i) summary.lastFailures.push_back(Row(failures, i));
        return summary;
    }

private:
    PGconn* conn_;
    std::string location_;

    // A connection lost since the last call (the server restarted, the network came back) is
    // made again before giving up.
    bool Reachable(std::string& error)
    {
        if (PQstatus(conn_) == CONNECTION_OK) return true;
        PQreset(conn_);
        if (PQstatus(conn_) == CONNECTION_OK) return true;
        error = location_ + ": the record store cannot be reached: " + OneLine(PQerrorMessage(conn_));
        return false;
    }

    bool Begin(std::string& error) { return Reachable(error) && First("BEGIN", {}, error); }

    void Rollback()
    {
        std::string ignored;
        Query("ROLLBACK", {}, ignored);
    }

    int Abandon(std::string& error)
    {
        if (error.empty()) error = location_ + ": " + OneLine(PQerrorMessage(conn_));
        Rollback();
        return -1;
    }

    // The first statement of a call, outside any transaction: a connection the server dropped
    // since the last call (it restarted) shows only now, so it is made again and the statement
    // sent once more.
    Result First(const std::string& sql, const std::vector<Param>& params, std::string& error)
    {
        Result r = Query(sql, params, error);
        if (r || PQstatus(conn_) != CONNECTION_BAD || !Reachable(error)) return r;
        error.clear();
        return Query(sql, params, error);
    }

    // One statement with its parameters (NULL where none); an empty result with `error` set
    // when it failed.
    Result Query(const std::string& sql, const std::vector<Param>& params, std::string& error)
    {
        std::vector<const char*> values;
        for (const Param& p : params) values.push_back(p ? p->c_str() : nullptr);
        Result r(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                              nullptr, 0));
        if (r.Succeeded()) return r;
        error = location_ + ": " + OneLine(PQerrorMessage(conn_));
        return Result();
    }

    bool FinishOnce(std::int64_t id, const ChipEnd& end, std::string& error)
    {
        error.clear();
        if (!Begin(error)) return false;
        const Result update = Query("UPDATE chips SET finished = $1, signature = $2, result = $3, reason = $4, "
                                    "fuses = $5, duration_ms = $6 WHERE id = $7",
                                    {end.finished, end.signature, end.result, end.reason, end.fuses,
                                     P(end.durationMs), P(id)},
                                    error);
        if (!update || update.Changed() != 1) {
            if (update) error = location_ + ": no chip " + std::to_string(id);
            Abandon(error);
            return false;
        }
        for (std::size_t i = 0; i < end.log.size(); ++i)
            if (!Query("INSERT INTO chip_log (chip_id, line, text) VALUES ($1, $2, $3) "
                       "ON CONFLICT (chip_id, line) DO UPDATE SET text = EXCLUDED.text",
                       {P(id), P(static_cast<std::int64_t>(i + 1)), end.log[i]}, error)) {
                Abandon(error);
                return false;
            }
        return static_cast<bool>(Query("COMMIT", {}, error));
    }

    static ChipRecord Row(const Result& s, int i)
    {
        ChipRecord r;
        r.id = s.Int(i, 0);
        r.started = s.Text(i, 1);
        r.finished = s.MaybeText(i, 2);
        r.station = s.Text(i, 3);
        r.pid = s.Int(i, 4);
        r.port = s.Text(i, 5);
        r.jobName = s.Text(i, 6);
        r.jobHash = s.Text(i, 7);
        r.signature = s.MaybeText(i, 8);
        if (!s.Null(i, 9)) r.serial = static_cast<std::uint64_t>(s.Int(i, 9));
        r.result = s.MaybeText(i, 10);
        r.reason = s.MaybeText(i, 11);
        r.fuses = s.MaybeText(i, 12);
        if (!s.Null(i, 13)) r.durationMs = s.Int(i, 13);
        return r;
    }

    // Inside a transaction: the number the job's next chip gets. With `lock`, the job's row in
    // serial_locks is held to the end of the transaction, so every other station taking a number
    // for the job waits, then sees this one's. Error set when the store failed; nullopt with no
    // error when the rule has run out.
    std::optional<std::uint64_t> Next(const std::string& jobName, const SerialRule& rule, bool lock,
                                      std::string& error)
    {
        if (lock) {
            if (!Query("INSERT INTO serial_locks (job_name) VALUES ($1) ON CONFLICT DO NOTHING", {jobName}, error) ||
                !Query("SELECT job_name FROM serial_locks WHERE job_name = $1 FOR UPDATE", {jobName}, error))
                return std::nullopt;
        }
        if (rule.reuseFailed) {
            // A number every chip given it failed or was cancelled with, and none is programmed with now.
            const Result spoiled = Query("SELECT serial FROM chips WHERE job_name = $1 AND serial IS NOT NULL "
                                         "GROUP BY serial "
                                         "HAVING COUNT(*) FILTER (WHERE result IS NULL OR result = 'passed') = 0 "
                                         "ORDER BY serial",
                                         {jobName}, error);
            if (!spoiled) return std::nullopt;
            for (int i = 0; i < spoiled.Rows(); ++i) {
                const auto number = static_cast<std::uint64_t>(spoiled.Int(i, 0));
                if (InRule(rule, number)) return number;
            }
        }
        std::optional<std::uint64_t> lastGiven;
        if (!rule.values.empty()) {
            const Result all = Query("SELECT DISTINCT serial FROM chips WHERE job_name = $1 AND serial IS NOT NULL",
                                     {jobName}, error);
            if (!all) return std::nullopt;
            std::set<std::uint64_t> given;
            for (int i = 0; i < all.Rows(); ++i) given.insert(static_cast<std::uint64_t>(all.Int(i, 0)));
            for (auto it = rule.values.rbegin(); it != rule.values.rend(); ++it)
                if (given.count(*it)) {
                    lastGiven = *it;
                    break;
                }
        } else {
            const Result most = Query("SELECT MAX(serial) FROM chips WHERE job_name = $1 AND serial BETWEEN $2 AND $3",
                                      {jobName, P(std::optional<std::uint64_t>(rule.first)),
                                       P(std::optional<std::uint64_t>(rule.last))},
                                      error);
            if (!most || most.Rows() != 1) return std::nullopt;
            if (!most.Null(0, 0)) lastGiven = static_cast<std::uint64_t>(most.Int(0, 0));
        }
        return NextSerial(rule, lastGiven);
    }
};

}  // namespace

bool IsServerStore(const std::string& location)
{
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::unique_ptr<RecordStore> OpenServerStore(const std::string& url, bool create, std::string& error)
{
    const std::string shown = Redacted(url);
    // A server that does not answer is told within seconds, not after the system's TCP timeout;
    // a connect_timeout in the URL still wins (later keywords override earlier ones).
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"10", "quillon", url.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (!conn) {
        error = shown + ": cannot connect to the record store: out of memory";
        return nullptr;
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        error = shown + ": cannot connect to the record store: " + OneLine(PQerrorMessage(conn));
        PQfinish(conn);
        return nullptr;
    }
    auto store = std::make_unique<PostgresStore>(conn, url);
    const auto exec = [&](const char* sql) -> Result {
        Result r(PQexec(conn, sql));
        return r.Succeeded() ? std::move(r) : Result();
    };
    const auto fail = [&](const std::string& message) -> std::unique_ptr<RecordStore> {
        error = shown + ": " + message;
        exec("ROLLBACK");
        return nullptr;
    };
    if (!exec("BEGIN") || !exec(kSchemaLock)) return fail("not a record store (" + OneLine(PQerrorMessage(conn)) + ")");
    const Result tables =
        exec("SELECT COUNT(*), COUNT(*) FILTER (WHERE tablename IN ('chips', 'chip_log', 'serial_locks')), "
             "COUNT(*) FILTER (WHERE tablename = 'schema_version') "
             "FROM pg_tables WHERE schemaname = current_schema()");
    if (!tables) return fail("not a record store (" + OneLine(PQerrorMessage(conn)) + ")");
    const std::int64_t tableCount = tables.Int(0, 0), ours = tables.Int(0, 1);
    const bool versioned = tables.Int(0, 2) == 1;
    if (versioned) {
        const Result version = exec("SELECT MAX(version) FROM schema_version");
        if (!version) return fail("not a record store (" + OneLine(PQerrorMessage(conn)) + ")");
        const std::int64_t schema = version.Int(0, 0);
        if (schema > kRecordSchemaVersion)
            return fail("the record store is of version " + std::to_string(schema) + ", newer than this program's (" +
                        std::to_string(kRecordSchemaVersion) + "): use a newer Quillon, or another database");
        if (ours != 3) return fail("a damaged record store (its tables are missing)");
    } else {
        if (tableCount > 0)
            return fail("not a Quillon record store (it holds other tables): give it a database, or a schema, "
                        "of its own");
        if (!create) return fail("no record store in this database");
        if (!exec(kSchema)) return fail("cannot create the record store: " + OneLine(PQerrorMessage(conn)));
    }
    if (!exec("COMMIT")) return fail("cannot create the record store: " + OneLine(PQerrorMessage(conn)));
    return store;
}

}  // namespace quillon::production
