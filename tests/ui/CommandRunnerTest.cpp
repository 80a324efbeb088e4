// The worker thread behind the window: what a command hands back to the GUI thread (its
// questions, its ending) and what the runner still touches once it has been shut down.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/Cancel.h"
#include "ui/CommandRunner.h"
#include "WindowFixture.h"

namespace quillon::ui::test {
namespace {

// Questions are answered on the GUI thread and their answers reach the worker; what the work
// wrote is there for `done`, which runs on the GUI thread once the worker has ended.
TEST(CommandRunnerHandoff, QuestionsAndTheEndingReachTheGuiThread)
{
    CommandRunner runner;
    std::vector<int> written;
    std::vector<bool> answers;
    std::vector<bool> askedOnGui;
    bool doneSawEverything = false;
    ASSERT_TRUE(runner.Run(
        [&] {
            for (int i = 0; i < 3; ++i) {
                written.push_back(i);
                answers.push_back(runner.AskOnGuiThread([&, i] {
                    askedOnGui.push_back(QThread::currentThread() == qApp->thread());
                    return i != 1;
                }));
            }
        },
        [&] { doneSawEverything = written == std::vector<int>{0, 1, 2} && answers.size() == 3; }));
    for (int i = 0; i < 500 && runner.Busy(); ++i) QTest::qWait(10);
    ASSERT_FALSE(runner.Busy());
    EXPECT_EQ(answers, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(askedOnGui, (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(doneSawEverything);
}

// Shut down mid-command, the runner cancels and joins the worker; from then on the cancel
// request is the owner's to free, and the runner's own teardown must not touch it again.
TEST(CommandRunnerHandoff, ShutdownLetsTheOwnerFreeTheCancelRequest)
{
    auto cancel = std::make_unique<CancelRequest>();
    auto runner = std::make_unique<CommandRunner>();
    runner->SetCancelRequest(cancel.get());
    std::atomic<bool> started{false};
    CancelRequest* request = cancel.get();
    ASSERT_TRUE(runner->Run([&started, request] {
        started = true;
        while (!request->Requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }));
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    runner->Shutdown();
    EXPECT_TRUE(cancel->Requested());
    // The owner reuses the request (or frees it): the runner's destructor leaves it alone.
    cancel->Clear();
    runner.reset();
    EXPECT_FALSE(cancel->Requested()) << "the runner touched the cancel request after Shutdown";
}

// A question still waiting when the runner shuts down is answered No, and the worker ends.
TEST(CommandRunnerHandoff, AQuestionOpenAtShutdownIsAnsweredNo)
{
    CommandRunner runner;
    std::atomic<bool> asking{false};
    std::atomic<int> answer{-1};
    bool asked = false;
    ASSERT_TRUE(runner.Run([&] {
        asking = true;
        answer = runner.AskOnGuiThread([&] { return asked = true; }) ? 1 : 0;
    }));
    while (!asking) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    runner.Shutdown();  // no event loop has run: the question was never delivered
    EXPECT_EQ(answer.load(), 0);
    QTest::qWait(20);
    EXPECT_FALSE(asked) << "a question posted before the shutdown was still asked";
}

// The typed hand-off: the work gets the session on the worker thread and its result reaches
// `done`; a work that throws ends as a failure there (after the error box), never as a success.
TEST(CommandRunnerHandoff, TheWorksResultOrItsExceptionReachesDone)
{
    CommandRunner runner;
    Session session;
    BoxAnswerer boxes(QMessageBox::Ok);
    for (const bool throws : {false, true}) {
        SCOPED_TRACE(throws);
        std::atomic<bool> onWorker{false};
        std::optional<Result> ended;
        ASSERT_TRUE(runner.Run(
            session,
            [&onWorker, throws](Session& given) {
                onWorker = QThread::currentThread() != qApp->thread();
                if (throws) throw std::runtime_error("out of memory");
                given.chip.name = "handed";
                return Result::Failed(FailureKind::Chip, "stayed busy");
            },
            [&ended](const Result& result) { ended = result; }));
        for (int i = 0; i < 500 && runner.Busy(); ++i) QTest::qWait(10);
        ASSERT_FALSE(runner.Busy());
        EXPECT_TRUE(onWorker);
        ASSERT_TRUE(ended.has_value());
        EXPECT_EQ(ended->ending, Ending::Failed);
        EXPECT_EQ(ended->failure, throws ? FailureKind::None : FailureKind::Chip);
        EXPECT_EQ(ended->Words(), throws ? "" : "stayed busy");
    }
    EXPECT_EQ(session.chip.name, "handed");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("out of memory"));
}

}  // namespace
}  // namespace quillon::ui::test
