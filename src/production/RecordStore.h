// The record of every chip of every run, and the source of serial numbers: one interface, so that
// a store shared by several stations can stand where the file of one station stands today.
//
// A chip's row is written before the chip is touched, in the same transaction that takes its
// serial number, so a number is given once whatever happens after: a crash leaves the row
// unfinished, and the next run of the job closes it as cancelled and goes on after it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "production/SerialNumber.h"

namespace quillon::production {

inline constexpr int kRecordSchemaVersion = 1;

inline constexpr const char* kPassed = "passed";
inline constexpr const char* kFailed = "failed";
inline constexpr const char* kCancelled = "cancelled";

// One row of `chips`; the optional fields are NULL in the store until known.
struct ChipRecord {
    std::int64_t id = 0;
    std::string started;  // UTC, ISO 8601
    std::optional<std::string> finished;
    std::string station;  // the host name
    std::int64_t pid = 0;  // the process that programmed it: tells a crashed run's rows from a live one's
    std::string port;
    std::string jobName;
    std::string jobHash;
    std::optional<std::string> signature;  // "1E 95 0F"
    std::optional<std::uint64_t> serial;
    std::optional<std::string> result;  // passed, failed, cancelled; none while the chip is programmed
    std::optional<std::string> reason;
    std::optional<std::string> fuses;  // as read back, "FF DE FD FC"
    std::optional<std::int64_t> durationMs;
};

struct ChipEnd {
    std::string finished;
    std::optional<std::string> signature;
    std::string result;
    std::optional<std::string> reason;
    std::optional<std::string> fuses;
    std::int64_t durationMs = 0;
    std::vector<std::string> log;  // the chip's whole log
};

struct Summary {
    std::int64_t chips = 0, passed = 0, failed = 0, cancelled = 0, unfinished = 0;
    std::optional<std::uint64_t> firstSerial, lastSerial;  // of the chips that passed
    std::vector<ChipRecord> lastFailures;                  // newest first
};

class RecordStore {
public:
    virtual ~RecordStore() = default;

    // Where the store is, for messages.
    virtual std::string Location() const = 0;

    // Rows of this station left without a result by a process that is gone (killed, crashed,
    // the power cut) become cancelled, with that said as their reason; rows of a run still going
    // on are left alone. Returns how many; -1 with `error` set when the store failed.
    virtual int CloseUnfinished(const std::string& station, std::string& error) = 0;

    // The chip's row, written before anything is sent to the chip; its id, nullopt with `error`.
    virtual std::optional<std::int64_t> Begin(const ChipRecord& start, std::string& error) = 0;

    // In one transaction: the next serial number of the rule for the chip's job (never one given
    // before, unless the rule gives failed chips' numbers again), written into the chip's row.
    // Taken once the chip in the socket is known to be the job's, before it is written. Nullopt
    // with `error` empty when the rule has run out of numbers; with `error` set when the store failed.
    virtual std::optional<std::uint64_t> TakeSerial(std::int64_t id, const std::string& jobName,
                                                    const SerialRule& rule, std::string& error) = 0;

    // The chip's result, reason, fuses and log, in one transaction. False with `error` set.
    virtual bool Finish(std::int64_t id, const ChipEnd& end, std::string& error) = 0;

    // The serial number the next Begin would give, without taking it; for a summary of the job.
    virtual std::optional<std::uint64_t> PeekNext(const std::string& jobName, const SerialRule& rule,
                                                  std::string& error) = 0;

    virtual std::vector<ChipRecord> Chips(std::string& error) = 0;
    virtual std::vector<std::string> ChipLog(std::int64_t id, std::string& error) = 0;
    virtual Summary Summarize(std::size_t lastFailures, std::string& error) = 0;

    // Whether the last call that failed did so because the store could not be reached (a server
    // stopped, a network gone), so that the same call may succeed later. A file never is.
    virtual bool ConnectionLost() const { return false; }
};

// Opens (or creates) the store at `location`: a SQLite file, or a PostgreSQL database named by a
// URL (postgresql://user@host/database). Null with `error` when it cannot be opened or reached,
// is no record store, or was made by a newer version.
std::unique_ptr<RecordStore> OpenRecordStore(const std::string& location, std::string& error);

// Opens an existing store only (for reading records): a missing file is an error, not a new store.
std::unique_ptr<RecordStore> OpenExistingRecordStore(const std::string& location, std::string& error);

// Whether `location` names a database on a server (a postgresql:// or postgres:// URL), not a file.
bool IsServerStore(const std::string& location);

// The PostgreSQL store behind OpenRecordStore (`create` true) and OpenExistingRecordStore.
std::unique_ptr<RecordStore> OpenServerStore(const std::string& url, bool create, std::string& error);

// This machine's host name, as the records name the station.
std::string StationName();

// The time now in UTC, ISO 8601 with milliseconds: "2026-03-01T12:00:00.123Z".
std::string UtcNow();

// The rows as CSV (RFC 4180), a header line first.
std::string ChipsCsv(const std::vector<ChipRecord>& rows);

}  // namespace quillon::production
