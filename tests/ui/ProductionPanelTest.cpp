// The production panel: a job opened and shown, then gateways on tiles of their own. Start (the
// button, the space bar) programs the chips on every ticked gateway that is ready; a gateway that
// goes silent or cannot be opened stops its own tile with the reason while the others go on; Stop
// ends every socket with its chip recorded; the line's totals and the records follow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <map>
#include <set>

#include "model/SimDevice.h"
#include "production/RecordStore.h"
#include "support/ScratchFolder.h"
#include "ui/ProductionPanel.h"
#include "ui/ProductionSocket.h"
#include "ui/SocketTile.h"

namespace quillon::ui::test {
namespace {

const PortLister kNoSystemPorts = [] { return std::vector<SystemPort>{}; };

bool WaitUntil(const std::function<bool()>& done, int ms = 60000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    QApplication::processEvents();
    return done();
}

bool WaitUntilIdle(ProductionPanel& panel)
{
    return WaitUntil([&] { return !panel.Busy(); });
}

void Click(ProductionPanel& panel, const char* name)
{
    auto* button = panel.findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    ASSERT_TRUE(button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

// Gateways by name, each connection finding a fresh ATtiny2313 in its socket (as a tray would
// give), with the faults the name is given; an unknown name is a port that is not there.
PortOpener Gateways(std::map<std::string, sim::Faults> gateways)
{
    return [gateways = std::move(gateways)](const std::string& port) -> OpenedPort {
        const auto found = gateways.find(port);
        if (found == gateways.end()) return {nullptr, OpenFailure::NotAvailable};
        auto device = std::make_shared<sim::SimDevice>(sim::MakeSocketChip("ATtiny2313"), found->second);
        device->FollowClock();
        return {std::make_unique<sim::SimTransport>(std::move(device)), OpenFailure::None};
    };
}

struct JobFolder {
    quillon::test::ScratchFolder dir{"quillon-panel"};
    JobFolder()
    {
        std::ofstream(dir / "fw.hex") << ":0400000001020304F2\n:00000001FF\n";
        std::ofstream(dir / "job.toml") << "name = \"panel\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\n"
                                           "[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 2\nfirst = 7\n";
    }
    QString Job() const { return QString::fromStdString(dir / "job.toml"); }
    std::vector<production::ChipRecord> Records() const
    {
        std::string error;
        auto store = production::OpenExistingRecordStore(dir / "panel.records.sqlite", error);
        EXPECT_NE(store, nullptr) << error;
        return store ? store->Chips(error) : std::vector<production::ChipRecord>{};
    }
};

TEST(ProductionPanel, StartProgramsAChipAndShowsItsResultAndRecord)
{
    JobFolder folder;
    std::ofstream(folder.dir / "bad.toml") << "name = \"panel\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\nspeed = 1\n";

    ProductionPanel panel(QStringLiteral("sim:ATtiny2313"), sim::OpenAnyPort, nullptr, kNoSystemPorts);
    auto* start = panel.findChild<QPushButton*>(QStringLiteral("StartChip"));
    ASSERT_NE(start, nullptr);

    EXPECT_FALSE(panel.OpenJob(QString::fromStdString(folder.dir / "bad.toml")));
    EXPECT_TRUE(panel.SummaryText().contains(QStringLiteral("bad.toml:4: speed: unknown key"))) << panel.SummaryText().toStdString();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(panel.Start());

    ASSERT_TRUE(panel.OpenJob(folder.Job())) << panel.SummaryText().toStdString();
    EXPECT_TRUE(panel.SummaryText().contains(QStringLiteral("Next serial: 7"))) << panel.SummaryText().toStdString();
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    for (int chip = 1; chip <= 2; ++chip) {
        // The button once, the space bar once: both start the next chip.
        if (chip == 1)
            Click(panel, "StartChip");
        else
            QTest::keyClick(&panel, Qt::Key_Space);
        ASSERT_EQ(panel.TileCount(), 1);
        ASSERT_TRUE(WaitUntilIdle(panel));
        EXPECT_EQ(panel.Tile(0)->ResultText(),
                  QStringLiteral("PASS %1  serial %2").arg(chip, 4, 10, QLatin1Char('0')).arg(6 + chip));
    }
    EXPECT_EQ(panel.Tile(0)->CountsText(), QStringLiteral("Passed 2   Failed 0"));
    EXPECT_TRUE(panel.Tile(0)->ReasonText().isEmpty());
    EXPECT_TRUE(panel.TotalsText().startsWith(QStringLiteral("Line: 2 passed, 0 failed, "))) << panel.TotalsText().toStdString();
    EXPECT_TRUE(panel.TotalsText().endsWith(QStringLiteral(" chips per minute"))) << panel.TotalsText().toStdString();
    EXPECT_EQ(panel.RecordRows(), 2);
    EXPECT_TRUE(panel.SummaryText().contains(QStringLiteral("Next serial: 9")));
    EXPECT_TRUE(start->isEnabled());
}

TEST(ProductionPanel, AGatewayThatFailsStopsOnlyItsOwnTileWhileTheOthersFinish)
{
    JobFolder folder;
    sim::Faults silent;
    silent.silentAfter = 12;  // answers the handshake and the signature, then nothing
    ProductionPanel panel(QStringLiteral("/dev/ttyUSB0"),
                          Gateways({{"/dev/ttyUSB0", {}}, {"/dev/ttyUSB1", {}}, {"/dev/ttyUSB2", silent}}), nullptr, kNoSystemPorts);
    for (const char* port : {"/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB9"}) panel.AddPort(QString::fromLatin1(port), true);
    panel.AddPort(QStringLiteral("/dev/ttyUSB5"), false);
    ASSERT_TRUE(panel.OpenJob(folder.Job())) << panel.SummaryText().toStdString();
    panel.SetChipsPerStart(3);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    Click(panel, "StartChip");
    ASSERT_EQ(panel.TileCount(), 4);  // the unticked port has none
    ASSERT_TRUE(WaitUntilIdle(panel));

    for (int good : {0, 1}) {
        const SocketTile& tile = *panel.Tile(good);
        EXPECT_EQ(tile.CountsText(), QStringLiteral("Passed 3   Failed 0")) << good;
        EXPECT_TRUE(tile.ResultText().startsWith(QStringLiteral("PASS "))) << tile.ResultText().toStdString();
        EXPECT_EQ(tile.StepText(), QStringLiteral("Ready for the next chip"));
        EXPECT_TRUE(tile.ReasonText().isEmpty()) << tile.ReasonText().toStdString();
    }
    const SocketTile& silentTile = *panel.Tile(2);
    EXPECT_EQ(silentTile.ResultText(), QStringLiteral("STOPPED"));
    EXPECT_EQ(silentTile.CountsText(), QStringLiteral("Passed 0   Failed 1"));
    EXPECT_TRUE(silentTile.ReasonText().startsWith(QStringLiteral("the gateway failed during chip ")))
        << silentTile.ReasonText().toStdString();
    const SocketTile& goneTile = *panel.Tile(3);
    EXPECT_EQ(goneTile.ResultText(), QStringLiteral("STOPPED"));
    EXPECT_EQ(goneTile.CountsText(), QStringLiteral("Passed 0   Failed 1"));
    EXPECT_TRUE(goneTile.ReasonText().contains(QStringLiteral("(connect: cannot open the port \"/dev/ttyUSB9\"")))
        << goneTile.ReasonText().toStdString();
    EXPECT_TRUE(panel.TotalsText().startsWith(QStringLiteral("Line: 6 passed, 2 failed, "))) << panel.TotalsText().toStdString();

    // Every chip has its finished row; no serial number went to two chips.
    const std::vector<production::ChipRecord> rows = folder.Records();
    EXPECT_EQ(rows.size(), 8u);
    std::set<std::uint64_t> serials;
    std::map<std::string, int> passedPerPort;
    for (const production::ChipRecord& row : rows) {
        EXPECT_TRUE(row.result.has_value()) << row.id;
        if (row.serial) {
            EXPECT_TRUE(serials.insert(*row.serial).second) << "serial " << *row.serial << " twice";
        }
        if (row.result == production::kPassed) ++passedPerPort[row.port];
    }
    EXPECT_EQ(passedPerPort, (std::map<std::string, int>{{"/dev/ttyUSB0", 3}, {"/dev/ttyUSB1", 3}}));

    // A stopped tile is tried again by the next Start (the gateway may be back); the others go on.
    panel.SetChipsPerStart(1);
    Click(panel, "StartChip");
    ASSERT_TRUE(WaitUntilIdle(panel));
    EXPECT_EQ(panel.Tile(0)->CountsText(), QStringLiteral("Passed 4   Failed 0"));
    EXPECT_EQ(panel.Tile(3)->CountsText(), QStringLiteral("Passed 0   Failed 2"));
}

TEST(ProductionPanel, StopEndsEverySocketWithItsChipRecordedAndClosingStopsToo)
{
    JobFolder folder;
    sim::Faults slow;
    slow.pace = true;
    slow.latencyUs = 5000;  // a chip takes long enough to be stopped in the middle
    ProductionPanel panel(QStringLiteral("/dev/ttyUSB0"), Gateways({{"/dev/ttyUSB0", slow}, {"/dev/ttyUSB1", slow}}), nullptr, kNoSystemPorts);
    panel.AddPort(QStringLiteral("/dev/ttyUSB1"), true);
    ASSERT_TRUE(panel.OpenJob(folder.Job())) << panel.SummaryText().toStdString();
    panel.SetChipsPerStart(1000);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    for (const bool byClosing : {false, true}) {
        Click(panel, "StartChip");
        ASSERT_TRUE(panel.Busy());
        // Well into a chip on both gateways.
        ASSERT_TRUE(WaitUntil([&] {
            return panel.Tile(0)->StepText().contains(QStringLiteral("write-program")) &&
                   panel.Tile(1)->StepText().contains(QStringLiteral("write-program"));
        }));
        if (byClosing)
            QTest::keyClick(&panel, Qt::Key_Escape);  // as the close box does
        else
            Click(panel, "StopLine");
        ASSERT_TRUE(WaitUntilIdle(panel));
        EXPECT_TRUE(panel.isVisible()) << "the panel closed while its gateways worked";
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(panel.Tile(i)->ResultText(), QStringLiteral("STOPPED"));
            EXPECT_TRUE(panel.Tile(i)->ReasonText().startsWith(QStringLiteral("stopped by the operator")))
                << panel.Tile(i)->ReasonText().toStdString();
        }
    }
    const std::vector<production::ChipRecord> rows = folder.Records();
    int cancelled = 0;
    for (const production::ChipRecord& row : rows) {
        ASSERT_TRUE(row.result.has_value()) << "chip " << row.id << " left without a result";
        cancelled += row.result == production::kCancelled;
    }
    EXPECT_EQ(cancelled, 4);  // each gateway's chip under way, at each stop
    QTest::keyClick(&panel, Qt::Key_Escape);
    EXPECT_FALSE(panel.isVisible());
}

}  // namespace
}  // namespace quillon::ui::test
