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
#include "ui/PortList.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

TEST_F(WindowTest, ChipSelectShowsTheChipTablesMenu)
{
    QMenu* chips = window->menuBar()->findChild<QMenu*>(QString::fromLatin1(names::kChipMenu));
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
    EXPECT_EQ(Find<QLineEdit>(names::kChipName)->text(), QStringLiteral("ATmega1281"));
    EXPECT_EQ(Find<QLineEdit>(names::kIdBox)->text(), QStringLiteral("1E 97 04"));
    EXPECT_EQ(Logged("Selected chip is  ATmega1281"), true);
}

TEST_F(WindowTest, ThePortBoxOffersTheSystemsPortsThenComPortsThenSimulatedGateways)
{
    auto* combo = Find<PortBox>(names::kPortBox);
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    // Listed afresh each time the box opens: an adapter plugged in after start-up shows.
    std::vector<SystemPort> system;
    combo->SetLister([&] { return system; });
    combo->setEditText(QStringLiteral("COM3"));
    combo->showPopup();
    combo->hidePopup();
    ASSERT_EQ(combo->count(), 16);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(combo->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    EXPECT_EQ(combo->itemText(combo->count() - 1).left(4), QStringLiteral("sim:"));
    EXPECT_EQ(combo->findText(QStringLiteral("sim:ATmega8")), 10);

    system = {{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), true},
              {QStringLiteral("/dev/ttyS0"), {}, false}};
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(combo->itemText(0), QStringLiteral("/dev/ttyUSB0 \u2014 FT232R USB UART"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(combo->itemText(2), QStringLiteral("COM1"));
    EXPECT_EQ(combo->currentText(), QStringLiteral("COM3")) << "opening the list keeps the port";
    combo->setCurrentIndex(0);
    EXPECT_EQ(combo->PortName(), QStringLiteral("/dev/ttyUSB0")) << "the description is not part of the name";

    EXPECT_EQ(InitialPort(system, {}), QStringLiteral("/dev/ttyUSB0 \u2014 FT232R USB UART"));
    EXPECT_EQ(InitialPort({system[1]}, {}), QStringLiteral("COM1")) << "only a USB port is taken for the gateway";
    EXPECT_EQ(InitialPort(system, QStringLiteral("sim:ATmega8")), QStringLiteral("sim:ATmega8"));

    // An adapter with a serial number of its own is offered by that number as well, which finds
    // it wherever it is plugged in.
    system = {{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("FT232R USB UART"), true, QStringLiteral("0403:6001"),
               QStringLiteral("A50285BI")}};
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(combo->itemText(0), QStringLiteral("/dev/ttyUSB1 \u2014 FT232R USB UART (0403:6001, serial A50285BI)"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("serial:A50285BI \u2014 /dev/ttyUSB1, FT232R USB UART"));
    combo->setCurrentIndex(1);
    EXPECT_EQ(combo->PortName(), QStringLiteral("serial:A50285BI"));
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
