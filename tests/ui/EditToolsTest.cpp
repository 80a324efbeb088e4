// The Edit menu's tools on the views, driven by real events: go to an address, find forward and
// backward, undo and redo of typed bytes, changed and differing bytes marked, Compare Program
// against the simulated chip, and shortcuts that never take a key from a focused view.
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QRadioButton>
#include <QToolTip>
#include <algorithm>

#include "SimWindowFixture.h"
#include "images/HexRows.h"
#include "ui/HexViewWidget.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

// Runs `answer` on the dialog named `name` as soon as it shows, from inside its event loop.
void WhenShown(const char* name, std::function<void(QWidget*)> answer)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, name, answer] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() != QLatin1String(name) || !widget->isVisible()) continue;
            timer->stop();
            timer->deleteLater();
            answer(widget);
            return;
        }
    });
    timer->start();
}

void Type(QWidget* dialog, const char* field, const char* text)
{
    auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(field));
    ASSERT_NE(edit, nullptr) << field;
    edit->clear();
    QTest::keyClicks(edit, QString::fromLatin1(text));
}

class EditTools : public SimWindowTest {};

TEST_F(EditTools, GoToPutsTheCaretOnThatByteWithItsRowInSightAndRefusesAnAddressPastTheEnd)
{
    SelectFromMenu("ATmega2560");
    HexViewWidget* view = window->View(0);
    QString refusal;
    WhenShown("GoToForm", [&](QWidget* dialog) {
        Type(dialog, "GoToAddress", "0x40000");
        QTest::keyClick(dialog->findChild<QLineEdit*>(QStringLiteral("GoToAddress")), Qt::Key_Return);
        refusal = dialog->findChild<QLabel*>(QStringLiteral("GoToError"))->text();
        EXPECT_TRUE(dialog->isVisible()) << "a wrong address keeps the dialog open";
        Type(dialog, "GoToAddress", "3F000h");
        QTest::keyClick(dialog->findChild<QLineEdit*>(QStringLiteral("GoToAddress")), Qt::Key_Return);
    });
    Trigger(names::kGoTo);
    EXPECT_EQ(refusal, QStringLiteral("\"0x40000\" is past the end of the memory, which ends at 0x3FFFF"));
    EXPECT_EQ(view->CaretByte(), 0x3F000u);
    EXPECT_EQ(view->Caret(), HexPosition(0x3F000));
    const int row = 0x3F000 / 16;
    EXPECT_LE(view->FirstVisibleLine(), row);
    EXPECT_GT(view->FirstVisibleLine() + view->viewport()->height() / view->fontMetrics().height(), row);
    EXPECT_TRUE(view->RowText(row).startsWith(QStringLiteral("0003F000:")));
}

TEST_F(EditTools, FindGoesForwardAndBackwardAroundTheEndInHexAndText)
{
    SelectFromMenu("ATmega8");
    HexViewWidget* view = window->View(0);
    const std::vector<ByteEdit> planted = {{0x20, 0xDE, 0}, {0x21, 0xAD, 0}, {0x100, 0xDE, 0}, {0x101, 0xAD, 0},
                                           {0x300, 'H', 0}, {0x301, 'i', 0}};
    view->Document().Apply(planted);
    view->setFocus();
    view->GoToByte(0);
    Trigger(names::kFind);
    auto* dialog = window->findChild<QDialog*>(QStringLiteral("FindForm"));
    ASSERT_NE(dialog, nullptr);
    Type(dialog, "FindText", "de ad");
    auto next = [&] { QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("FindNextButton")), Qt::LeftButton); };
    auto previous = [&] {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("FindPreviousButton")), Qt::LeftButton);
    };
    next();
    EXPECT_EQ(view->CaretByte(), 0x20u);
    next();
    EXPECT_EQ(view->CaretByte(), 0x100u);
    next();
    EXPECT_EQ(view->CaretByte(), 0x20u) << "on from the start after the last match";
    previous();
    EXPECT_EQ(view->CaretByte(), 0x100u) << "back from the end before the first match";
    Trigger(names::kFindPrevious);
    EXPECT_EQ(view->CaretByte(), 0x20u);

    dialog->findChild<QRadioButton*>(QStringLiteral("FindAsText"))->setChecked(true);
    Type(dialog, "FindText", "Hi");
    next();
    EXPECT_EQ(view->CaretByte(), 0x300u);
    Type(dialog, "FindText", "Hello");
    next();
    EXPECT_EQ(view->CaretByte(), 0x300u) << "nothing found leaves the caret";
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("FindOutcome"))->text(), QStringLiteral("Not found in this view"));
    dialog->findChild<QRadioButton*>(QStringLiteral("FindHex"))->setChecked(true);
    Type(dialog, "FindText", "zz");
    next();
    EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("FindOutcome"))->text().contains(QStringLiteral("not a hex digit")));
}

TEST_F(EditTools, UndoAndRedoOfTypedBytesRestoreBytesMarksAndCaret)
{
    SelectFromMenu("ATmega8");
    HexViewWidget* view = window->View(0);
    const MemoryDocument& document = view->Document();
    view->setFocus();
    view->SetCaret(10);
    for (Qt::Key key : {Qt::Key_1, Qt::Key_2, Qt::Key_4}) QTest::keyClick(view, key);
    ASSERT_EQ(document.At(0), 0x12);
    ASSERT_EQ(document.At(1), 0x4F);
    EXPECT_EQ(document.MarksAt(0), kChangedByUser);

    Trigger(names::kUndo);  // the 4
    EXPECT_EQ(document.At(1), 0xFF);
    EXPECT_EQ(document.MarksAt(1), 0);
    EXPECT_EQ(view->Caret(), 13u);
    Trigger(names::kUndo);  // the 2
    Trigger(names::kUndo);
    EXPECT_EQ(document.At(0), 0xFF);
    EXPECT_EQ(view->Caret(), 10u);
    EXPECT_FALSE(document.CanUndo());

    Trigger(names::kRedo);
    EXPECT_EQ(document.At(0), 0x1F);
    EXPECT_EQ(view->Caret(), 11u);
    Trigger(names::kFillFF);
    Trigger(names::kUndo);
    EXPECT_EQ(document.At(0), 0x1F) << "the fill is one step";
}

TEST_F(EditTools, CompareMarksEveryDifferingByteAndShowsTheChipsValueOnHover)
{
    StartWith("ATmega8");
    for (std::size_t i = 0; i < Chip().flash.size(); ++i) Chip().flash[i] = static_cast<std::uint8_t>(i % 251);
    Click(names::kReadProgram);
    HexViewWidget* view = window->View(0);
    std::vector<ByteEdit> edits = {{0x0000, 0xAA, 0}, {0x1FFE, 0x00, 0}, {0x1FFF, 0x00, 0}};
    for (std::size_t a = 0x400; a < 0x410; ++a) edits.push_back({a, 0x55, 0});
    view->Document().Edit(edits, 0, 0);
    const std::size_t before = LogLines().size();

    Trigger(names::kCompareProgram);

    const std::vector<std::string> lines = LogLines();
    const std::vector<std::string> tail(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end());
    ASSERT_GE(tail.size(), 5u);
    EXPECT_EQ(tail.front(), "Trying to compare the program");
    const std::vector<std::string> ranges(tail.end() - 5, tail.end() - 1);
    EXPECT_EQ(ranges, (std::vector<std::string>{"       Finished. 19 bytes differ in 3 ranges:", "  0x0000 (1 byte)",
                                                "  0x0400-0x040F (16 bytes)", "  0x1FFE-0x1FFF (2 bytes)"}));
    std::size_t marked = 0;
    for (std::size_t a = 0; a < view->Document().Size(); ++a)
        marked += (view->Document().MarksAt(a) & kDiffersFromChip) ? 1 : 0;
    EXPECT_EQ(marked, 19u);
    EXPECT_EQ(view->Document().At(0), 0xAA) << "the view keeps its own bytes";
    const QString status = Find<QLabel>(names::kStatusResult)->text();
    EXPECT_TRUE(status.startsWith(QStringLiteral("Compare Program found differences after ")) &&
                status.endsWith(QStringLiteral(": Finished. 19 bytes differ in 3 ranges")))
        << status.toStdString();

    view->verticalScrollBar()->setValue(0);
    const QPoint onByte0(3 + 11 * view->fontMetrics().horizontalAdvance(QLatin1Char('0')), view->fontMetrics().height() / 2);
    QHelpEvent hover(QEvent::ToolTip, view->viewport()->mapTo(view, onByte0), view->viewport()->mapToGlobal(onByte0));
    QApplication::sendEvent(view, &hover);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("0x0000: the chip holds 0x00, the view 0xAA"));

    // Typing over a differing byte takes its difference mark: the next compare decides again.
    view->setFocus();
    view->SetCaret(10);
    QTest::keyClick(view, Qt::Key_0);
    EXPECT_EQ(view->Document().MarksAt(0), kChangedByUser);
}

TEST_F(EditTools, ChangedBytesStayMarkedUntilAWriteOfThatMemory)
{
    StartWith("ATmega8");
    HexViewWidget* flash = window->View(0);
    HexViewWidget* eeprom = window->View(2);
    flash->setFocus();
    flash->SetCaret(10);
    QTest::keyClicks(flash, QStringLiteral("AB"));
    eeprom->setFocus();
    eeprom->SetCaret(10);
    QTest::keyClicks(eeprom, QStringLiteral("CD"));
    ASSERT_EQ(flash->Document().MarksAt(0), kChangedByUser);

    BoxAnswerer yes(QMessageBox::Yes);
    Click(names::kWriteProgram);
    EXPECT_EQ(Chip().flash[0], 0xAB);
    EXPECT_EQ(flash->Document().MarksAt(0), 0);
    EXPECT_EQ(eeprom->Document().MarksAt(0), kChangedByUser) << "the EEPROM was not written";
    Click(names::kReadData);
    EXPECT_EQ(eeprom->Document().MarksAt(0), 0) << "a read replaces the view's bytes";
}

TEST_F(EditTools, AShortcutNeverTakesAKeyFromAFocusedViewButActsElsewhere)
{
    SelectFromMenu("ATmega8");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    int dialogs = 0;
    window->SetFileChooser([&](FileDialogKind) {
        ++dialogs;
        return std::optional<ChosenFile>();
    });
    HexViewWidget* view = window->View(0);
    view->setFocus();
    view->SetCaret(64);
    QTest::keyClick(view, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 1) << "a chord is no typing: it reaches the shortcut";
    EXPECT_EQ(view->RowText(0)[64], QLatin1Char('.')) << "nothing was typed";
    EXPECT_EQ(view->Caret(), 64u);
    QTest::keyClick(view, Qt::Key_O);
    EXPECT_EQ(view->RowText(0)[64], QLatin1Char('o')) << "a plain key is typed";
    EXPECT_EQ(dialogs, 1);

    auto* log = window->findChild<QPlainTextEdit*>();
    ASSERT_NE(log, nullptr);
    BoxAnswerer boxes(QMessageBox::Yes);  // to losing the typed o
    log->setFocus();
    QTest::keyClick(log, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 2);
    auto* load = Find<QAction>(names::kLoadProgram);
    EXPECT_EQ(load->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O)) << "and the menu shows it";
}

}  // namespace
}  // namespace quillon::ui::test
