// A main window on a fresh context for each test, and helpers that drive it by real widget
// events: clicks, key presses, menu items, and answers to the message boxes it raises.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "ui/CommandRunner.h"
#include "ui/MainWindow.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {

// Answers every message box that opens while it lives, and keeps what they said.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer) : answer_(answer)
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    void SetAnswer(QMessageBox::StandardButton answer) { answer_ = answer; }
    // These answers go to the next boxes, in order; the rest get the usual answer.
    void AnswerFirst(std::vector<QMessageBox::StandardButton> answers) { first_ = std::move(answers); }

    struct Seen {
        QString caption;
        QString text;
    };
    std::vector<Seen> seen;

private:
    void Poll()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible()) continue;
            const QMessageBox::StandardButton answer = seen.size() < first_.size() ? first_[seen.size()] : answer_;
            QAbstractButton* button = box->button(answer);
            if (!button) button = box->buttons().value(0);
            if (!button) continue;
            seen.push_back({box->windowTitle(), box->text()});
            QTest::mouseClick(button, Qt::LeftButton);
        }
    }

    QMessageBox::StandardButton answer_;
    std::vector<QMessageBox::StandardButton> first_;
    QTimer timer_;
};

// The opener of the window under test; the simulated gateway when the tests are built with it.
PortOpener TestPortOpener();

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<MainWindow>(std::make_unique<Session>(TestPortOpener()));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        WaitIdle();
        window.reset();
    }

    Session& CurrentSession() { return window->CurrentSession(); }
    ViewSet& Views() { return window->Views(); }
    // How the last command ended, as the status bar says it, its duration written as <time>.
    std::string Status() const
    {
        const auto* label = window->findChild<QLabel*>(QString::fromLatin1(names::kStatusResult));
        if (label == nullptr) return {};
        static const QRegularExpression duration(QStringLiteral("\\b(in|after) [0-9]+\\.[0-9] s\\b"));
        return QString(label->text()).replace(duration, QStringLiteral("\\1 <time>")).toStdString();
    }

    template <class T = QWidget>
    T* Find(const char* name)
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void Click(const char* buttonName)
    {
        auto* button = Find<QAbstractButton>(buttonName);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        WaitIdle();
    }

    void Trigger(const char* actionName)
    {
        auto* action = Find<QAction>(actionName);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled()) << actionName;
        action->trigger();
        WaitIdle();
    }

    // Lets the window process events until no command runs (at most about a minute).
    void WaitIdle()
    {
        if (!window) return;
        for (int i = 0; i < 6000 && window->Runner().Busy(); ++i) QTest::qWait(10);
        QCoreApplication::processEvents();
        EXPECT_FALSE(window->Runner().Busy());
    }

    std::vector<std::string> LogLines() const { return window->CurrentSession().bus.log.Lines(); }
    bool Logged(const std::string& line) const
    {
        for (const auto& l : window->CurrentSession().bus.log.Lines())
            if (l == line) return true;
        return false;
    }

    void SelectFromMenu(const char* chip) { Trigger(chip); }

    std::unique_ptr<MainWindow> window;
};

}  // namespace quillon::ui::test
