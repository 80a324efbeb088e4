// The production panel: a job opened and shown, a chip programmed per Start with a large PASS or
// FAIL, the counters and the last records; a refused job leaves Start off.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <fstream>

#include "model/SimDevice.h"
#include "support/ScratchFolder.h"
#include "ui/ProductionPanel.h"

namespace quillon::ui::test {
namespace {

bool WaitUntilIdle(ProductionPanel& panel)
{
    QElapsedTimer timer;
    timer.start();
    while (panel.Busy() && timer.elapsed() < 30000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    QApplication::processEvents();
    return !panel.Busy();
}

TEST(ProductionPanel, StartProgramsAChipAndShowsItsResultAndRecord)
{
    quillon::test::ScratchFolder dir("quillon-panel");
    std::ofstream(dir / "fw.hex") << ":0400000001020304F2\n:00000001FF\n";
    std::ofstream(dir / "job.toml") << "name = \"panel\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\n"
                                       "[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 2\nfirst = 7\n";
    std::ofstream(dir / "bad.toml") << "name = \"panel\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\nspeed = 1\n";

    ProductionPanel panel(QStringLiteral("sim:ATtiny2313"), sim::OpenAnyPort);
    auto* start = panel.findChild<QPushButton*>(QStringLiteral("StartChip"));
    ASSERT_NE(start, nullptr);

    EXPECT_FALSE(panel.OpenJob(QString::fromStdString(dir / "bad.toml")));
    EXPECT_TRUE(panel.SummaryText().contains(QStringLiteral("bad.toml:4: speed: unknown key"))) << panel.SummaryText().toStdString();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(panel.Start());

    ASSERT_TRUE(panel.OpenJob(QString::fromStdString(dir / "job.toml"))) << panel.SummaryText().toStdString();
    EXPECT_TRUE(panel.SummaryText().contains(QStringLiteral("Next serial: 7"))) << panel.SummaryText().toStdString();
    EXPECT_TRUE(start->isEnabled());
    for (int chip = 1; chip <= 2; ++chip) {
        ASSERT_TRUE(panel.Start());
        ASSERT_TRUE(WaitUntilIdle(panel));
        EXPECT_EQ(panel.ResultText(), QStringLiteral("PASS %1  serial %2").arg(chip, 4, 10, QLatin1Char('0')).arg(6 + chip));
    }
    EXPECT_EQ(panel.CountersText(), QStringLiteral("Passed 2   Failed 0"));
    EXPECT_EQ(panel.RecordRows(), 2);
    EXPECT_TRUE(panel.SummaryText().contains(QStringLiteral("Next serial: 9")));
    EXPECT_TRUE(start->isEnabled());
}

}  // namespace
}  // namespace quillon::ui::test
