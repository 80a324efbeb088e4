// The SQLite record store: numbers given once across runs and crashes, the schema version rule,
// the summary and the CSV.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "production/RecordStore.h"
#include "support/ScratchFolder.h"

namespace quillon::production {
namespace {

using quillon::test::ScratchFolder;

ChipRecord Start(const std::string& job = "blink", std::int64_t pid = ::getpid())
{
    ChipRecord r;
    r.started = UtcNow();
    r.station = "bench";
    r.pid = pid;
    r.port = "sim:x";
    r.jobName = job;
    r.jobHash = "abc";
    return r;
}

SerialRule Range(std::uint64_t first, std::uint64_t last)
{
    SerialRule rule;
    rule.first = first;
    rule.last = last;
    return rule;
}

// Begins a chip, takes its number and ends it with `result`.
std::optional<std::uint64_t> Chip(RecordStore& store, const SerialRule& rule, const std::string& result,
                                  const std::string& job = "blink")
{
    std::string error;
    const std::optional<std::int64_t> id = store.Begin(Start(job), error);
    EXPECT_TRUE(id) << error;
    const std::optional<std::uint64_t> serial = store.TakeSerial(*id, job, rule, error);
    EXPECT_EQ(error, "");
    ChipEnd end;
    end.finished = UtcNow();
    end.result = result;
    if (result != kPassed) end.reason = "verify-program: Address: 0x0000, \"quoted\"";
    end.log = {"line one", "line two"};
    EXPECT_TRUE(store.Finish(*id, end, error)) << error;
    return serial;
}

TEST(RecordStore, NumbersAreGivenOnceAcrossRunsAndFailedOnesAreNotGivenAgain)
{
    ScratchFolder dir;
    std::string error;
    const SerialRule rule = Range(1000, 1003);
    {
        auto store = OpenRecordStore(dir / "r.sqlite", error);
        ASSERT_TRUE(store) << error;
        EXPECT_EQ(Chip(*store, rule, kPassed), 1000u);
        EXPECT_EQ(Chip(*store, rule, kFailed), 1001u);
        EXPECT_EQ(Chip(*store, rule, kPassed, "other"), 1000u);  // every job counts on its own
    }
    auto store = OpenRecordStore(dir / "r.sqlite", error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->PeekNext("blink", rule, error), 1002u);
    EXPECT_EQ(Chip(*store, rule, kPassed), 1002u);
    EXPECT_EQ(Chip(*store, rule, kCancelled), 1003u);
    EXPECT_EQ(Chip(*store, rule, kPassed), std::nullopt);  // run out

    SerialRule reuse = rule;
    reuse.reuseFailed = true;  // the job asks for spoiled numbers again, lowest first
    EXPECT_EQ(Chip(*store, reuse, kPassed), 1001u);
    EXPECT_EQ(Chip(*store, reuse, kPassed), 1003u);
    EXPECT_EQ(Chip(*store, reuse, kPassed), std::nullopt);

    EXPECT_EQ(store->ChipLog(1, error), (std::vector<std::string>{"line one", "line two"}));
}

TEST(RecordStore, ARunKilledMidChipLeavesItsRowForTheNextRunToClose)
{
    ScratchFolder dir;
    std::string error;
    const SerialRule rule = Range(1, 100);
    auto store = OpenRecordStore(dir / "r.sqlite", error);
    ASSERT_TRUE(store) << error;
    // A process that took a number and died before its chip ended.
    const pid_t child = ::fork();
    if (child == 0) {
        std::string e;
        auto own = OpenRecordStore(dir / "r.sqlite", e);
        const auto id = own->Begin(Start("blink", ::getpid()), e);
        own->TakeSerial(*id, "blink", rule, e);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    // A chip of this process, under way: not to be closed.
    const auto live = store->Begin(Start(), error);
    ASSERT_TRUE(live);

    EXPECT_EQ(store->CloseUnfinished("bench", error), 1);
    const std::vector<ChipRecord> rows = store->Chips(error);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].result, std::string(kCancelled));
    EXPECT_EQ(rows[0].serial, 1u);
    EXPECT_NE(rows[0].reason->find("the run ended before this chip was finished"), std::string::npos);
    EXPECT_FALSE(rows[1].result);
    EXPECT_EQ(store->TakeSerial(*live, "blink", rule, error), 2u);  // the dead run's number stays spent
}

TEST(RecordStore, AStoreOfANewerVersionOrNoStoreAtAllIsRefused)
{
    ScratchFolder dir;
    std::string error;
    { ASSERT_TRUE(OpenRecordStore(dir / "new.sqlite", error)); }
    sqlite3* db = nullptr;
    sqlite3_open((dir / "new.sqlite").c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 2", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_FALSE(OpenRecordStore(dir / "new.sqlite", error));
    EXPECT_NE(error.find("the record store is of version 2, newer than this program's (1)"), std::string::npos) << error;

    sqlite3_open((dir / "other.sqlite").c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE t (x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_FALSE(OpenRecordStore(dir / "other.sqlite", error));
    EXPECT_NE(error.find("not a Quillon record store"), std::string::npos) << error;

    std::ofstream(dir / "text.sqlite") << "these are not the records you are looking for\n";
    EXPECT_FALSE(OpenRecordStore(dir / "text.sqlite", error));
    EXPECT_NE(error.find("not a record store"), std::string::npos) << error;

    EXPECT_FALSE(OpenExistingRecordStore(dir / "absent.sqlite", error));
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.sqlite"));
    EXPECT_FALSE(OpenRecordStore(dir / "no/such/folder.sqlite", error));
}

TEST(RecordStore, SummaryAndCsvTellWhatTheRowsHold)
{
    ScratchFolder dir;
    std::string error;
    auto store = OpenRecordStore(dir / "r.sqlite", error);
    ASSERT_TRUE(store);
    const SerialRule rule = Range(10, 20);
    Chip(*store, rule, kPassed);
    Chip(*store, rule, kFailed);
    Chip(*store, rule, kPassed);
    const Summary s = store->Summarize(5, error);
    EXPECT_EQ(s.chips, 3);
    EXPECT_EQ(s.passed, 2);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(s.firstSerial, 10u);
    EXPECT_EQ(s.lastSerial, 12u);
    ASSERT_EQ(s.lastFailures.size(), 1u);
    EXPECT_EQ(s.lastFailures[0].serial, 11u);

    const std::string csv = ChipsCsv(store->Chips(error));
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "id,started,finished,station,port,job_name,job_hash,signature,serial,result,reason,fuses,duration_ms");
    EXPECT_NE(csv.find(",11,failed,\"verify-program: Address: 0x0000, \"\"quoted\"\"\",,"), std::string::npos) << csv;
}

}  // namespace
}  // namespace quillon::production
