// Typing into a hex view through real key events: the nibble entry, the space, Backspace and
// Delete, the wraps at the first and last lines, and the keypad's codes.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <string>
#include <vector>

#include "images/HexRows.h"
#include "ui/HexViewWidget.h"
#include "WindowFixture.h"

namespace quillon::ui::test {
namespace {

constexpr std::size_t kLine = 82;

struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

struct Change {
    std::size_t position;
    std::string text;
};

struct TypingCase {
    const char* what;
    std::size_t caret;  // SIZE_MAX - n: the last line's column n
    std::vector<Key> keys;
    std::size_t expectedCaret;
    std::vector<Change> changes;  // against the freshly built view
};

constexpr std::size_t kLastLine = 511;  // the ATmega8 shows 8192 bytes: 512 lines
constexpr std::size_t Last(std::size_t col) { return kLastLine * kLine + col; }

class HexViewTyping : public WindowTest {};

TEST_F(HexViewTyping, KeysEditTheViewInPlace)
{
    SelectFromMenu("ATmega8");
    MemoryDocument& document = Views().view[0].document;
    const MemoryDocument freshDocument = document;
    const std::string fresh = DocumentText(document);
    ASSERT_EQ(fresh.size(), 512 * kLine - 2);
    const std::string c1F(1, '\x1F');

    const TypingCase cases[] = {
        {"two digits write a byte and stop on the space; a digit on the space only moves",
         10, {{Qt::Key_1}, {Qt::Key_2}, {Qt::Key_3}, {Qt::Key_4}}, 14,
         {{10, "12"}, {64, c1F}, {13, "4"}, {65, "O"}}},
        {"the last character of the last line, then the wrap to line 0's character column",
         Last(79), {{Qt::Key_A}, {Qt::Key_Space}}, 64, {{Last(55), "41"}, {Last(79), "A"}}},
        {"Backspace at the first digit of line 0 wraps to the end of the last line's digits",
         10, {{Qt::Key_Backspace}}, Last(57), {}},
        {"Backspace sets the digit left of the caret to F",
         Last(55), {{Qt::Key_0}, {Qt::Key_0}, {Qt::Key_Backspace}}, Last(56), {{Last(55), "0F"}, {Last(79), c1F}}},
        {"Delete on the space between bytes writes nothing and moves on",
         12, {{Qt::Key_Delete}}, 13, {}},
        {"Delete in the character column makes the byte FF", 64,
         {{Qt::Key_0, Qt::KeypadModifier}, {Qt::Key_Left}, {Qt::Key_Delete}}, 65, {}},
        {"a key in the address part goes to the first digit", 3, {{Qt::Key_A}}, 10, {}},
        // Ctrl goes down first and, like every key, steps on; C then writes C on the low digit.
        {"Ctrl+C writes C", 10, {{Qt::Key_C, Qt::ControlModifier}}, 12, {{10, "FC"}, {64, "\xFC"}}},
        {"the keypad's 1 in the character column stores 0x61 and shows A", 64,
         {{Qt::Key_1, Qt::KeypadModifier}}, 65, {{10, "61"}, {64, "A"}}},
        {"the arrows move the caret over the line break as one step", 79,
         {{Qt::Key_Right}, {Qt::Key_Right}, {Qt::Key_Down}, {Qt::Key_Left}}, kLine + 80, {}},
    };
    HexViewWidget* view = window->View(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        document = freshDocument;
        view->setFocus();
        view->SetCaret(c.caret);
        for (const Key& key : c.keys) QTest::keyClick(view, key.key, key.modifiers);
        EXPECT_EQ(view->Caret(), c.expectedCaret);
        std::string expected = fresh;
        for (const auto& change : c.changes) expected.replace(change.position, change.text.size(), change.text);
        const std::string text = DocumentText(document);
        ASSERT_EQ(text.size(), expected.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] != expected[i]) {
                ADD_FAILURE() << "position " << i << " (line " << i / kLine << ", column " << i % kLine
                              << ") is 0x" << std::hex << int(static_cast<unsigned char>(text[i])) << ", expected 0x"
                              << int(static_cast<unsigned char>(expected[i]));
                break;
            }
    }
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
    auto* idBox = Find<QLineEdit>("Edit2");
    EXPECT_EQ(idBox->text(), QStringLiteral("01 90 1E"));
    idBox->setFocus();
    idBox->setCursorPosition(1);
    QTest::keyClick(idBox, Qt::Key_A);    // low digit of the first byte
    QTest::keyClick(idBox, Qt::Key_B);    // on the space: nothing written
    QTest::keyClick(idBox, Qt::Key_Backspace);
    EXPECT_EQ(idBox->text(), QStringLiteral("0A 90 1E"));
    QTest::keyClicks(idBox, QStringLiteral("zz"));  // not hex digits: the caret moves only
    EXPECT_EQ(idBox->text(), QStringLiteral("0A 90 1E"));
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClick(idBox, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(idBox, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(idBox->text(), QStringLiteral("0A 90 1E"));  // nothing is pasted
    EXPECT_EQ(Views().idBox, "01 90 1E");  // the box's text is never read back
}

}  // namespace
}  // namespace quillon::ui::test
