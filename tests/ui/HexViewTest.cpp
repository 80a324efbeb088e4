// Typing into a hex view through real key events: the nibble entry, the space, Backspace and
// Delete, the wraps at the first and last lines, and the keypad's codes.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QApplication>
#include <string>
#include <vector>

#include "images/HexRows.h"
#include "ui/HexViewWidget.h"
#include "WindowFixture.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

constexpr std::size_t kLine = 82;

struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

// Keys pressed from a caret, and the bytes they leave (the rest stay FF) and the caret.
struct TypingCase {
    const char* what;
    std::size_t caret;  // SIZE_MAX - n: the last line's column n
    QString typed;      // typed first, as characters
    std::vector<Key> keys;  // then pressed
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
    std::size_t expectedCaret;
};

constexpr std::size_t kLastLine = 511;  // the ATmega8 shows 8192 bytes: 512 lines
constexpr std::size_t Last(std::size_t col) { return kLastLine * kLine + col; }

class HexViewTyping : public WindowTest {};

TEST_F(HexViewTyping, KeysGiveTheBytesTyped)
{
    SelectFromMenu("ATmega8");
    MemoryDocument& document = Views().view[0].document;
    const MemoryDocument freshDocument = document;
    const auto S = [](Qt::Key key) { return Key{key, Qt::ShiftModifier}; };

    const TypingCase cases[] = {
        {"deadbeef from byte 0x10 gives DE AD BE EF", kLine + 10, QStringLiteral("deadbeef"), {},
         {{16, 0xDE}, {17, 0xAD}, {18, 0xBE}, {19, 0xEF}}, kLine + 22},
        {"AB typed in capitals gives AB", 10, QStringLiteral("AB"), {}, {{0, 0xAB}}, 13},
        {"Shift, Ctrl and Alt alone leave the caret", 10, {}, {{Qt::Key_Shift}, {Qt::Key_Control}, {Qt::Key_Alt}}, {}, 10},
        {"ab in the character column stores 0x61 0x62", 64, QStringLiteral("ab"), {}, {{0, 0x61}, {1, 0x62}}, 66},
        {"A in the character column stores 0x41, then Shift alone changes nothing", 64, QStringLiteral("A"),
         {{Qt::Key_Shift}, S(Qt::Key_Shift)}, {{0, 0x41}}, 65},
        {"the row's last digit, then the next row", 55, QStringLiteral("123"), {}, {{15, 0x12}, {16, 0x3F}}, kLine + 11},
        {"the memory's last digit is the end", Last(55), QStringLiteral("1234"), {}, {{8191, 0x12}}, Last(57)},
        {"Backspace after a byte skips the gap into its low digit", 10, QStringLiteral("12"), {{Qt::Key_Backspace}},
         {{0, 0x1F}}, 11},
        {"Delete in the character column makes the byte FF", 64, QStringLiteral("a"),
         {{Qt::Key_Left}, {Qt::Key_Delete}}, {}, 65},
        {"the keypad's digits are digits", 10, {}, {{Qt::Key_0, Qt::KeypadModifier}, {Qt::Key_7, Qt::KeypadModifier}},
         {{0, 0x07}}, 13},
        {"the arrows move the caret over the line break as one step", 79, {},
         {{Qt::Key_Right}, {Qt::Key_Right}, {Qt::Key_Down}, {Qt::Key_Left}}, {}, kLine + 80},
    };
    HexViewWidget* view = window->View(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        document = freshDocument;
        view->setFocus();
        view->SetCaret(c.caret);
        if (!c.typed.isEmpty()) QTest::keyClicks(view, c.typed);
        for (const Key& key : c.keys) QTest::keyClick(view, key.key, key.modifiers);
        EXPECT_EQ(view->Caret(), c.expectedCaret);
        std::vector<std::uint8_t> expected(8192, 0xFF);
        for (const auto& [address, value] : c.bytes) expected[address] = value;
        const auto bytes = document.Bytes();
        for (std::size_t a = 0; a < expected.size(); ++a)
            if (bytes[a] != expected[a]) {
                ADD_FAILURE() << "byte 0x" << std::hex << a << " is 0x" << int(bytes[a]) << ", expected 0x"
                              << int(expected[a]);
                break;
            }
    }
}

// Undo and redo are the view's own keys while it has the focus; keys it does not edit with
// reach the window's shortcuts.
TEST_F(HexViewTyping, CtrlZUndoesInTheViewAndOtherShortcutsReachTheWindow)
{
    SelectFromMenu("ATmega8");
    HexViewWidget* view = window->View(0);
    MemoryDocument& document = Views().view[0].document;
    view->setFocus();
    view->SetCaret(10);
    QTest::keyClicks(view, QStringLiteral("abcd"));
    EXPECT_EQ(document.At(1), 0xCD);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document.At(1), 0xFF);
    EXPECT_EQ(document.At(0), 0xAB);
    EXPECT_EQ(view->Caret(), 13u) << "the caret goes back with the step";
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(document.At(1), 0xCF);
    QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(document.At(1), 0xCD);

    // Ctrl+G is Go to: its dialog opens, the bytes stay.
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            opened = true;
            dialog->close();
        }
    });
    QTest::keyClick(view, Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(opened);
    EXPECT_EQ(document.At(0), 0xAB);
    EXPECT_EQ(document.At(1), 0xCD);
}

TEST_F(HexViewTyping, TheLargestViewPaintsOnlyItsVisibleRowsAndScrollsToTheCaret)
{
    SelectFromMenu("ATmega2560");
    HexViewWidget* view = window->View(0);
    EXPECT_EQ(view->LineCount(), 16384);
    EXPECT_EQ(view->RowText(16383).left(10), QStringLiteral("0003FFF0: "));
    view->setFocus();
    view->SetCaret(16383 * kLine + 10);
    QTest::keyClick(view, Qt::Key_7);
    EXPECT_EQ(Views().view[0].document.At(16383 * 16), 0x7F);
    EXPECT_GT(view->FirstVisibleLine(), 16000);  // the caret's line was scrolled into sight
    EXPECT_TRUE(view->RowText(16383).startsWith(QStringLiteral("0003FFF0: 7F FF")));
}

TEST_F(HexViewTyping, TheIdBoxTakesNibblesAndKeepsItsSpaces)
{
    SelectFromMenu("AT90S1200");
    auto* idBox = Find<QLineEdit>(names::kIdBox);
    EXPECT_EQ(idBox->text(), QStringLiteral("1E 90 01"));
    idBox->setFocus();
    idBox->setCursorPosition(1);
    QTest::keyClick(idBox, Qt::Key_A);    // low digit of the first byte
    QTest::keyClick(idBox, Qt::Key_B);    // on the space: nothing written
    QTest::keyClick(idBox, Qt::Key_Backspace);
    EXPECT_EQ(idBox->text(), QStringLiteral("1A 90 01"));
    QTest::keyClicks(idBox, QStringLiteral("zz"));  // not hex digits: the caret moves only
    EXPECT_EQ(idBox->text(), QStringLiteral("1A 90 01"));
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClick(idBox, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(idBox, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(idBox->text(), QStringLiteral("1A 90 01"));  // nothing is pasted
    EXPECT_EQ(Views().idBox, "1E 90 01");  // the box's text is never read back
}

}  // namespace
}  // namespace quillon::ui::test
