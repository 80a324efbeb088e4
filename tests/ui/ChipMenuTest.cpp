// The Chip Select menu: every catalogue name in its submenu, the chips that cannot be chosen
// greyed, and a choice selecting that chip.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <set>

#include "ui/HexViewWidget.h"
#include "WindowFixture.h"

namespace quillon::ui::test {
namespace {

TEST_F(WindowTest, ChipSelectOffersEveryChipAndGreysTheOnesThatCannotBeChosen)
{
    const std::set<QString> greyed = {"AT90C8534", "AT90S2323", "AT90S2343", "ATtiny12", "ATtiny13", "ATtiny15",
                                      "ATtiny22",  "ATtiny25",  "ATtiny26",  "ATtiny45", "ATtiny85"};
    QMenu* chips = window->menuBar()->findChild<QMenu*>(QStringLiteral("ChipSelect1"));
    ASSERT_NE(chips, nullptr);
    QStringList submenus;
    int items = 0;
    for (QAction* sub : chips->actions()) {
        submenus << sub->text();
        ASSERT_NE(sub->menu(), nullptr);
        for (QAction* item : sub->menu()->actions()) {
            ++items;
            EXPECT_EQ(item->isEnabled(), greyed.count(item->text()) == 0) << item->text().toStdString();
        }
    }
    EXPECT_EQ(submenus, (QStringList{"AT90...", "AVR tiny", "AVR mega"}));
    EXPECT_EQ(items, 14 + 12 + 25);

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
    EXPECT_TRUE(Ctx().views.view[2].text.empty());
    EXPECT_EQ(view->Caret(), 0u);
}

}  // namespace
}  // namespace quillon::ui::test
