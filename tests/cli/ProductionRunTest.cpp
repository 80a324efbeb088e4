// run-job end to end: quillon-cli against tavro-sim on a pseudo-terminal, with a supply of chips,
// an operator's lines on standard input and the record store checked against the saved chips.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "OperatorRun.h"
#include "Subprocess.h"
#include "production/PostgresServer.h"
#include "production/RecordStore.h"
#include "support/ScratchFolder.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;
using production::ChipRecord;

class ProductionRun : public ::testing::Test {
protected:
    ScratchFolder dir{"quillon-production"};
    std::string firmware;
    std::string job;
    std::string records;

    void SetUp() override
    {
        std::ofstream(dir / "fw.hex") << Firmware(firmware);
        job = dir / "job.toml";
        records = dir / "records.sqlite";
    }
    void Job(std::uint64_t first, std::uint64_t last)
    {
        std::ofstream(job) << "name = \"blink\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\nfuses = \"E4 DF FF\"\n"
                              "lock = \"FC\"\n[serial]\nmemory = \"eeprom\"\naddress = 0x10\nlength = 4\n"
                              "order = \"little\"\nformat = \"binary\"\nfirst = "
                           << first << "\nstep = 1\nlast = " << last << "\n";
    }
    std::vector<ChipRecord> Rows()
    {
        std::string error;
        auto store = production::OpenExistingRecordStore(records, error);
        EXPECT_TRUE(store) << error;
        return store ? store->Chips(error) : std::vector<ChipRecord>{};
    }
    std::vector<std::string> RunArgs(const std::string& port)
    {
        return {"run-job", job, "--port", port, "--records", records};
    }
};

TEST_F(ProductionRun, TwentyChipsEachHoldTheirNumberAndTheFirmwareAndTheStoreSaysSo)
{
    Job(1000, 1019);
    {
        SimulatedGateway sim({"--chip", "ATtiny2313", "--supply", "20", "--faulty", "7", "--save-flash",
                              dir / "chip-%d.flash", "--save-eeprom", dir / "chip-%d.eep", "--save-fuses",
                              dir / "chip-%d.fuses"});
        ASSERT_FALSE(sim.Path().empty()) << sim.ErrorText();
        OperatorRun run(RunArgs(sim.Path()));
        run.Lines(20);
        run.EndInput();
        EXPECT_EQ(run.Wait(), 1) << run.Output();  // one chip failed
        EXPECT_NE(run.Output().find("PASS 0001  serial 1000  "), std::string::npos) << run.Output();
        EXPECT_NE(run.Output().find("FAIL 0007  verify-program: "), std::string::npos) << run.Output();
        EXPECT_NE(run.Output().find("PASS 0008  serial 1007  "), std::string::npos) << run.Output();
        EXPECT_NE(run.Output().find("PASS 0020  serial 1019  "), std::string::npos) << run.Output();
        EXPECT_NE(run.Output().find("Run ended: 20 chips, 19 passed, 1 not"), std::string::npos);
    }
    // Every good chip holds its own number and the firmware; the faulty one's number is spent.
    std::set<std::uint32_t> seen;
    for (int n = 1; n <= 20; ++n) {
        const std::string flash = ReadAll(dir / ("chip-" + std::to_string(n) + ".flash"));
        const std::string eeprom = ReadAll(dir / ("chip-" + std::to_string(n) + ".eep"));
        ASSERT_EQ(eeprom.size(), 128u) << n;
        if (n == 7) {
            // Failed at the program's verify: its first page stayed erased, nothing came after.
            EXPECT_EQ(flash.substr(0, 32), std::string(32, '\xFF'));  // one page
            EXPECT_EQ(SerialIn(eeprom), 0xFFFFFFFFu);
            continue;
        }
        EXPECT_EQ(SerialIn(eeprom), 999u + n) << n;
        EXPECT_EQ(ReadAll(dir / ("chip-" + std::to_string(n) + ".fuses")), "E4,DF,FF,FC\n") << n;
        EXPECT_EQ(flash.substr(0, 512), firmware) << n;
        seen.insert(SerialIn(eeprom));
    }
    EXPECT_EQ(seen.size(), 19u);
    EXPECT_EQ(seen.count(1006), 0u);
    EXPECT_EQ(*seen.begin(), 1000u);
    EXPECT_EQ(*seen.rbegin(), 1019u);

    const std::vector<ChipRecord> rows = Rows();
    ASSERT_EQ(rows.size(), 20u);
    std::set<std::uint64_t> serials;
    for (const ChipRecord& r : rows) {
        ASSERT_TRUE(r.serial);
        EXPECT_TRUE(serials.insert(*r.serial).second) << "serial " << *r.serial << " given twice";
        EXPECT_EQ(r.jobName, "blink");
        EXPECT_EQ(r.signature, "1E 91 0A");
        EXPECT_TRUE(r.finished);
        if (r.id == 7) {
            EXPECT_EQ(r.result, std::string("failed"));
            EXPECT_EQ(*r.serial, 1006u);
            EXPECT_EQ(r.reason->rfind("verify-program: ", 0), 0u) << *r.reason;
        } else {
            EXPECT_EQ(r.result, std::string("passed")) << r.id;
            EXPECT_EQ(r.fuses, "E4 DF FF FC");
            EXPECT_FALSE(r.reason);
        }
    }

    // The summary and the CSV say what the store holds.
    const Finished summary = RunProgram(BinaryPath("src/cli/quillon-cli"), {"records", records});
    EXPECT_EQ(summary.status, 0) << summary.err;
    for (const char* line : {"Chips:     20\n", "Passed:    19\n", "Failed:    1\n", "Yield:     95.0 %\n",
                             "Serials:   1000 to 1019\n", "  0007  "})
        EXPECT_NE(summary.out.find(line), std::string::npos) << line << "\n" << summary.out;
    const Finished csv = RunProgram(BinaryPath("src/cli/quillon-cli"), {"records", records, "--csv"});
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out, production::ChipsCsv(rows));
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 21);

    // The rule has given every number: a new run says so and touches no chip.
    {
        SimulatedGateway sim({"--chip", "ATtiny2313", "--trace", dir / "after.trace"});
        OperatorRun more(RunArgs(sim.Path()));
        more.Lines(1);
        more.EndInput();
        EXPECT_EQ(more.Wait(), 1);
        EXPECT_NE(more.Output().find("no serial numbers left"), std::string::npos) << more.Output();
    }
    EXPECT_EQ(ReadAll(dir / "after.trace"), "");
    EXPECT_EQ(Rows().size(), 20u);
}

TEST_F(ProductionRun, AKilledRunNeverGivesANumberTwiceAndTheNextFollows)
{
    Job(1, 100);
    SimulatedGateway sim({"--chip", "ATtiny2313", "--supply", "10"});
    ASSERT_FALSE(sim.Path().empty());
    {
        OperatorRun run(RunArgs(sim.Path()));
        run.Lines(2);
        ASSERT_TRUE(run.WaitFor("PASS 0002")) << run.Output();
        run.Lines(1);
        std::this_thread::sleep_for(600ms);  // inside the third chip's write
        run.Signal(SIGKILL);
        EXPECT_EQ(run.Wait(), -1);
        EXPECT_EQ(run.Output().find("0003"), std::string::npos) << run.Output();
    }
    OperatorRun again(RunArgs(sim.Path()));
    again.Lines(1);
    again.EndInput();
    EXPECT_EQ(again.Wait(), 0) << again.Output();
    EXPECT_NE(again.Output().find("PASS 0004  serial 4  "), std::string::npos) << again.Output();

    const std::vector<ChipRecord> rows = Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2].result, std::string("cancelled"));
    EXPECT_EQ(rows[2].serial, 3u);
    EXPECT_NE(rows[2].reason->find("the run ended before this chip was finished"), std::string::npos);
    std::set<std::uint64_t> serials;
    for (const ChipRecord& r : rows) EXPECT_TRUE(serials.insert(r.serial.value_or(0)).second);
}

TEST_F(ProductionRun, CtrlCEndsTheChipCleanlyAndRecordsItCancelled)
{
    Job(1, 100);
    SimulatedGateway sim({"--chip", "ATtiny2313", "--supply", "3"});
    OperatorRun run(RunArgs(sim.Path()));
    run.Lines(2);
    ASSERT_TRUE(run.WaitFor("PASS 0001")) << run.Output();
    std::this_thread::sleep_for(400ms);
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 130) << run.Output();
    EXPECT_NE(run.Output().find("CANCELLED 0002  cancelled "), std::string::npos) << run.Output();
    const std::vector<ChipRecord> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].result, std::string("cancelled"));
    EXPECT_TRUE(rows[1].finished);
}

TEST_F(ProductionRun, BadJobsAreRefusedBeforeAnythingGoesToTheGateway)
{
    std::ofstream(dir / "data.eep") << ":0400100001020304E2\n:00000001FF\n";
    const std::string head = "name = \"blink\"\nchip = \"ATtiny2313\"\n";
    const std::string serial = "[serial]\nmemory = \"eeprom\"\naddress = 0x10\nlength = 2\n";
    const struct {
        std::string text;
        std::string message;
    } jobs[] = {
        {head + "program = \"fw.hex\"\nspeed = 3\n", job + ":4: speed: unknown key"},
        {head + "program = \"fw.hex\"\nerase = 1\n", job + ":4: erase: must be true or false, not a whole number"},
        {head + "program = \"missing.hex\"\n", job + ":3: program: "},
        {head + "program = \"fw.hex\"\n" + serial + "first = 65536\n",
         job + ":8: serial.first: 65536 does not fit the serial number's field"},
        {head + "data = \"data.eep\"\n" + serial + "first = 1\n",
         job + ":6: serial.address: the serial number's bytes 0x0010-0x0011 lie on data that"},
    };
    {
        SimulatedGateway sim({"--chip", "ATtiny2313", "--trace", dir / "sim.trace"});
        for (const auto& bad : jobs) {
            std::ofstream(job, std::ios::trunc) << bad.text;
            const Finished f = RunProgram(BinaryPath("src/cli/quillon-cli"), RunArgs(sim.Path()));
            EXPECT_EQ(f.status, 1) << bad.text;
            EXPECT_NE(f.err.find("quillon-cli: " + bad.message), std::string::npos) << f.err;
        }
    }
    EXPECT_EQ(ReadAll(dir / "sim.trace"), "");  // the gateway got not one byte
    EXPECT_FALSE(std::filesystem::exists(records));  // not even a record store was made
}

// A shared store that cannot be reached stops the run before the gateway hears of it, whether
// the job or the command line names it.
TEST_F(ProductionRun, AnUnreachableDatabaseIsSaidAndNoChipIsTouched)
{
    const std::string url = "postgresql://quillon@/records?host=" + (dir / "no-server") + "&connect_timeout=2";
    Job(1, 10);
    const std::string text = ReadAll(job);
    std::ofstream(job, std::ios::trunc) << "records = \"" << url << "\"\n" << text;
    {
        SimulatedGateway sim({"--chip", "ATtiny2313", "--trace", dir / "sim.trace"});
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"run-job", job, "--port", sim.Path()},
              std::vector<std::string>{"run-job", job, "--port", sim.Path(), "--records", url}}) {
            const Finished f = RunProgram(BinaryPath("src/cli/quillon-cli"), args);
            EXPECT_EQ(f.status, 1) << f.err;
            EXPECT_NE(f.err.find("quillon-cli: " + url + ": cannot connect to the record store: "), std::string::npos)
                << f.err;
            EXPECT_EQ(f.out.find("PASS"), std::string::npos) << f.out;
        }
    }
    EXPECT_EQ(ReadAll(dir / "sim.trace"), "");  // the gateway got not one byte
}

// Two stations (two runs, each with its own gateway) programming one job at the same time from
// one PostgreSQL store: every number once, and every row what its station's chip holds.
TEST_F(ProductionRun, TwoStationsOnOnePostgresStoreShareOneSequence)
{
    PostgresServer& server = PostgresServer::Shared();
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server for this test: " << server.Why();
    records = server.NewDatabase();
    ASSERT_NE(records, "");
    Job(1, 100);
    constexpr int kChips = 6;
    std::vector<std::string> ports;
    {
        std::vector<std::unique_ptr<SimulatedGateway>> sims;
        std::vector<std::unique_ptr<OperatorRun>> runs;
        for (const char* station : {"a", "b"}) {
            sims.push_back(std::make_unique<SimulatedGateway>(std::vector<std::string>{
                "--chip", "ATtiny2313", "--supply", std::to_string(kChips), "--save-eeprom",
                dir / (std::string(station) + "-%d.eep")}));
            ASSERT_FALSE(sims.back()->Path().empty()) << sims.back()->ErrorText();
            ports.push_back(sims.back()->Path());
        }
        for (const std::string& port : ports) runs.push_back(std::make_unique<OperatorRun>(RunArgs(port)));
        for (auto& run : runs) run->Lines(kChips);
        for (auto& run : runs) run->EndInput();
        for (auto& run : runs) EXPECT_EQ(run->Wait(), 0) << run->Output();
    }
    const std::vector<ChipRecord> rows = Rows();
    ASSERT_EQ(rows.size(), std::size_t{2 * kChips});
    std::set<std::uint64_t> serials;
    std::map<std::string, int> chipOfPort;
    for (const ChipRecord& r : rows) {
        ASSERT_TRUE(r.serial);
        EXPECT_TRUE(serials.insert(*r.serial).second) << "serial " << *r.serial << " given twice";
        EXPECT_EQ(r.result, std::string("passed"));
        const std::string station = r.port == ports[0] ? "a" : "b";
        const int n = ++chipOfPort[r.port];
        EXPECT_EQ(SerialIn(ReadAll(dir / (station + "-" + std::to_string(n) + ".eep"))), *r.serial)
            << station << n;
    }
    EXPECT_EQ(*serials.rbegin(), std::uint64_t{2 * kChips});  // 1 to 12, none lost
    const Finished summary = RunProgram(BinaryPath("src/cli/quillon-cli"), {"records", records});
    EXPECT_EQ(summary.status, 0) << summary.err;
    EXPECT_NE(summary.out.find("Chips:     12\n"), std::string::npos) << summary.out;
}

// The server stopped between two chips: the run does not begin the next chip, says it waits, and
// Ctrl-C ends the wait with the chip untouched and no row for it.
TEST_F(ProductionRun, APostgresServerAwayBeforeAChipIsWaitedForUntilCtrlC)
{
    PostgresServer& server = PostgresServer::Shared();
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server for this test: " << server.Why();
    records = server.NewDatabase();
    ASSERT_NE(records, "");
    Job(1, 100);
    SimulatedGateway sim({"--chip", "ATtiny2313", "--supply", "2", "--save-eeprom", dir / "chip-%d.eep"});
    ASSERT_FALSE(sim.Path().empty()) << sim.ErrorText();
    struct Restart {
        PostgresServer& server;
        bool stopped = false;
        ~Restart()
        {
            if (stopped) server.Start();
        }
    } restart{server};
    {
        OperatorRun run(RunArgs(sim.Path()));
        run.Lines(1);
        ASSERT_TRUE(run.WaitFor("PASS 0001")) << run.Output();
        restart.stopped = true;
        ASSERT_TRUE(server.Stop());
        run.Lines(1);
        ASSERT_TRUE(run.WaitFor("waiting for it (trying again every 2 s; Ctrl-C ends the run)")) << run.Output();
        EXPECT_NE(run.Output().find(records + ": the record store cannot be reached: "), std::string::npos)
            << run.Output();
        run.Signal(SIGINT);
        EXPECT_EQ(run.Wait(), 130) << run.Output();
        EXPECT_NE(run.Output().find("the run was stopped while the record store could not be reached"),
                  std::string::npos)
            << run.Output();
        EXPECT_EQ(run.Output().find("0002"), std::string::npos) << run.Output();
    }
    ASSERT_TRUE(server.Start());
    restart.stopped = false;
    const std::vector<ChipRecord> rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].result, std::string("passed"));
}

TEST_F(ProductionRun, AKeptEepromSurvivesTheEraseAroundTheSerialNumber)
{
    std::string before(128, '\xFF');
    before[0x40] = 0x5A;
    before[0x7F] = 0x01;
    std::ofstream(dir / "old.eep", std::ios::binary) << before;
    std::ofstream(job) << "name = \"keep\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\nkeep_eeprom = true\n"
                          "[serial]\nmemory = \"eeprom\"\naddress = 0x10\nlength = 2\nformat = \"bcd\"\n"
                          "order = \"big\"\nfirst = 1234\n";
    {
        SimulatedGateway sim({"--chip", "ATtiny2313", "--eeprom", dir / "old.eep", "--save-eeprom", dir / "new.eep"});
        OperatorRun run(RunArgs(sim.Path()));
        run.Lines(1);
        run.EndInput();
        EXPECT_EQ(run.Wait(), 0) << run.Output();
    }
    std::string after = before;
    after[0x10] = 0x12;
    after[0x11] = 0x34;
    EXPECT_EQ(ReadAll(dir / "new.eep"), after);
}

// A gateway that fails mid-chip never gives a PASS: the chip is recorded failed with the reason.
TEST_F(ProductionRun, AFailingGatewayFailsTheChipAndItsRecordSaysWhy)
{
    Job(1, 100);
    const std::vector<std::vector<std::string>> faults = {
        {"--hangup-after", "60"}, {"--silent-after", "60"}, {"--never-ready"}};
    for (const auto& fault : faults) {
        std::filesystem::remove(records);
        std::vector<std::string> args{"--chip", "ATtiny2313"};
        args.insert(args.end(), fault.begin(), fault.end());
        SimulatedGateway sim(args);
        OperatorRun run(RunArgs(sim.Path()));
        run.Lines(1);
        run.EndInput();
        EXPECT_EQ(run.Wait(), 1) << fault[0] << "\n" << run.Output();
        EXPECT_NE(run.Output().find("FAIL 0001  "), std::string::npos) << fault[0] << "\n" << run.Output();
        EXPECT_EQ(run.Output().find("PASS"), std::string::npos) << fault[0];
        const std::vector<ChipRecord> rows = Rows();
        ASSERT_EQ(rows.size(), 1u) << fault[0];
        EXPECT_EQ(rows[0].result, std::string("failed")) << fault[0];
        EXPECT_TRUE(rows[0].reason && !rows[0].reason->empty()) << fault[0];
    }
}

// Chips put in and taken out of a watched socket: each is programmed once, when it is put in.
TEST_F(ProductionRun, DetectionFollowsTheChipsPutInOneAfterAnother)
{
    Job(1, 100);
    {
        SimulatedGateway sim({"--chip", "ATtiny2313", "--supply", "3", "--swap-after-ms", "300", "--save-eeprom",
                              dir / "chip-%d.eep"});
        OperatorRun run({"run-job", job, "--port", sim.Path(), "--records", records, "--detect", "--count", "3"});
        run.EndInput();  // standard input plays no part in a watched socket
        EXPECT_EQ(run.Wait(), 0) << run.Output();
        EXPECT_NE(run.Output().find("PASS 0003  serial 3  "), std::string::npos) << run.Output();
    }
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(SerialIn(ReadAll(dir / ("chip-" + std::to_string(n) + ".eep"))), n);
    EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(ProductionRun, DetectionProgramsTheChipPutInTheSocket)
{
    Job(500, 600);
    const Finished f =
        RunProgram(BinaryPath("src/cli/quillon-cli"),
                   {"run-job", job, "--port", "sim:ATtiny2313", "--records", records, "--detect", "--count", "1", "--json"});
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_NE(f.out.find(R"({"type":"step","chip":1,"step":"verify-program","ok":true})"), std::string::npos) << f.out;
    EXPECT_NE(f.out.find(R"({"type":"chip-result","chip":1,"result":"passed","serial":500,"reason":null,)"),
              std::string::npos)
        << f.out;
    EXPECT_NE(f.out.find(R"({"type":"exit","status":0})"), std::string::npos);
}

}  // namespace
}  // namespace quillon::test
