// A record store on a server that goes away in the middle of a run: the chip under way finishes,
// its record waits on the station and reaches the server once it is back; no chip is begun while
// it is away, and no number is given twice.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "PostgresServer.h"
#include "model/SimDevice.h"
#include "operations/Session.h"
#include "production/Job.h"
#include "production/ProductionRun.h"
#include "production/UnsentRecords.h"
#include "support/ScratchFolder.h"

namespace quillon::production {
namespace {

using namespace std::chrono_literals;
using quillon::test::PostgresServer;
using quillon::test::ScratchFolder;

ChipEnd End(const std::string& result, std::vector<std::string> log)
{
    ChipEnd end;
    end.finished = "2026-03-01T12:00:01.000Z";
    end.signature = "1E 91 0A";
    end.result = result;
    if (result != kPassed) end.reason = "verify-program: Finished with fail. Address: 0x0000";
    end.durationMs = 1200;
    end.log = std::move(log);
    return end;
}

// The station's file keeps results per store and per chip, a result kept again replacing the
// first, and one taken out is gone.
TEST(UnsentRecords, KeepsResultsPerStoreUntilTheyAreTakenOut)
{
    ScratchFolder dir;
    UnsentRecords unsent(dir.path() / "deeper" / "unsent.sqlite");
    std::string error;
    EXPECT_TRUE(unsent.For("postgresql://a@/x", error).empty());
    EXPECT_EQ(error, "");
    EXPECT_FALSE(std::filesystem::exists(unsent.File()));  // looking makes no file

    ASSERT_TRUE(unsent.Keep("postgresql://a@/x", 7, End(kFailed, {"one"}), error)) << error;
    ASSERT_TRUE(unsent.Keep("postgresql://a@/x", 5, End(kPassed, {"a", "b"}), error)) << error;
    ASSERT_TRUE(unsent.Keep("postgresql://a@/y", 7, End(kPassed, {}), error)) << error;
    ASSERT_TRUE(unsent.Keep("postgresql://a@/x", 7, End(kPassed, {"again", "and again"}), error)) << error;

    std::vector<UnsentRecords::Kept> kept = unsent.For("postgresql://a@/x", error);
    ASSERT_EQ(kept.size(), 2u) << error;
    EXPECT_EQ(kept[0].id, 5);
    EXPECT_EQ(kept[0].end.log, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(kept[0].end.signature, std::optional<std::string>("1E 91 0A"));
    EXPECT_EQ(kept[0].end.reason, std::nullopt);
    EXPECT_EQ(kept[0].end.durationMs, 1200);
    EXPECT_EQ(kept[1].id, 7);
    EXPECT_EQ(kept[1].end.result, kPassed);
    EXPECT_EQ(kept[1].end.log, (std::vector<std::string>{"again", "and again"}));

    ASSERT_TRUE(unsent.Forget("postgresql://a@/x", 5, error)) << error;
    kept = unsent.For("postgresql://a@/x", error);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].id, 7);
    EXPECT_EQ(unsent.For("postgresql://a@/y", error).size(), 1u);
}

class StoreOutage : public ::testing::Test {
protected:
    ScratchFolder dir{"quillon-outage"};
    PostgresServer& server = PostgresServer::Shared();
    bool stopped = false;

    void SetUp() override
    {
        if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server for this test: " << server.Why();
        std::ofstream(dir / "fw.hex") << ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n";
        std::ofstream(dir / "job.toml") << "name = \"blink\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\n"
                                           "[serial]\nmemory = \"eeprom\"\naddress = 0x10\nlength = 2\n"
                                           "order = \"little\"\nformat = \"binary\"\nfirst = 1\n";
    }
    void TearDown() override
    {
        if (stopped) server.Start();  // the other tests share the server
    }
    void Stop()
    {
        stopped = true;
        ASSERT_TRUE(server.Stop());
    }
    void Start()
    {
        ASSERT_TRUE(server.Start());
        stopped = false;
    }
};

// The server stopped while the first chip is written: that chip passes all the same and its
// record is kept; it reaches the server before the next chip's row (the run waiting for the
// server meanwhile), or at the next start of a run on the station.
TEST_F(StoreOutage, APostgresServerStoppedMidChipGetsTheChipsRecordWhenItIsBack)
{
    const JobCheck checked = ReadJob(dir / "job.toml");
    ASSERT_TRUE(checked.job) << checked.error;
    for (const bool sentByNextChip : {true, false}) {
        SCOPED_TRACE(sentByNextChip ? "sent before the next chip" : "sent at the next start");
        const std::string url = server.NewDatabase();
        ASSERT_NE(url, "");
        std::string error;
        std::unique_ptr<RecordStore> store = OpenRecordStore(url, error);
        ASSERT_TRUE(store) << error;
        const UnsentRecords unsent(dir.path() / (sentByNextChip ? "a.sqlite" : "b.sqlite"));
        std::vector<std::string> notices;
        auto runOn = [&](ProductionRun& run) {
            run.SetUnsentRecords(unsent);
            run.storeRetry = 50ms;
            run.onNotice = [&](const std::string& line) {
                notices.push_back(line);
                // The operator's server comes back while the run waits for it.
                if (line.find("waiting for it") != std::string::npos) Start();
            };
        };

        std::int64_t first = 0;
        {
            Session session(sim::OpenAnyPort);
            ProductionRun run(session, *checked.job, *store, "sim:ATtiny2313");
            runOn(run);
            ASSERT_EQ(run.Prepare(), "");
            run.onStep = [&](std::int64_t, const std::string& step, bool done, bool) {
                if (step == "write-program" && !done && notices.empty()) Stop();
            };
            const ChipOutcome outcome = run.ProgramChip();
            EXPECT_EQ(outcome.ending, ChipEnding::Passed) << outcome.reason;
            EXPECT_EQ(outcome.serial, std::optional<std::uint64_t>(1));
            EXPECT_EQ(outcome.storeError, "");
            first = outcome.id;
            ASSERT_EQ(unsent.For(store->Location(), error).size(), 1u) << error;
            ASSERT_FALSE(notices.empty());
            EXPECT_NE(notices.back().find("the record of chip " + std::to_string(first) + " is kept in " +
                                          unsent.File().string() + " until the record store is back"),
                      std::string::npos)
                << notices.back();

            if (sentByNextChip) {
                const ChipOutcome next = run.ProgramChip();
                EXPECT_EQ(next.ending, ChipEnding::Passed) << next.reason;
                EXPECT_EQ(next.serial, std::optional<std::uint64_t>(2));
                EXPECT_NE(next.id, first);
            }
        }
        if (!sentByNextChip) {
            Start();
            Session session(sim::OpenAnyPort);
            ProductionRun run(session, *checked.job, *store, "sim:ATtiny2313");
            runOn(run);
            ASSERT_EQ(run.Prepare(), "");
        }
        const std::string said = [&] {
            std::string all;
            for (const std::string& n : notices) all += n + "\n";
            return all;
        }();
        if (sentByNextChip) {
            EXPECT_NE(said.find(url + ": the record store cannot be reached: "), std::string::npos) << said;
            EXPECT_NE(said.find("the record store answers again"), std::string::npos) << said;
        }
        EXPECT_NE(said.find("the record of chip " + std::to_string(first) + " kept on this station was sent"),
                  std::string::npos)
            << said;
        EXPECT_TRUE(unsent.For(store->Location(), error).empty());

        std::unique_ptr<RecordStore> fresh = OpenExistingRecordStore(url, error);
        ASSERT_TRUE(fresh) << error;
        const std::vector<ChipRecord> rows = fresh->Chips(error);
        ASSERT_EQ(rows.size(), sentByNextChip ? 2u : 1u) << error;
        std::set<std::uint64_t> serials;
        for (const ChipRecord& row : rows) {
            EXPECT_EQ(row.result, std::optional<std::string>(kPassed)) << row.id;
            ASSERT_TRUE(row.serial);
            EXPECT_TRUE(serials.insert(*row.serial).second);
        }
        const std::vector<std::string> log = fresh->ChipLog(first, error);
        EXPECT_FALSE(log.empty());
        EXPECT_EQ(rows[0].fuses.has_value(), true);
    }
}

}  // namespace
}  // namespace quillon::production
