// The Edit menu's tools on the hex views: undo and redo of the user's edits, go to an address,
// find bytes, fill with 0xFF, and Compare Program / Compare Data with every difference marked;
// and the shortcuts of the menus and buttons, which a focused hex view never loses a key to.
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QPushButton>
#include <memory>
#include <vector>

#include "operations/Compare.h"
#include "operations/Rescue.h"
#include "ui/CommandRunner.h"
#include "ui/FindDialog.h"
#include "ui/GoToDialog.h"
#include "ui/HexViewWidget.h"
#include "ui/MainWindow.h"
#include "ui/ObjectNames.h"

namespace quillon::ui {

void MainWindow::BuildEditTools(QMenu* edit)
{
    auto add = [this, edit](const char* name, const char* caption, const char* tip, auto handler) {
        QAction* action = edit->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        action->setStatusTip(QString::fromLatin1(tip));
        action->setToolTip(QString::fromLatin1(tip));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    edit->addSeparator();
    add(names::kUndo, "Undo", "Take back the last edit, fill or paste of the view you edited last",
        [this] { ActiveEditView()->Undo(); });
    add(names::kRedo, "Redo", "Do again what Undo took back", [this] { ActiveEditView()->Redo(); });
    edit->addSeparator();
    add(names::kGoTo, "Go to address...", "Put the caret on the byte at an address, in hex or decimal", [this] { OnGoTo(); });
    add(names::kFind, "Find...", "Find bytes, typed in hex or as text", [this] { OnFind(); });
    add(names::kFindNext, "Find next", "Find the same bytes again after the caret", [this] { FindAgain(true); });
    add(names::kFindPrevious, "Find previous", "Find the same bytes again before the caret", [this] { FindAgain(false); });
    add(names::kFillFF, "Fill with 0xFF", "Set every byte of the view to FF, as an erased chip holds (one Undo step)",
        [this] { ActiveEditView()->FillAll(0xFF); });
    edit->addSeparator();
    connectedActions_.push_back(add(names::kCompareProgram, "Compare Program",
                                    "Read the whole flash and mark every byte that differs from the active page's view",
                                    [this] { OnCompare(MemoryKind::Program); }));
    connectedActions_.push_back(add(names::kCompareData, "Compare Data",
                                    "Read the whole EEPROM and mark every byte that differs from the active page's view",
                                    [this] { OnCompare(MemoryKind::Data); }));

    // The Edit tools work on the view the user was in last.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (int i = 0; i < 4; ++i)
            if (now != nullptr && now == View(i)) lastViewFlash_ = i < 2;
    });
}

void MainWindow::AddShortcuts()
{
    struct Shortcut {
        const char* name;
        QKeySequence keys;
    };
    // A view with the focus keeps the keys it edits with, undo and redo among them (see
    // HexViewWidget::event); every other one of these acts wherever the focus is.
    const Shortcut actions[] = {
        {names::kLoadProgram, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {names::kSaveProgram, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {names::kLoadData, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
        {names::kSaveData, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {names::kExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {names::kUndo, QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {names::kRedo, QKeySequence(Qt::CTRL | Qt::Key_Y)},
        {names::kGoTo, QKeySequence(Qt::CTRL | Qt::Key_G)},
        {names::kFind, QKeySequence(Qt::CTRL | Qt::Key_F)},
        {names::kFindNext, QKeySequence(Qt::Key_F3)},
        {names::kFindPrevious, QKeySequence(Qt::SHIFT | Qt::Key_F3)},
        {names::kCompareProgram, QKeySequence(Qt::Key_F8)},
        {names::kCompareData, QKeySequence(Qt::SHIFT | Qt::Key_F8)},
    };
    for (const Shortcut& s : actions)
        if (auto* action = findChild<QAction*>(QString::fromLatin1(s.name))) action->setShortcut(s.keys);
    // The reads and verifies only: a write or an erase is never one key away.
    const Shortcut buttons[] = {
        {names::kReadProgram, QKeySequence(Qt::Key_F5)},
        {names::kReadData, QKeySequence(Qt::SHIFT | Qt::Key_F5)},
        {names::kVerifyProgram, QKeySequence(Qt::Key_F7)},
        {names::kVerifyData, QKeySequence(Qt::SHIFT | Qt::Key_F7)},
    };
    for (const Shortcut& s : buttons)
        if (auto* button = findChild<QPushButton*>(QString::fromLatin1(s.name))) button->setShortcut(s.keys);
}

HexViewWidget* MainWindow::ActiveView(MemoryKind memory) const
{
    const int page = views_.activePage == 1 ? 1 : 0;
    return View(memory == MemoryKind::Program ? page : page + 2);
}

HexViewWidget* MainWindow::ActiveEditView() const
{
    return ActiveView(lastViewFlash_ ? MemoryKind::Program : MemoryKind::Data);
}

void MainWindow::OnRescueChip()
{
    // The question the rescue asks before it writes (and erases) goes to a Yes/No box.
    RunOperation(QStringLiteral("Rescue chip"),
                 [confirm = ConfirmOnGuiThread()](Session& session) { return RescueChip(session, confirm); });
}

void MainWindow::OnCompare(MemoryKind memory)
{
    HexViewWidget* view = ActiveView(memory);
    // The bytes the user sees now, edits included; the command reads the chip beside them.
    auto expected = std::make_shared<std::vector<std::uint8_t>>(view->Document().Bytes().begin(),
                                                                view->Document().Bytes().end());
    auto comparison = std::make_shared<Comparison>();
    RunOperation(memory == MemoryKind::Program ? QStringLiteral("Compare Program") : QStringLiteral("Compare Data"),
                 [memory, expected, comparison](Session& session) {
                     return CompareMemory(session, memory, *expected, *comparison);
                 },
                 [view, comparison](const Result&) {
                     // Only a complete read is set against the view: a partial one would mark
                     // bytes the chip was never asked for.
                     if (!comparison->chip.empty()) view->ShowDifferences(std::move(comparison->chip));
                 });
}

void MainWindow::MarkWritten(MemoryKind memory)
{
    ActiveView(memory)->Document().MarkWritten();
    edited_ &= ~(1u << quillon::ActiveView(views_, memory));
}

void MainWindow::OnGoTo()
{
    HexViewWidget* view = ActiveEditView();
    GoToDialog dialog(view->Document().Size(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    view->GoToByte(dialog.Address());
    view->setFocus(Qt::OtherFocusReason);
}

void MainWindow::OnFind()
{
    if (findDialog_ == nullptr) {
        findDialog_ = new FindDialog(this);
        connect(findDialog_, &FindDialog::findRequested, this, &MainWindow::FindAgain);
    }
    findDialog_->show();
    findDialog_->raise();
    findDialog_->activateWindow();
}

void MainWindow::FindAgain(bool forward)
{
    if (findDialog_ == nullptr) {
        OnFind();
        return;
    }
    const ParsedPattern pattern = findDialog_->Pattern();
    if (pattern.bytes.empty()) {
        findDialog_->ShowOutcome(QString::fromStdString(pattern.error), true);
        OnFind();
        return;
    }
    HexViewWidget* view = ActiveEditView();
    const std::size_t here = view->CaretByte();
    const std::size_t size = view->Document().Size();
    // Next starts one byte on from the caret, previous one byte back, so that a match under the
    // caret is passed over.
    const std::size_t from = forward ? here + 1 : (here == 0 ? size : here - 1);
    const std::optional<std::size_t> found = FindBytes(view->Document().Bytes(), pattern.bytes, from, forward);
    if (!found) {
        findDialog_->ShowOutcome(QStringLiteral("Not found in this view"), true);
        return;
    }
    view->GoToByte(*found);
    findDialog_->ShowOutcome(
        QStringLiteral("Found at 0x") + QString::number(*found, 16).toUpper().rightJustified(4, QLatin1Char('0')), false);
}

}  // namespace quillon::ui
