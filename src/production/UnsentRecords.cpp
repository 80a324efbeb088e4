#include "production/UnsentRecords.h"

#include <sqlite3.h>

#include <cstdlib>
#include <memory>
#include <system_error>

namespace quillon::production {

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS unsent (
  store       TEXT NOT NULL,
  chip_id     INTEGER NOT NULL,
  kept        INTEGER NOT NULL,
  finished    TEXT NOT NULL,
  signature   TEXT,
  result      TEXT NOT NULL,
  reason      TEXT,
  fuses       TEXT,
  duration_ms INTEGER NOT NULL,
  PRIMARY KEY (store, chip_id)
);
CREATE TABLE IF NOT EXISTS unsent_log (
  store   TEXT NOT NULL,
  chip_id INTEGER NOT NULL,
  line    INTEGER NOT NULL,
  text    TEXT NOT NULL,
  PRIMARY KEY (store, chip_id, line)
);
)";

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, Closer>;

struct Finalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, Finalizer>;

Stmt Prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    return Stmt(s);
}

void Bind(sqlite3_stmt* s, int at, const std::string& text)
{
    sqlite3_bind_text(s, at, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}
void Bind(sqlite3_stmt* s, int at, const std::optional<std::string>& text)
{
    if (text)
        Bind(s, at, *text);
    else
        sqlite3_bind_null(s, at);
}

std::optional<std::string> Text(sqlite3_stmt* s, int col)
{
    if (sqlite3_column_type(s, col) == SQLITE_NULL) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, col)));
}

}  // namespace

std::filesystem::path UnsentRecords::DefaultFile()
{
    std::filesystem::path folder;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        folder = data;
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = std::filesystem::path(home) / ".local" / "share";
    else
        folder = std::filesystem::temp_directory_path();
    return folder / "quillon" / "unsent-records.sqlite";
}

namespace {

// The file opened for writing (made with its folder when `create`); null with `error`.
Db Open(const std::filesystem::path& file, bool create, std::string& error)
{
    std::error_code ec;
    if (!create && !std::filesystem::exists(file, ec)) return nullptr;
    if (create) std::filesystem::create_directories(file.parent_path(), ec);
    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    Db db;
    if (sqlite3_open_v2(file.c_str(), &raw, flags, nullptr) == SQLITE_OK) db.reset(raw);
    if (!db) {
        error = file.string() + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory");
        sqlite3_close(raw);
        return nullptr;
    }
    // Several runs of one process, or several processes of the station, may write it at once.
    sqlite3_busy_timeout(db.get(), 10000);
    if (sqlite3_exec(db.get(), "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db.get(), kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = file.string() + ": " + sqlite3_errmsg(db.get());
        return nullptr;
    }
    return db;
}

bool Exec(sqlite3* db, const char* sql, const std::filesystem::path& file, std::string& error)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    error = file.string() + ": " + sqlite3_errmsg(db);
    return false;
}

}  // namespace

bool UnsentRecords::Keep(const std::string& store, std::int64_t id, const ChipEnd& end, std::string& error)
{
    Db db = Open(file_, true, error);
    if (!db) return false;
    if (!Exec(db.get(), "BEGIN IMMEDIATE", file_, error)) return false;
    const auto fail = [&] {
        error = file_.string() + ": " + sqlite3_errmsg(db.get());
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    {
        Stmt clear = Prepare(db.get(), "DELETE FROM unsent_log WHERE store = ? AND chip_id = ?");
        if (!clear) return fail();
        Bind(clear.get(), 1, store);
        sqlite3_bind_int64(clear.get(), 2, id);
        if (sqlite3_step(clear.get()) != SQLITE_DONE) return fail();
    }
    Stmt row = Prepare(db.get(), "INSERT OR REPLACE INTO unsent (store, chip_id, kept, finished, signature, result, "
                                 "reason, fuses, duration_ms) VALUES (?, ?, "
                                 "(SELECT COALESCE(MAX(kept), 0) + 1 FROM unsent), ?, ?, ?, ?, ?, ?)");
    if (!row) return fail();
    Bind(row.get(), 1, store);
    sqlite3_bind_int64(row.get(), 2, id);
    Bind(row.get(), 3, end.finished);
    Bind(row.get(), 4, end.signature);
    Bind(row.get(), 5, end.result);
    Bind(row.get(), 6, end.reason);
    Bind(row.get(), 7, end.fuses);
    sqlite3_bind_int64(row.get(), 8, end.durationMs);
    if (sqlite3_step(row.get()) != SQLITE_DONE) return fail();
    Stmt line = Prepare(db.get(), "INSERT INTO unsent_log (store, chip_id, line, text) VALUES (?, ?, ?, ?)");
    if (!line) return fail();
    for (std::size_t i = 0; i < end.log.size(); ++i) {
        sqlite3_reset(line.get());
        Bind(line.get(), 1, store);
        sqlite3_bind_int64(line.get(), 2, id);
        sqlite3_bind_int64(line.get(), 3, static_cast<sqlite3_int64>(i + 1));
        Bind(line.get(), 4, end.log[i]);
        if (sqlite3_step(line.get()) != SQLITE_DONE) return fail();
    }
    return Exec(db.get(), "COMMIT", file_, error) || fail();
}

std::vector<UnsentRecords::Kept> UnsentRecords::For(const std::string& store, std::string& error) const
{
    error.clear();
    std::vector<Kept> kept;
    Db db = Open(file_, false, error);
    if (!db) return kept;
    Stmt rows = Prepare(db.get(), "SELECT chip_id, finished, signature, result, reason, fuses, duration_ms "
                                  "FROM unsent WHERE store = ? ORDER BY kept");
    Stmt lines = Prepare(db.get(), "SELECT text FROM unsent_log WHERE store = ? AND chip_id = ? ORDER BY line");
    if (!rows || !lines) {
        error = file_.string() + ": " + sqlite3_errmsg(db.get());
        return kept;
    }
    Bind(rows.get(), 1, store);
    while (sqlite3_step(rows.get()) == SQLITE_ROW) {
        Kept k;
        k.id = sqlite3_column_int64(rows.get(), 0);
        k.end.finished = Text(rows.get(), 1).value_or("");
        k.end.signature = Text(rows.get(), 2);
        k.end.result = Text(rows.get(), 3).value_or("");
        k.end.reason = Text(rows.get(), 4);
        k.end.fuses = Text(rows.get(), 5);
        k.end.durationMs = sqlite3_column_int64(rows.get(), 6);
        sqlite3_reset(lines.get());
        Bind(lines.get(), 1, store);
        sqlite3_bind_int64(lines.get(), 2, k.id);
        while (sqlite3_step(lines.get()) == SQLITE_ROW) k.end.log.push_back(Text(lines.get(), 0).value_or(""));
        kept.push_back(std::move(k));
    }
    return kept;
}

bool UnsentRecords::Forget(const std::string& store, std::int64_t id, std::string& error)
{
    Db db = Open(file_, false, error);
    if (!db) return error.empty();
    if (!Exec(db.get(), "BEGIN IMMEDIATE", file_, error)) return false;
    for (const char* sql : {"DELETE FROM unsent_log WHERE store = ? AND chip_id = ?",
                            "DELETE FROM unsent WHERE store = ? AND chip_id = ?"}) {
        Stmt s = Prepare(db.get(), sql);
        if (s) {
            Bind(s.get(), 1, store);
            sqlite3_bind_int64(s.get(), 2, id);
        }
        if (!s || sqlite3_step(s.get()) != SQLITE_DONE) {
            error = file_.string() + ": " + sqlite3_errmsg(db.get());
            sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    return Exec(db.get(), "COMMIT", file_, error);
}

}  // namespace quillon::production
