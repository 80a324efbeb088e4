// The Chip Select menu: the chip table's submenus, items and states, and a choice selecting
// that chip.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <string_view>
#include <utility>
#include <vector>

#include "chips/ChipMenu.h"
#include "ui/HexViewWidget.h"
#include "WindowFixture.h"

namespace quillon::ui::test {
namespace {

TEST_F(WindowTest, ChipSelectShowsTheChipTablesMenu)
{
    QMenu* chips = window->menuBar()->findChild<QMenu*>(QStringLiteral("ChipSelect1"));
    ASSERT_NE(chips, nullptr);
    auto text = [](std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); };
    using Item = std::pair<QString, bool>;  // caption, enabled
    std::vector<std::pair<QString, std::vector<Item>>> expected, shown;
    for (const ChipMenuGroup& group : ChipMenu()) {
        std::vector<Item> items;
        for (const ChipMenuItem& item : group.items) items.emplace_back(text(item.caption), item.enabled);
        expected.emplace_back(text(group.caption), items);
    }
    for (QAction* sub : chips->actions()) {
        ASSERT_NE(sub->menu(), nullptr);
        std::vector<Item> items;
        for (QAction* item : sub->menu()->actions()) {
            items.emplace_back(item->text(), item->isEnabled());
            EXPECT_EQ(item->objectName(), item->text());
        }
        shown.emplace_back(sub->text(), items);
    }
    EXPECT_EQ(shown, expected);

    Trigger("ATmega1281");
    EXPECT_EQ(Find<QLineEdit>("Edit1")->text(), QStringLiteral("ATmega1281"));
    EXPECT_EQ(Find<QLineEdit>("Edit2")->text(), QStringLiteral("04 97 1E"));
    EXPECT_EQ(Logged("Selected chip is  ATmega1281"), true);
}

TEST_F(WindowTest, ThePortBoxOffersComPortsThenTheSystemsThenSimulatedGateways)
{
    auto* combo = Find<QComboBox>("ComboBox1");
    EXPECT_EQ(combo->currentText(), QStringLiteral("COM1"));
    EXPECT_TRUE(combo->isEditable());
    ASSERT_GT(combo->count(), 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(combo->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    EXPECT_EQ(combo->itemText(combo->count() - 1).left(4), QStringLiteral("sim:"));
    EXPECT_GE(combo->findText(QStringLiteral("sim:ATmega8")), 10);
}

TEST_F(WindowTest, KeysInAViewWithoutAChipChangeNothing)
{
    HexViewWidget* view = window->View(2);
    view->setFocus();
    for (Qt::Key key : {Qt::Key_A, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Right, Qt::Key_Space})
        QTest::keyClick(view, key);
    EXPECT_EQ(Views().view[2].document.Size(), 0u);
    EXPECT_EQ(view->Caret(), 0u);
}

}  // namespace
}  // namespace quillon::ui::test
