// Stopping a command from the window: Cancel, Escape and the progress window's close box stop it
// between two packets with the socket unpowered; a cancelled read leaves the views alone; closing
// the main window mid-command asks, cancels and ends the program; a lost gateway is named.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <cstdlib>

#include "SimWindowFixture.h"
#include "support/Sanitizers.h"
#include "ui/EndSignals.h"
#include "ui/HexViewWidget.h"
#include "ui/ProgressForm.h"
#include "ui/ObjectNames.h"

extern char** environ;

namespace quillon::ui::test {
namespace {

// At most this many packets go out after the click: the rest of one address step and its page
// commit, then the power-down. On a gateway line that is far less than 100 ms.
constexpr int kPacketsAfterCancel = 40;

class Cancelling : public SimWindowTest {
protected:
    // Starts a command by its button and waits until its bar has passed `percent`.
    void StartAndWaitFor(const char* button, int percent)
    {
        QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton);
        for (int i = 0; i < 3000 && !PassedPercent(percent); ++i) QTest::qWait(5);
        ASSERT_TRUE(PassedPercent(percent)) << button;
    }
    bool PassedPercent(int percent) const
    {
        ProgressForm* form = window->Progress().Window();
        return form != nullptr && form->Bar()->value() >= percent && window->Runner().Busy();
    }
    std::vector<std::string> Tail(std::size_t n) const
    {
        const auto lines = LogLines();
        return {lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end()};
    }
    bool Unpowered() { return !Chip().InParallelMode() && !Chip().InSerialMode(); }
    // The flash view of Page1 as painted.
    QStringList FlashRows() const
    {
        QStringList rows;
        for (int line = 0; line < window->View(0)->LineCount(); ++line) rows << window->View(0)->RowText(line);
        return rows;
    }
};

TEST_F(Cancelling, CancelMidWriteStopsAtOnceAndLeavesThePartialWriteUnpowered)
{
    StartWith("ATmega8", {}, std::chrono::microseconds(150));
    Find<QSlider>(names::kDelay)->setValue(0);
    // The program to write reaches the view the way a user's would: read from a chip.
    std::vector<std::uint8_t> program(CurrentSession().chip.flashSize);
    for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<std::uint8_t>(i * 5 + 3);
    std::copy(program.begin(), program.end(), Chip().flash.begin());
    Click(names::kReadProgram);

    BoxAnswerer yes(QMessageBox::Yes);
    StartAndWaitFor(names::kWriteProgram, 20);
    ProgressForm* form = window->Progress().Window();
    EXPECT_TRUE(form->Text()->text().endsWith(QLatin1Char('%')) || form->Text()->text().contains(QStringLiteral("left")));
    const int atClick = slowPackets->load();
    QTest::mouseClick(form->CancelButton(), Qt::LeftButton);
    WaitIdle();

    EXPECT_LE(slowPackets->load() - atClick, kPacketsAfterCancel);
    EXPECT_EQ(window->Progress().Window(), nullptr);
    const auto tail = Tail(3);
    ASSERT_EQ(tail.size(), 3u);
    EXPECT_EQ(tail[0], "Cancelled by the user");
    ASSERT_EQ(tail[1].rfind("The flash is partly written: ", 0), 0u) << tail[1];
    EXPECT_EQ(tail[2].rfind("End time: ", 0), 0u);
    const std::size_t written = std::stoul(tail[1].substr(tail[1].find(": ") + 2));
    EXPECT_NE(tail[1].find(" of 8192 bytes"), std::string::npos);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, program.size());
    EXPECT_TRUE(std::equal(program.begin(), program.begin() + static_cast<std::ptrdiff_t>(written), Chip().flash.begin()));
    EXPECT_TRUE(std::all_of(Chip().flash.begin() + static_cast<std::ptrdiff_t>(written) + 64, Chip().flash.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(Unpowered());
    EXPECT_EQ(Status(), "Write Program was cancelled after <time>: " + tail[1]);
    // The port stays open: the next command simply starts again.
    EXPECT_TRUE(CurrentSession().bus.link.IsOpen());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillon"));
}

// Cancel, Escape and the progress window's close box all stop a read, which then changes
// neither the image nor the view.
TEST_F(Cancelling, EveryWayOfCancellingAReadLeavesTheViewUntouched)
{
    enum class Way { Button, Escape, CloseBox };
    for (const Way way : {Way::Button, Way::Escape, Way::CloseBox}) {
        SCOPED_TRACE(static_cast<int>(way));
        StartWith("ATmega8", {}, std::chrono::microseconds(150));
        for (std::size_t i = 0; i < Chip().flash.size(); ++i) Chip().flash[i] = static_cast<std::uint8_t>(i);
        const QStringList viewBefore = FlashRows();
        const std::vector<std::uint8_t> imageBefore(CurrentSession().chip.flash.begin(), CurrentSession().chip.flash.end());

        StartAndWaitFor(names::kReadProgram, 30);
        ProgressForm* form = window->Progress().Window();
        switch (way) {
        case Way::Button: QTest::mouseClick(form->CancelButton(), Qt::LeftButton); break;
        case Way::Escape: QTest::keyClick(form, Qt::Key_Escape); break;
        case Way::CloseBox: form->close(); break;
        }
        WaitIdle();

        EXPECT_EQ(Tail(3)[0], "Cancelled by the user");
        EXPECT_EQ(Tail(3)[1], "The chip is unchanged");
        EXPECT_EQ(FlashRows(), viewBefore);
        EXPECT_TRUE(std::equal(imageBefore.begin(), imageBefore.end(), CurrentSession().chip.flash.begin()));
        EXPECT_TRUE(Unpowered());
        Click(names::kDisconnect);
    }
}

TEST_F(Cancelling, ALostGatewayIsNamedInTheTitleUntilConnectedAgain)
{
    StartWith("ATmega8");
    device->ActiveFaults().hangupAfter = device->PacketsWritten() + 40;
    Click(names::kReadProgram);
    EXPECT_FALSE(CurrentSession().bus.link.IsOpen());
    EXPECT_TRUE(window->Connected());
    EXPECT_EQ(window->windowTitle(), MainWindow::PortLostTitle());
    Click(names::kDisconnect);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillon"));
}

// Destroying the window while the worker runs (a session that ends without a question) stops
// the command and joins the worker instead of waiting on each other.
TEST_F(Cancelling, TearingTheWindowDownMidCommandStopsTheWorker)
{
    StartWith("ATmega8", {}, std::chrono::microseconds(150));
    StartAndWaitFor(names::kReadProgram, 10);
    window.reset();
    SUCCEED();
}

// The child half of the close test: the window closed by the user mid-read, the question
// answered Yes, and the program's loop ends.
TEST_F(Cancelling, ChildClosesTheWindowMidCommand)
{
    if (!qEnvironmentVariableIsSet("QUILLON_CLOSE_CHILD")) GTEST_SKIP() << "run by CloseMidCommandEndsTheProcess";
    StartWith("ATmega8", {}, std::chrono::microseconds(150));
    StartAndWaitFor(names::kReadProgram, 10);
    BoxAnswerer yes(QMessageBox::Yes);
    QApplication::setQuitOnLastWindowClosed(true);
    QElapsedTimer clock;
    QTimer::singleShot(0, window.get(), [this, &clock] {
        clock.start();
        window->close();
    });
    QApplication::exec();
    EXPECT_LT(clock.elapsed(), 2000 * quillon::test::kSanitizerSlowdown);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(yes.seen.size(), 1u);
    // The cancelled read's ending, then the port closed as Exit closes it.
    EXPECT_EQ(Tail(4)[0], "Cancelled by the user");
    EXPECT_EQ(Tail(1)[0], "The COM-port is closed");
}

// A closed terminal (SIGHUP) mid-read ends the window as the end of a session does, without a
// question: the read is cancelled, the socket switched off, the port closed, the window closed.
TEST_F(Cancelling, SighupMidCommandCancelsPowersDownAndCloses)
{
    StartWith("ATmega8", {}, std::chrono::microseconds(150));
    EndSignals endSignals;
    QObject::connect(&endSignals, &EndSignals::arrived, window.get(), [this] { window->EndWithoutAsking(); });
    StartAndWaitFor(names::kReadProgram, 10);
    BoxAnswerer yes(QMessageBox::Yes);
    ::raise(SIGHUP);
    for (int i = 0; i < 2000 && window->isVisible(); ++i) QTest::qWait(5);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(endSignals.Received(), SIGHUP);
    EXPECT_TRUE(yes.seen.empty());
    EXPECT_EQ(Tail(4)[0], "Cancelled by the user");
    EXPECT_EQ(Tail(1)[0], "The COM-port is closed");
    EXPECT_TRUE(Unpowered());
}

TEST(CloseMidCommand, EndsTheProcessWithStatusZero)
{
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string filter = "--gtest_filter=Cancelling.ChildClosesTheWindowMidCommand";
    char* argv[] = {exe, filter.data(), nullptr};
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.emplace_back("QUILLON_CLOSE_CHILD=1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, exe, nullptr, nullptr, argv, envp.data()), 0);
    // Start-up and the read's first tenth take a few seconds; a hang takes for ever.
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 600 * quillon::test::kSanitizerSlowdown && ended == 0; ++i) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended == 0) usleep(50'000);
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the program did not end after its window was closed";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace quillon::ui::test
