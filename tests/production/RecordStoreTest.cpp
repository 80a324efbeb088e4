// The record stores, each through the same tests: the SQLite file, and a PostgreSQL database on a
// server the tests start themselves. Numbers given once across runs, crashes and stations taking
// them at once; the schema version rule; the summary and the CSV.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "production/RecordStore.h"
#include "PostgresServer.h"
#include "support/ScratchFolder.h"

namespace quillon::production {
namespace {

using quillon::test::PostgresServer;
using quillon::test::ScratchFolder;

enum class Kind { Sqlite, Postgres };

// One store of each kind, fresh for every test: a file in the test's folder, or a new database.
class RecordStores : public ::testing::TestWithParam<Kind> {
protected:
    ScratchFolder dir;
    std::string location;

    void SetUp() override
    {
        if (Postgres() && !PostgresServer::Shared().Running())
            GTEST_SKIP() << "no PostgreSQL server for this test: " << PostgresServer::Shared().Why();
        location = Fresh();
        ASSERT_NE(location, "");
    }

    bool Postgres() const { return GetParam() == Kind::Postgres; }

    // Another empty store's location: a new file, or a new database on the server.
    std::string Fresh()
    {
        if (!Postgres()) return dir / ("r" + std::to_string(++files_) + ".sqlite");
        return PostgresServer::Shared().NewDatabase();
    }

    // Runs `sql` on the store behind the program's back.
    void Execute(const std::string& at, const std::string& sql)
    {
        if (Postgres()) {
            EXPECT_EQ(PostgresServer::Execute(at, sql), "");
            return;
        }
        sqlite3* db = nullptr;
        sqlite3_open(at.c_str(), &db);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

private:
    int files_ = 0;
};

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

TEST_P(RecordStores, NumbersAreGivenOnceAcrossRunsAndFailedOnesAreNotGivenAgain)
{
    std::string error;
    const SerialRule rule = Range(1000, 1003);
    {
        auto store = OpenRecordStore(location, error);
        ASSERT_TRUE(store) << error;
        EXPECT_EQ(Chip(*store, rule, kPassed), 1000u);
        EXPECT_EQ(Chip(*store, rule, kFailed), 1001u);
        EXPECT_EQ(Chip(*store, rule, kPassed, "other"), 1000u);  // every job counts on its own
    }
    auto store = OpenRecordStore(location, error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->PeekNext("blink", rule, error), 1002u) << error;
    EXPECT_EQ(Chip(*store, rule, kPassed), 1002u);
    EXPECT_EQ(Chip(*store, rule, kCancelled), 1003u);
    EXPECT_EQ(Chip(*store, rule, kPassed), std::nullopt);  // run out

    SerialRule reuse = rule;
    reuse.reuseFailed = true;  // the job asks for spoiled numbers again, lowest first
    EXPECT_EQ(Chip(*store, reuse, kPassed), 1001u);
    EXPECT_EQ(Chip(*store, reuse, kPassed), 1003u);
    EXPECT_EQ(Chip(*store, reuse, kPassed), std::nullopt);

    SerialRule list;
    list.values = {7, 3, 5};  // a list of values is used in its order
    EXPECT_EQ(Chip(*store, list, kPassed, "listed"), 7u);
    EXPECT_EQ(Chip(*store, list, kPassed, "listed"), 3u);

    EXPECT_EQ(store->ChipLog(1, error), (std::vector<std::string>{"line one", "line two"}));
}

TEST_P(RecordStores, ARunKilledMidChipLeavesItsRowForTheNextRunToClose)
{
    std::string error;
    const SerialRule rule = Range(1, 100);
    auto store = OpenRecordStore(location, error);
    ASSERT_TRUE(store) << error;
    // A process that took a number and died before its chip ended.
    const pid_t child = ::fork();
    if (child == 0) {
        std::string e;
        auto own = OpenRecordStore(location, e);
        const auto id = own->Begin(Start("blink", ::getpid()), e);
        own->TakeSerial(*id, "blink", rule, e);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    // A chip of this process, under way: not to be closed.
    const auto live = store->Begin(Start(), error);
    ASSERT_TRUE(live);
    // A dead process's row of another station: that station closes its own rows.
    ChipRecord elsewhere = Start("blink", child);
    elsewhere.station = "bench-2";
    ASSERT_TRUE(store->Begin(elsewhere, error));

    EXPECT_EQ(store->CloseUnfinished("bench", error), 1);
    const std::vector<ChipRecord> rows = store->Chips(error);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].result, std::string(kCancelled));
    EXPECT_EQ(rows[0].serial, 1u);
    EXPECT_NE(rows[0].reason->find("the run ended before this chip was finished"), std::string::npos);
    EXPECT_FALSE(rows[1].result);
    EXPECT_FALSE(rows[2].result);
    EXPECT_EQ(store->TakeSerial(*live, "blink", rule, error), 2u);  // the dead run's number stays spent
}

// Several stations (processes here) taking numbers for one job at the same moment.
TEST_P(RecordStores, StationsTakingNumbersAtOnceGetEveryNumberExactlyOnce)
{
    constexpr int kStations = 3, kChipsEach = 15;
    const SerialRule rule = Range(1, 1000);
    std::string error;
    ASSERT_TRUE(OpenRecordStore(location, error)) << error;  // the tables exist before the race
    std::vector<pid_t> children;
    for (int s = 0; s < kStations; ++s) {
        const pid_t child = ::fork();
        if (child == 0) {
            std::string e;
            auto own = OpenRecordStore(location, e);
            if (!own) ::_exit(2);
            for (int i = 0; i < kChipsEach; ++i) {
                const auto id = own->Begin(Start("blink", ::getpid()), e);
                if (!id || !own->TakeSerial(*id, "blink", rule, e)) ::_exit(3);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "station ended with " << status;
    }
    auto store = OpenExistingRecordStore(location, error);
    ASSERT_TRUE(store) << error;
    std::set<std::uint64_t> numbers;
    const std::vector<ChipRecord> rows = store->Chips(error);
    for (const ChipRecord& row : rows) {
        if (row.serial) {
            EXPECT_TRUE(numbers.insert(*row.serial).second) << "given twice: " << *row.serial;
        }
    }
    EXPECT_EQ(rows.size(), std::size_t{kStations * kChipsEach});
    ASSERT_EQ(numbers.size(), std::size_t{kStations * kChipsEach});
    EXPECT_EQ(*numbers.begin(), 1u);
    EXPECT_EQ(*numbers.rbegin(), std::uint64_t{kStations * kChipsEach});  // none skipped
}

TEST_P(RecordStores, AStoreOfANewerVersionOrNoStoreAtAllIsRefused)
{
    std::string error;
    { ASSERT_TRUE(OpenRecordStore(location, error)) << error; }
    Execute(location, Postgres() ? "UPDATE schema_version SET version = 2" : "PRAGMA user_version = 2");
    EXPECT_FALSE(OpenRecordStore(location, error));
    EXPECT_NE(error.find("the record store is of version 2, newer than this program's (1)"), std::string::npos) << error;

    const std::string other = Fresh();
    Execute(other, "CREATE TABLE t (x INTEGER)");
    EXPECT_FALSE(OpenRecordStore(other, error));
    EXPECT_NE(error.find("not a Quillon record store"), std::string::npos) << error;

    const std::string empty = Fresh();
    EXPECT_FALSE(OpenExistingRecordStore(empty, error));  // reading records makes no store
    EXPECT_NE(error.find("record store"), std::string::npos) << error;
    EXPECT_FALSE(OpenExistingRecordStore(empty, error));  // not even the first time

    if (Postgres()) {
        const std::string nowhere = "postgresql://quillon:secret@/records?host=" + (dir / "no-server");
        EXPECT_FALSE(OpenRecordStore(nowhere, error));
        EXPECT_NE(error.find(":***@/records?host=" + (dir / "no-server") + ": cannot connect to the record store: "),
                  std::string::npos)
            << error;
        EXPECT_EQ(error.find("secret"), std::string::npos) << error;  // no password in messages
    } else {
        EXPECT_FALSE(std::filesystem::exists(empty));
        std::ofstream(dir / "text.sqlite") << "these are not the records you are looking for\n";
        EXPECT_FALSE(OpenRecordStore(dir / "text.sqlite", error));
        EXPECT_NE(error.find("not a record store"), std::string::npos) << error;
        EXPECT_FALSE(OpenRecordStore(dir / "no/such/folder.sqlite", error));
    }
}

TEST_P(RecordStores, SummaryAndCsvTellWhatTheRowsHold)
{
    std::string error;
    auto store = OpenRecordStore(location, error);
    ASSERT_TRUE(store) << error;
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

// The server going away between chips: the store says so, and takes up again on a new connection
// once the server is back, numbers following on.
TEST(PostgresStore, AServerThatGoesAwayIsSaidAndTheStoreGoesOnWhenItIsBack)
{
    PostgresServer& server = PostgresServer::Shared();
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server for this test: " << server.Why();
    const std::string url = server.NewDatabase();
    std::string error;
    auto store = OpenRecordStore(url, error);
    ASSERT_TRUE(store) << error;
    const SerialRule rule = Range(1, 10);
    EXPECT_EQ(Chip(*store, rule, kPassed), 1u);
    ASSERT_TRUE(server.Stop() && server.Start());  // restarted between two chips
    EXPECT_EQ(Chip(*store, rule, kPassed), 2u);

    ASSERT_TRUE(server.Stop());
    EXPECT_FALSE(store->Begin(Start(), error));
    EXPECT_EQ(error.rfind(url + ": ", 0), 0u) << error;
    EXPECT_FALSE(OpenRecordStore(url, error));
    EXPECT_NE(error.find("cannot connect to the record store"), std::string::npos) << error;

    ASSERT_TRUE(server.Start());
    EXPECT_EQ(Chip(*store, rule, kPassed), 3u);
    EXPECT_EQ(store->Chips(error).size(), 3u) << error;
}

INSTANTIATE_TEST_SUITE_P(Each, RecordStores, ::testing::Values(Kind::Sqlite, Kind::Postgres),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return info.param == Kind::Sqlite ? "Sqlite" : "Postgres";
                         });

}  // namespace
}  // namespace quillon::production
