// The Chip Select menu: every catalogue name in its submenu, the chips that cannot be chosen
// greyed, and a choice selecting that chip.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <set>
#include <utility>
#include <vector>

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
    // Each submenu's items in menu order.
    const std::vector<std::pair<QString, QStringList>> expected = {
        {"AT90...",
         {"AT90C8534", "AT90S1200", "AT90S2313", "AT90S2323", "AT90S2333", "AT90S2343", "AT90S4414",
          "AT90S4433", "AT90S4434", "AT90S8515", "AT90S8535", "AT90CAN32", "AT90CAN64", "AT90CAN128"}},
        {"AVR tiny",
         {"ATtiny12", "ATtiny13", "ATtiny15", "ATtiny22", "ATtiny2313", "ATtiny25", "ATtiny26",
          "ATtiny261", "ATtiny45", "ATtiny461", "ATtiny85", "ATtiny861"}},
        {"AVR mega",
         {"ATmega103", "ATmega128", "ATmega1280", "ATmega1281", "ATmega16", "ATmega161", "ATmega162",
          "ATmega163", "ATmega164", "ATmega168", "ATmega169", "ATmega2560", "ATmega2561", "ATmega32",
          "ATmega323", "ATmega324", "ATmega48", "ATmega603", "ATmega64", "ATmega640", "ATmega644",
          "ATmega8", "ATmega8515", "ATmega8535", "ATmega88"}},
    };
    std::vector<std::pair<QString, QStringList>> shown;
    for (QAction* sub : chips->actions()) {
        ASSERT_NE(sub->menu(), nullptr);
        QStringList items;
        for (QAction* item : sub->menu()->actions()) {
            items << item->text();
            EXPECT_EQ(item->isEnabled(), greyed.count(item->text()) == 0) << item->text().toStdString();
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
    EXPECT_EQ(Ctx().views.view[2].document.Size(), 0u);
    EXPECT_EQ(view->Caret(), 0u);
}

}  // namespace
}  // namespace quillon::ui::test
