// The main window's commands through the simulated gateway, driven by clicks and key presses:
// the connected and disconnected states, Autosearch, reading, typing, writing with the question
// answered both ways, verifying, and a gateway that fails in the middle of a command.
#include <gtest/gtest.h>

#include <algorithm>

#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>

#include "chips/MemoryWalk.h"
#include "ui/HexViewWidget.h"
#include "ui/ProgressForm.h"
#include "SimWindowFixture.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

struct Control {
    const char* name;
    bool isAction;
    bool whenConnected;
    bool whenDisconnected;
};

// The enabling of the two states; every control not named follows neither.
const Control kControls[] = {
    {names::kConnect, false, false, true},  {names::kDisconnect, false, true, false}, {names::kAutosearch, false, true, false},
    {names::kReadProgram, false, true, false},  {names::kWriteProgram, false, true, false}, {names::kVerifyProgram, false, true, false},
    {names::kReadCalibration, false, true, false},  {names::kReadData, false, true, false}, {names::kWriteData, false, true, false},
    {names::kVerifyData, false, true, false}, {names::kChipErase, false, true, false},
    {names::kLockFuses, true, true, false},
    {names::kPortBox, false, true, true}, {names::kDelay, false, true, true},
    {names::kLoadProgram, true, true, true}, {names::kSaveProgram, true, true, true},
    {names::kLoadData, true, true, true}, {names::kSaveData, true, true, true},
    {names::kSaveLog, true, true, true}, {names::kProduction, true, true, true}, {names::kExit, true, true, true},
    {names::kAbout, true, true, true},     {names::kHowToConnect, true, true, true},
    {"ATmega8", true, true, true},    {"AT90C8534", true, false, false}, {"ATtiny12", true, true, true},
};

class Commands : public SimWindowTest {
protected:
    void ExpectState(bool connected)
    {
        EXPECT_EQ(window->Connected(), connected);
        for (const auto& c : kControls) {
            const bool expected = connected ? c.whenConnected : c.whenDisconnected;
            const bool enabled = c.isAction ? Find<QAction>(c.name)->isEnabled() : Find<QWidget>(c.name)->isEnabled();
            EXPECT_EQ(enabled, expected) << c.name << (connected ? " connected" : " disconnected");
        }
    }

    void FillFlash(std::uint8_t salt)
    {
        for (std::size_t i = 0; i < Chip().flash.size(); ++i) Chip().flash[i] = static_cast<std::uint8_t>(salt + i * 7);
    }
};

TEST_F(Commands, ConnectDisconnectAndPortChangeSwitchTheControls)
{
    Socket("ATmega8");
    ExpectState(false);
    ConnectTo("COM77");  // not a simulated port: nothing opens
    EXPECT_TRUE(Logged("Error. The COM-port is not available"));
    ExpectState(false);
    const std::size_t logged = LogLines().size();
    ConnectTo(std::string(150, 'x').c_str());  // longer than any device path may be
    EXPECT_GT(LogLines().size(), logged);
    ExpectState(false);

    ConnectTo("sim:ATmega8");
    EXPECT_TRUE(Logged("The COM-port is open: sim:ATmega8"));
    ExpectState(true);
    Click(names::kDisconnect);
    EXPECT_EQ(LogLines().back(), "The COM-port is closed");
    ExpectState(false);

    ConnectTo("sim:ATmega8");
    const std::size_t before = LogLines().size();
    QTest::keyClick(Find<QComboBox>(names::kPortBox)->lineEdit(), Qt::Key_X);  // the first typed character
    ASSERT_EQ(LogLines().size(), before + 1);
    EXPECT_EQ(LogLines().back(), "The COM-port is closed");
    EXPECT_FALSE(CurrentSession().bus.link.IsOpen());
    ExpectState(false);
}

TEST_F(Commands, AutosearchSelectsTheChipInTheSocket)
{
    StartWith("AT90S4433");
    EXPECT_TRUE(Logged("Selected chip is  AT90S4433"));
    EXPECT_EQ(Find<QLineEdit>(names::kIdBox)->text(), QStringLiteral("1E 92 03"));
    EXPECT_EQ(window->View(0)->LineCount(), 4096 / 16);
    EXPECT_EQ(window->View(2)->LineCount(), 256 / 16);
}

TEST_F(Commands, AWrongChipAnsweredNoIsNotWrittenAndTheStatusSaysWhichChipIsThere)
{
    StartWith("ATmega8");
    Trigger("ATmega16");
    const std::uint8_t first = Chip().flash[0];
    BoxAnswerer boxes(QMessageBox::No);
    boxes.AnswerFirst({QMessageBox::Yes});  // the erase warning; then No to the wrong chip
    Click(names::kWriteProgram);
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_TRUE(boxes.seen[1].text.contains(QStringLiteral("ATmega8"))) << boxes.seen[1].text.toStdString();
    EXPECT_TRUE(boxes.seen[1].text.contains(QStringLiteral("ATmega16"))) << boxes.seen[1].text.toStdString();
    EXPECT_EQ(Chip().flash[0], first);
    EXPECT_TRUE(Logged("Nothing was changed on the chip."));
    EXPECT_EQ(Status().rfind("Write Program was not run: The chip in the socket is 1E 93 07 (ATmega8), not the selected ATmega16", 0), 0u)
        << Status();
}

TEST_F(Commands, ReadFillsTheActivePageTypingAndWritingReachTheChip)
{
    StartWith("ATmega8");
    auto* delays = Find<QSlider>(names::kDelay);
    EXPECT_EQ(CurrentSession().bus.delay, 1);
    QTest::keyClick(delays, Qt::Key_End);
    EXPECT_EQ(CurrentSession().bus.delay, 5);
    QTest::keyClick(delays, Qt::Key_Home);
    EXPECT_EQ(CurrentSession().bus.delay, 0);
    FillFlash(0x10);
    QSignalSpy progressShown(&window->Progress(), &UiProgress::shown);

    Click(names::kReadProgram);  // Read Program on Page1
    EXPECT_EQ(LogLines().back().rfind("End time: ", 0), 0u);
    EXPECT_TRUE(Logged("       Finished"));
    EXPECT_GE(progressShown.count(), 1);
    EXPECT_EQ(window->Progress().Window(), nullptr);  // freed on the way out
    EXPECT_EQ(Status(), "Read Program succeeded in <time>");
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: 10 17 1E 25")));
    EXPECT_TRUE(window->View(1)->RowText(0).startsWith(QStringLiteral("00000000: FF FF")));  // Page2 untouched

    // Type AB over byte 0, then write: No first (nothing happens at all), then Yes.
    HexViewWidget* view = window->View(0);
    view->setFocus();
    view->SetCaret(10);
    QTest::keyClick(view, Qt::Key_A);
    QTest::keyClick(view, Qt::Key_B);
    {
        BoxAnswerer boxes(QMessageBox::No);
        const std::size_t before = LogLines().size();
        const int shownBefore = progressShown.count();
        Click(names::kWriteProgram);
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Warning"));
        EXPECT_EQ(boxes.seen[0].text,
                  QStringLiteral("All previous chip data will be lost (Flash, EEPROM, Lock Bits). Are you sure?"));
        EXPECT_EQ(LogLines().size(), before);
        EXPECT_EQ(progressShown.count(), shownBefore);
        EXPECT_EQ(Chip().flash[0], 0x10);
        EXPECT_EQ(Status(), "Write Program was not run: you answered No");
    }
    {
        BoxAnswerer boxes(QMessageBox::Yes);
        Click(names::kWriteProgram);
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_TRUE(Logged("Trying to write the program"));
        EXPECT_EQ(Chip().flash[0], 0xAB);
        EXPECT_EQ(Chip().flash[1], 0x17);
    }
    Click(names::kVerifyProgram);  // Verify Program against the edited view
    EXPECT_TRUE(Logged("       Finished. No differences found."));

    // Page2's view still shows FF: verifying with Page2 active finds the chip differs at 0.
    QTest::mouseClick(Find<QTabWidget>(names::kPages)->tabBar(), Qt::LeftButton, {},
                      Find<QTabWidget>(names::kPages)->tabBar()->tabRect(1).center());
    EXPECT_EQ(Views().activePage, 1);
    Click(names::kVerifyProgram);
    EXPECT_TRUE(Logged("       Finished with fail. Address: 0x0000"));
    EXPECT_EQ(Status(), "Verify Program found differences after <time>: Finished with fail. Address: 0x0000");
}

// A verify that finds a difference shows both bytes beside the ending in the status bar; the
// next command clears them.
TEST_F(Commands, AVerifyDifferenceShowsTheChipsByteAndTheViewsByte)
{
    StartWith("ATmega8");
    Find<QSlider>("TrackBar1")->setValue(0);
    FillFlash(0x21);
    auto* difference = Find<QLabel>("StatusDifference");
    Click("Button6");  // Verify Program: the view holds FF, the chip 0x21 from address 0
    EXPECT_EQ(Status(), "Verify Program found differences after <time>: Finished with fail. Address: 0x0000");
    EXPECT_EQ(difference->text().toStdString(), "0x0000: the chip holds 0x21, the file 0xFF");
    Click("Button4");  // Read Program
    EXPECT_EQ(Status(), "Read Program succeeded in <time>");
    EXPECT_TRUE(difference->text().isEmpty());
}

// The pages are the window's: a read fills the active page only, and a verify compares the
// chip with the page that is active, taking its bytes into the image first.
TEST_F(Commands, AReadOnPage2LeavesPage1AndAVerifyOnPage1ComparesWithPage1)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    FillFlash(0x21);
    auto* tabs = Find<QTabWidget>(names::kPages);
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    Click(names::kReadProgram);
    EXPECT_TRUE(window->View(1)->RowText(0).startsWith(QStringLiteral("00000000: 21 28 2F")));
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: FF FF")));

    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(0).center());
    Click(names::kVerifyProgram);
    EXPECT_TRUE(Logged("       Finished with fail. Address: 0x0000"));
    EXPECT_EQ(CurrentSession().chip.flash[0], 0xFF) << "the image holds what Page1 shows";
    EXPECT_TRUE(window->View(1)->RowText(0).startsWith(QStringLiteral("00000000: 21 28 2F")));
}

// As on the command line, Write Program sends only the pages that hold data and then verifies
// them; with both switched off in the Edit menu it makes the full pass, unchecked, that stations
// qualified.
TEST_F(Commands, WriteProgramSendsOnlyItsPagesAndVerifiesThem)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    auto* skip = window->findChild<QAction*>(QString::fromLatin1(names::kSkipBlankPages));
    auto* verify = window->findChild<QAction*>(QString::fromLatin1(names::kVerifyAfterWrite));
    ASSERT_NE(skip, nullptr);
    ASSERT_NE(verify, nullptr);
    EXPECT_TRUE(skip->isChecked()) << "on by default";
    EXPECT_TRUE(verify->isChecked()) << "on by default";

    HexViewWidget* view = window->View(0);  // a small program: bytes in pages 0 and 2
    view->setFocus();
    view->SetCaret(10);
    QTest::keyClicks(view, QStringLiteral("0c94"));
    view->GoToByte(0x80);
    QTest::keyClicks(view, QStringLiteral("ab"));
    auto& committed = Chip().committedFlashPages;
    const std::size_t pages = Chip().flash.size() / 64;
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        skip->setChecked(on);
        verify->setChecked(on);
        committed.clear();
        const std::size_t before = LogLines().size();
        BoxAnswerer boxes(QMessageBox::Yes);
        Click(names::kWriteProgram);
        EXPECT_EQ(Chip().flash[0], 0x0C);
        EXPECT_EQ(Chip().flash[0x80], 0xAB);
        // Skipping: the two pages with data and the last, which ends the write command.
        EXPECT_EQ(committed.size(), on ? 3u : pages);
        const std::vector<std::string> all = LogLines();
        const std::vector<std::string> lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
        auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
        EXPECT_EQ(has("Verifying what was written: 2 flash pages written, the blank ones left to the erase"), on);
        EXPECT_EQ(has("Compared 128 bytes, the ones of the pages written."), on);
        EXPECT_EQ(has("       Finished. No differences found."), on);
        EXPECT_EQ(Status(), "Write Program succeeded in <time>");
    }

}

TEST_F(Commands, AnswersInFlightReadAndVerifyAsOneAtATime)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    auto* one = window->findChild<QAction*>(QString::fromLatin1(names::AnswersInFlight(1)));
    auto* eight = window->findChild<QAction*>(QString::fromLatin1(names::AnswersInFlight(8)));
    ASSERT_NE(one, nullptr);
    ASSERT_NE(eight, nullptr);
    auto* automatic = window->findChild<QAction*>(QString::fromLatin1(names::AnswersInFlight(0)));
    ASSERT_NE(automatic, nullptr);
    EXPECT_TRUE(automatic->isChecked()) << "reads in flight within the gateway's input are the default";
    FillFlash(0x10);
    Click(names::kReadProgram);
    EXPECT_EQ(CurrentSession().answersInFlight, kAutoAnswersInFlight);
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: 10 17 1E 25")));

    eight->trigger();
    EXPECT_FALSE(one->isChecked());
    Click(names::kReadProgram);  // Read Program
    EXPECT_EQ(CurrentSession().answersInFlight, 8);
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: 10 17 1E 25")));
    Click(names::kVerifyProgram);  // Verify Program
    EXPECT_TRUE(Logged("       Finished. No differences found."));
    EXPECT_TRUE(CurrentSession().bus.link.IsOpen());

    one->trigger();
    Click(names::kVerifyProgram);
    EXPECT_EQ(CurrentSession().answersInFlight, 1);
}

TEST_F(Commands, AGatewayFailureClosesThePortButLeavesTheControlsConnected)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    FillFlash(0x10);
    device->ActiveFaults().hangupAfter = device->PacketsWritten() + 40;
    Click(names::kReadProgram);
    EXPECT_TRUE(Logged("       Finished with fail."));
    EXPECT_FALSE(CurrentSession().bus.link.IsOpen());
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: FF FF")))
        << "a failed read leaves the view as it was";
    EXPECT_TRUE(Status().starts_with("Read Program failed after <time>: Error executing commands")) << Status();
    ExpectState(true);
    Click(names::kDisconnect);  // Disconnect and Connect open it again, once the gateway is back
    Socket("ATmega8");
    Click(names::kConnect);
    EXPECT_TRUE(CurrentSession().bus.link.IsOpen());
}

TEST_F(Commands, TheWindowKeepsPaintingAndRefusesInputWhileACommandRuns)
{
    // Every packet takes a while, so that the read lasts long enough to look at it.
    StartWith("ATmega8", {}, std::chrono::microseconds(100));
    const std::size_t before = LogLines().size();
    QTest::mouseClick(Find<QPushButton>(names::kReadProgram), Qt::LeftButton);
    ASSERT_TRUE(window->Runner().Busy());
    QTest::qWait(300);
    EXPECT_TRUE(window->Runner().Busy());
    // The lines logged so far are on screen, and the bar has moved.
    auto* pane = Find<QPlainTextEdit>(names::kLogPane);
    EXPECT_GT(pane->document()->blockCount(), static_cast<int>(before));
    ASSERT_NE(window->Progress().Window(), nullptr);
    EXPECT_GT(window->Progress().Window()->Bar()->value(), 0);
    // A second command and a page switch are refused while it runs.
    QTest::mouseClick(Find<QPushButton>(names::kReadData), Qt::LeftButton);
    auto* tabs = Find<QTabWidget>(names::kPages);
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    EXPECT_EQ(tabs->currentIndex(), 0);
    WaitIdle();
    EXPECT_FALSE(Logged("Trying to read the EEPROM"));
}

// Both on from the start: after a command and after Disconnect the socket has no supply; off,
// the socket keeps it between commands, for fixtures that keep the chip running.
TEST_F(Commands, TheSocketIsSwitchedOffAfterEveryCommandUnlessAsked)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    auto* powerDown = window->findChild<QAction*>(QString::fromLatin1(names::kPowerDown));
    auto* answers = window->findChild<QAction*>(QString::fromLatin1(names::kCheckAnswers));
    ASSERT_NE(powerDown, nullptr);
    ASSERT_NE(answers, nullptr);
    EXPECT_TRUE(powerDown->isChecked());
    EXPECT_TRUE(answers->isChecked());
    EXPECT_TRUE(CurrentSession().bus.confirmAnswers);
    auto powered = [&] {
        const sim::SocketLines lines = device->Model().Lines();
        return lines.vcc || lines.vpp;
    };
    // Not blank: a read of only 0xFF would go on to look at the lock bits, whose read ends
    // programming mode, supply and all.
    Chip().flash[0] = 0x12;
    Click(names::kReadProgram);  // Read Program
    EXPECT_TRUE(Logged("       Finished"));
    EXPECT_FALSE(powered());
    powerDown->trigger();
    Click(names::kReadProgram);
    EXPECT_TRUE(powered()) << "left powered, as asked";
    powerDown->trigger();
    Click(names::kDisconnect);  // Disconnect
    EXPECT_FALSE(powered());
    answers->trigger();
    EXPECT_FALSE(CurrentSession().bus.confirmAnswers);
}

}  // namespace
}  // namespace quillon::ui::test
