// run-job on several gateways at once: quillon-cli processes, each with a line of tavro-sim
// gateways on pseudo-terminals, all drawing serial numbers from one record store; the store is
// checked against the chips the simulators saved.
#include <gtest/gtest.h>
#include <signal.h>

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

using production::ChipRecord;

class ProductionLine : public ::testing::Test {
protected:
    ScratchFolder dir{"quillon-line"};
    std::string firmware;
    std::string job;
    std::string records;
    std::vector<std::unique_ptr<SimulatedGateway>> sims;
    std::map<std::string, std::string> saveOf;  // port -> the pattern its chips' EEPROM is saved to

    void SetUp() override
    {
        std::ofstream(dir / "fw.hex") << Firmware(firmware);
        job = dir / "job.toml";
        records = dir / "records.sqlite";
        std::ofstream(job) << "name = \"line\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\nfuses = \"E4 DF FF\"\n"
                              "[serial]\nmemory = \"eeprom\"\naddress = 0x10\nlength = 4\nfirst = 1\n";
    }

    // `count` gateways with a tray of `chips` each (and the `extra` options); their ports joined by commas.
    std::string Gateways(int count, int chips, const std::vector<std::string>& extra = {})
    {
        std::string ports;
        for (int i = 0; i < count; ++i) {
            const std::string name = "g" + std::to_string(sims.size());
            std::vector<std::string> args{"--chip", "ATtiny2313", "--supply", std::to_string(chips),
                                          "--save-eeprom", dir / (name + "-%d.eep"), "--save-flash",
                                          dir / (name + "-%d.flash")};
            args.insert(args.end(), extra.begin(), extra.end());
            sims.push_back(std::make_unique<SimulatedGateway>(args));
            EXPECT_FALSE(sims.back()->Path().empty()) << sims.back()->ErrorText();
            saveOf[sims.back()->Path()] = name;
            ports += (ports.empty() ? "" : ",") + sims.back()->Path();
        }
        return ports;
    }
    std::vector<std::string> Args(const std::string& ports, int count)
    {
        return {"run-job", job, "--port", ports, "--records", records, "--count", std::to_string(count)};
    }
    std::vector<ChipRecord> Rows()
    {
        std::string error;
        auto store = production::OpenExistingRecordStore(records, error);
        EXPECT_TRUE(store) << error;
        return store ? store->Chips(error) : std::vector<ChipRecord>{};
    }
    // Every number once; every passed row's number and firmware are in the chip its gateway saved
    // (a gateway's chips are saved in the order it programmed them: its rows' order).
    void ExpectRowsMatchTheChips(const std::vector<ChipRecord>& rows)
    {
        std::set<std::uint64_t> serials;
        std::map<std::string, int> chipOfPort;
        for (const ChipRecord& r : rows) {
            ASSERT_TRUE(saveOf.count(r.port)) << r.port;
            const int n = ++chipOfPort[r.port];
            if (!r.serial) continue;
            EXPECT_TRUE(serials.insert(*r.serial).second) << "serial " << *r.serial << " given twice";
            if (r.result != std::string("passed")) continue;
            const std::string saved = dir / (saveOf[r.port] + "-" + std::to_string(n));
            EXPECT_EQ(SerialIn(ReadAll(saved + ".eep")), *r.serial) << saved;
            EXPECT_EQ(ReadAll(saved + ".flash").substr(0, firmware.size()), firmware) << saved;
        }
    }

    // Three processes of two gateways each, ten chips a gateway, on one store.
    void SixtyChipsFromThreeProcesses()
    {
        constexpr int kPerGateway = 10;
        {
            std::vector<std::string> lines;
            for (int p = 0; p < 3; ++p) lines.push_back(Gateways(2, kPerGateway));
            std::vector<std::unique_ptr<OperatorRun>> runs;
            for (const std::string& ports : lines) runs.push_back(std::make_unique<OperatorRun>(Args(ports, kPerGateway)));
            // More lines than chips: each starts every gateway then waiting, the rest are left unread.
            for (auto& run : runs) run->Lines(3 * kPerGateway);
            for (auto& run : runs) run->EndInput();
            for (std::size_t p = 0; p < runs.size(); ++p) {
                EXPECT_EQ(runs[p]->Wait(), 0) << runs[p]->Output();
                const std::string first = lines[p].substr(0, lines[p].find(','));
                EXPECT_NE(runs[p]->Output().find(first + ": PASS "), std::string::npos) << runs[p]->Output();
                EXPECT_NE(runs[p]->Output().find("Line ended: 20 chips, 20 passed, 0 not on 2 gateways"),
                          std::string::npos)
                    << runs[p]->Output();
            }
            sims.clear();  // the simulators save their chips as they end
        }
        const std::vector<ChipRecord> rows = Rows();
        ASSERT_EQ(rows.size(), 60u);
        for (const ChipRecord& r : rows) EXPECT_EQ(r.result, std::string("passed")) << r.id;
        ExpectRowsMatchTheChips(rows);
        std::set<std::uint64_t> serials;
        for (const ChipRecord& r : rows) serials.insert(r.serial.value_or(0));
        EXPECT_EQ(*serials.begin(), 1u);
        EXPECT_EQ(*serials.rbegin(), 60u);  // 1 to 60, none lost
    }
};

TEST_F(ProductionLine, ThreeProcessesOfTwoGatewaysShareOneSqliteFile)
{
    SixtyChipsFromThreeProcesses();
}

TEST_F(ProductionLine, ThreeProcessesOfTwoGatewaysShareOnePostgresStore)
{
    PostgresServer& server = PostgresServer::Shared();
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server for this test: " << server.Why();
    records = server.NewDatabase();
    ASSERT_NE(records, "");
    SixtyChipsFromThreeProcesses();
}

// A process killed while both its gateways are mid-chip, beside another process on the same
// store: the restart closes the killed one's chips as cancelled (their numbers spent) and leaves
// the live one's alone; no number is given twice.
TEST_F(ProductionLine, AKilledProcessIsRestartedWithoutANumberTwice)
{
    const std::string killedPorts = Gateways(2, 10);
    const std::string livePorts = Gateways(2, 10);
    const std::set<std::string> killedPort{sims[0]->Path(), sims[1]->Path()};
    OperatorRun live(Args(livePorts, 4));
    live.Lines(10);
    live.EndInput();
    {
        OperatorRun killed(Args(killedPorts, 4));
        killed.Lines(10);
        ASSERT_TRUE(killed.WaitFor(killedPorts.substr(0, killedPorts.find(',')) + ": PASS ")) << killed.Output();
        ASSERT_TRUE(killed.WaitFor(killedPorts.substr(killedPorts.find(',') + 1) + ": PASS ")) << killed.Output();
        std::this_thread::sleep_for(400ms);  // both inside their second chips
        killed.Signal(SIGKILL);
        EXPECT_EQ(killed.Wait(), -1);
    }
    OperatorRun again(Args(killedPorts, 2));
    again.Lines(10);
    again.EndInput();
    EXPECT_EQ(again.Wait(), 0) << again.Output();
    EXPECT_EQ(live.Wait(), 0) << live.Output();
    sims.clear();

    EXPECT_NE(again.Output().find("Line ended: 4 chips, 4 passed, 0 not"), std::string::npos) << again.Output();
    const std::vector<ChipRecord> rows = Rows();
    int interrupted = 0;
    std::set<std::uint64_t> serials;
    for (const ChipRecord& r : rows) {
        ASSERT_TRUE(r.result) << "chip " << r.id << " left without a result";
        if (r.serial) serials.insert(*r.serial);
        if (*r.result == "passed") continue;
        ++interrupted;
        EXPECT_EQ(*r.result, "cancelled") << r.id;
        EXPECT_EQ(killedPort.count(r.port), 1u) << r.id;
        EXPECT_NE(r.reason.value_or("").find("the run ended before this chip was finished"), std::string::npos);
    }
    EXPECT_GE(interrupted, 1);
    EXPECT_LE(interrupted, 2);  // one a gateway at most
    // The numbers run on without a gap: the interrupted chips' are spent, none given again.
    ASSERT_FALSE(serials.empty());
    EXPECT_EQ(*serials.begin(), 1u);
    EXPECT_EQ(*serials.rbegin(), serials.size());
    // The live process's chips hold their numbers. (The killed one's may have died between its
    // row and opening the port, so its rows need not line up with its gateways' chips.)
    std::vector<ChipRecord> liveRows;
    for (const ChipRecord& r : rows)
        if (!killedPort.count(r.port)) liveRows.push_back(r);
    EXPECT_EQ(liveRows.size(), 8u);
    ExpectRowsMatchTheChips(liveRows);
}

// One gateway of four unplugged mid-chip, and a fifth that goes silent: each has its chip
// recorded failed with the reason and stops; the other three program their counts, and the exit
// status says not all went well.
TEST_F(ProductionLine, AGatewayUnpluggedOrSilentStopsAloneAndTheOthersFinish)
{
    std::string ports = Gateways(4, 6);
    const std::string unplugged = sims[1]->Path();
    // The handshake is three commands; a chip takes some forty more.
    ports += "," + Gateways(1, 6, {"--silent-after", "20"});
    const std::string silent = sims[4]->Path();
    OperatorRun run(Args(ports, 4));
    run.Lines(30);
    run.EndInput();
    ASSERT_TRUE(run.WaitFor(unplugged + ": PASS ")) << run.Output();
    std::this_thread::sleep_for(300ms);  // inside its second chip
    sims[1].reset();
    EXPECT_EQ(run.Wait(), 1) << run.Output();
    sims.clear();
    std::map<std::string, int> passed, failed;
    for (const ChipRecord& r : Rows()) {
        ASSERT_TRUE(r.result) << r.id;
        ++(*r.result == "passed" ? passed : failed)[r.port];
    }
    for (const auto& [port, name] : saveOf) {
        if (port == unplugged || port == silent) {
            EXPECT_NE(run.Output().find("quillon-cli: " + port + ": the gateway failed during chip "), std::string::npos)
                << run.Output();
            EXPECT_EQ(failed[port], 1) << port << "\n" << run.Output();
            EXPECT_NE(run.Output().find(port + ": Run ended: " + std::to_string(passed[port] + 1) + " chip"),
                      std::string::npos);
        } else {
            EXPECT_EQ(passed[port], 4) << port << "\n" << run.Output();
            EXPECT_EQ(failed[port], 0) << port;
        }
    }
    EXPECT_EQ(passed[unplugged], 1);
    EXPECT_EQ(passed[silent], 0);
}

// Ctrl-C ends every socket: each chip under way ends cleanly and is recorded cancelled, and every
// event says which gateway it is about.
TEST_F(ProductionLine, CtrlCEndsEverySocketAndEachEventNamesItsPort)
{
    const std::string ports = Gateways(2, 5);
    std::vector<std::string> args = Args(ports, 5);
    args.push_back("--json");
    OperatorRun run(args);
    run.Lines(10);
    for (const auto& sim : sims)
        ASSERT_TRUE(run.WaitFor(R"({"type":"chip-result","port":")" + sim->Path() + R"(","chip":)")) << run.Output();
    std::this_thread::sleep_for(300ms);
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 130) << run.Output();
    for (const auto& sim : sims) {
        EXPECT_NE(run.Output().find(R"({"type":"step","port":")" + sim->Path() + R"(","chip":)"), std::string::npos);
        EXPECT_NE(run.Output().find(R"({"type":"run","port":")" + sim->Path() + R"(","chips":)"), std::string::npos);
    }
    EXPECT_NE(run.Output().find(R"({"type":"exit","status":130})"), std::string::npos);
    std::map<std::string, int> cancelled;
    for (const ChipRecord& r : Rows()) {
        ASSERT_TRUE(r.result && r.finished) << "chip " << r.id << " left unfinished";
        if (*r.result == "cancelled") ++cancelled[r.port];
    }
    for (const auto& sim : sims) EXPECT_EQ(cancelled[sim->Path()], 1) << sim->Path() << "\n" << run.Output();
}

// A port list the run cannot use is refused before anything is opened.
TEST_F(ProductionLine, AWrongPortListIsRefused)
{
    for (const auto& [ports, message] : std::vector<std::pair<std::string, std::string>>{
             {"sim:ATtiny2313,,sim:ATmega8", "--port: an empty port name in \"sim:ATtiny2313,,sim:ATmega8\""},
             {"sim:ATtiny2313,", "--port: an empty port name"},
             {"/dev/a,/dev/b,/dev/a", "--port names \"/dev/a\" twice"}}) {
        const Finished f = RunProgram(Cli(), Args(ports, 1));
        EXPECT_EQ(f.status, 2) << ports;
        EXPECT_NE(f.err.find("quillon-cli: " + message), std::string::npos) << f.err;
    }
    EXPECT_FALSE(std::filesystem::exists(records));
}

}  // namespace
}  // namespace quillon::test
