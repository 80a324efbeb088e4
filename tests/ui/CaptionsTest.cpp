// Every caption the user reads and every component name a script finds, in the main window, its
// menus, the About box, the progress window, the connection picture and the Lock & Fuses dialog,
// with the geometry of the small fixed windows.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>

#include "chips/Chip.h"
#include "ui/AboutBox.h"
#include "ui/ImageForm.h"
#include "ui/LockFusesForm.h"
#include "ui/ProgressForm.h"
#include "WindowFixture.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

struct Named {
    const char* name;
    const char* text;
};

// A menu's item captions in order, a separator as "-".
QStringList Items(const QMenu* menu)
{
    QStringList items;
    for (const QAction* action : menu->actions()) items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return items;
}

// The small windows open in the middle of the screen, wherever the main window is (give or take
// the frame, which a window may not know before it is shown).
bool CentredOnScreen(const QWidget& w)
{
    const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
    const QPoint off = w.frameGeometry().center() - middle;
    const bool centred = std::abs(off.x()) <= 4 && std::abs(off.y()) <= 4;
    if (!centred) ADD_FAILURE() << w.objectName().toStdString() << " is " << off.x() << "," << off.y() << " off the middle";
    return centred;
}

TEST_F(WindowTest, MainWindowCaptionsAndNames)
{
    EXPECT_EQ(window->objectName(), QString::fromLatin1(names::kMainWindow));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillon"));
    for (const Named& b : {Named{names::kConnect, "Connect"}, Named{names::kDisconnect, "Disconnect"},
                           Named{names::kAutosearch, "Autosearch chip"}, Named{names::kReadProgram, "Read Program"},
                           Named{names::kWriteProgram, "Write Program"}, Named{names::kVerifyProgram, "Verify Program"},
                           Named{names::kReadCalibration, "Read Calibration"}, Named{names::kReadData, "Read Data"},
                           Named{names::kWriteData, "Write Data"}, Named{names::kVerifyData, "Verify Data"},
                           Named{names::kChipErase, "Chip Erase"}}) {
        auto* button = Find<QPushButton>(b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromLatin1(b.text)) << b.name;
    }
    for (const Named& e : {Named{names::kChipName, "None"}, Named{names::kIdBox, "FF FF FF"}}) {
        auto* edit = Find<QLineEdit>(e.name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), QString::fromLatin1(e.text)) << e.name;
    }
    EXPECT_TRUE(Find<QLineEdit>(names::kChipName)->isReadOnly());

    QStringList labels;
    for (const QLabel* label : window->findChildren<QLabel*>()) labels << label->text();
    for (const char* caption : {"Chip name:", "ID bytes:", "Delays value:", "Log:"})
        EXPECT_EQ(labels.count(QString::fromLatin1(caption)), 1) << caption;
    // One flash label and one EEPROM label on each page.
    EXPECT_EQ(labels.count(QStringLiteral("Program Memory (Flash):")), 2);
    EXPECT_EQ(labels.count(QStringLiteral("Data Memory (EEPROM):")), 2);

    auto* slider = Find<QSlider>(names::kDelay);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 5);
    EXPECT_EQ(slider->value(), 1);

    auto* pages = Find<QTabWidget>(names::kPages);
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Page1"));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("Page2"));
    EXPECT_EQ(pages->widget(0)->objectName(), QString::fromLatin1(names::kPage1));
    EXPECT_EQ(pages->widget(1)->objectName(), QString::fromLatin1(names::kPage2));
    // Each page shows its flash view over its EEPROM view.
    for (const Named& v : {Named{names::kFlashPage1, names::kPage1}, Named{names::kEepromPage1, names::kPage1},
                           Named{names::kFlashPage2, names::kPage2}, Named{names::kEepromPage2, names::kPage2}}) {
        QWidget* view = Find<QWidget>(v.name);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->parentWidget()->objectName(), QString::fromLatin1(v.text)) << v.name;
    }
    auto* log = Find<QPlainTextEdit>(names::kLogPane);
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::NoWrap);

    QStringList menus;
    for (const QAction* action : window->menuBar()->actions()) menus << action->text();
    EXPECT_EQ(menus, (QStringList{"File", "Edit", "Chip Select", "Help"}));
    struct MenuCase {
        const char* name;
        QStringList items;
        QStringList names;
    };
    const MenuCase cases[] = {
        {names::kFileMenu,
         {"Load Program from File...", "Load Program into the View over What It Holds...", "Save Program to File...",
          "-", "Load Data from File...", "Load Data into the View over What It Holds...", "Save Data to File...", "-",
          "Recent files", "-", "Save Log as...", "Production...", "Exit"},
         {names::kLoadProgram, names::kLoadProgramOver, names::kSaveProgram, "", names::kLoadData, names::kLoadDataOver, names::kSaveData, "", "",
          "", names::kSaveLog, names::kProduction, names::kExit}},
        // The doubled ampersand shows as one.
        {names::kEditMenu,
         {"Lock && Fuses...", "Rescue chip...", "-", "Skip blank pages when writing", "Verify after writing",
          "Answers in flight", "Check the chip's signature before writing", "Check that the gateway answers during writes",
          "Switch the socket off after every command", "-", "Undo", "Redo", "-", "Go to address...", "Find...",
          "Find next", "Find previous", "Fill with 0xFF", "-", "Compare Program", "Compare Data"},
         {names::kLockFuses, names::kRescueChip, "", names::kSkipBlankPages, names::kVerifyAfterWrite, names::kAnswersInFlightMenu, names::kCheckChip,
          names::kCheckAnswers, names::kPowerDown, "",
          names::kUndo, names::kRedo, "", names::kGoTo, names::kFind, names::kFindNext, names::kFindPrevious, names::kFillFF, "", names::kCompareProgram,
          names::kCompareData}},
        {names::kAnswersInFlightMenu,
         {"Automatic", "1 (one read at a time)", "2", "4", "8", "16", "32", "-", "Past the gateway's input (risky)"},
         {names::AnswersInFlight(0), names::AnswersInFlight(1), names::AnswersInFlight(2), names::AnswersInFlight(4),
          names::AnswersInFlight(8), names::AnswersInFlight(16), names::AnswersInFlight(32), "", names::kUnboundedInFlight}},
        {names::kHelpMenu, {"About Program", "-", "How to connect..."}, {names::kAbout, "", names::kHowToConnect}},
    };
    for (const MenuCase& c : cases) {
        auto* menu = window->menuBar()->findChild<QMenu*>(QString::fromLatin1(c.name));
        ASSERT_NE(menu, nullptr) << c.name;
        EXPECT_EQ(Items(menu), c.items) << c.name;
        QStringList names;
        for (const QAction* action : menu->actions()) names << action->objectName();
        EXPECT_EQ(names, c.names) << c.name;
    }
}

TEST_F(WindowTest, AboutBoxTextsAndLinks)
{
    window->move(0, 0);
    Trigger(names::kAbout);
    AboutBox& about = window->About();
    EXPECT_TRUE(CentredOnScreen(about)) << about.geometry().x() << "," << about.geometry().y();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Quillon"));
    EXPECT_EQ(about.size(), QSize(258, 272));
    EXPECT_FALSE(about.isModal());
    EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    struct LabelCase {
        const char* name;
        int y;
        const char* text;  // nullptr: the implementer's own wording
        bool link;
        bool underlined;
    };
    for (const LabelCase& c : {
             LabelCase{names::kAboutFreeware, 8, "A freeware program that was created", false, false},
             LabelCase{names::kAboutDemonstrates, 24, "to demonstrate the ability to program", false, false},
             LabelCase{names::kAboutInterface, 40, "AVR microcontrollers via parallel interface with", false, false},
             LabelCase{names::kAboutGateway, 56, "UART to I2C/SPI/1W gateway Tavro", true, true},
             LabelCase{names::kAboutDocumentation, 104, nullptr, true, true},
             LabelCase{names::kAboutOnlineHelp, 136, "Get online help on using the program", false, false},
             LabelCase{names::kAboutGuideIntro, 152, nullptr, false, false},
             LabelCase{names::kAboutGuide, 168, nullptr, true, false},
             LabelCase{names::kAboutVersion, 200, "Version 3.2", false, false},
         }) {
        auto* label = about.findChild<QLabel*>(QString::fromLatin1(c.name));
        ASSERT_NE(label, nullptr) << c.name;
        EXPECT_EQ(label->y(), c.y) << c.name;
        if (c.text) EXPECT_EQ(label->text(), QString::fromLatin1(c.text)) << c.name;
        EXPECT_FALSE(label->text().isEmpty()) << c.name;
        auto* link = qobject_cast<LinkLabel*>(label);
        EXPECT_EQ(link != nullptr, c.link) << c.name;
        if (!link) continue;
        EXPECT_EQ(label->font().underline(), c.underlined) << c.name;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::blue)) << c.name;
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor) << c.name;
    }
    auto* ok = about.findChild<QPushButton*>(QString::fromLatin1(names::kOkButton));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(ok->geometry(), QRect(87, 244, 75, 25));
    EXPECT_TRUE(ok->isDefault());
}

TEST(SmallWindows, ProgressWindowAndConnectionPicture)
{
    ProgressForm progress;
    EXPECT_TRUE(CentredOnScreen(progress));
    EXPECT_EQ(progress.objectName(), QString::fromLatin1(names::kProgressWindow));
    EXPECT_TRUE(progress.windowTitle().isEmpty());
    EXPECT_EQ(progress.size(), QSize(281, 62));
    // Its close box cancels the command, as its Cancel button and Escape do.
    EXPECT_TRUE(progress.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(progress.windowModality(), Qt::NonModal);
    EXPECT_EQ(progress.CancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(progress.Text()->text(), QStringLiteral("0%"));
    QProgressBar* bar = progress.Bar();
    EXPECT_EQ(bar->objectName(), QString::fromLatin1(names::kProgressBar));
    EXPECT_EQ(bar->geometry(), QRect(8, 8, 265, 16));
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);

}

TEST_F(WindowTest, LockFusesDialogGeometryAndCaptions)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<LockFusesForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        ran = true;
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Lock & Fuses"));
        // Two tabs on top (the fields in words, the named bits), the buttons, and a strip below
        // with the bytes in hex and Factory defaults.
        EXPECT_EQ(form->size(), QSize(640, 413));
        EXPECT_TRUE(CentredOnScreen(*form)) << form->geometry().x() << "," << form->geometry().y();
        // The close box is Cancel, as Esc is.
        EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        auto* tabs = form->findChild<QTabWidget*>(QStringLiteral("ViewTabs"));
        ASSERT_NE(tabs, nullptr);
        EXPECT_EQ(tabs->count(), 2);
        EXPECT_EQ(tabs->tabText(0), QStringLiteral("Settings"));
        EXPECT_EQ(tabs->tabText(1), QStringLiteral("Bits"));
        EXPECT_EQ(form->findChild<QFrame*>(QString::fromLatin1(names::kBitsPanel))->geometry(), QRect(0, 0, 443, 155));
        for (int g = 0; g < 4; ++g) {
            auto* group = form->findChild<QGroupBox*>(QString::fromLatin1(names::kBitGroup[static_cast<std::size_t>(g)]));
            ASSERT_NE(group, nullptr);
            EXPECT_EQ(group->geometry().size(), QSize(105, 153));
            EXPECT_EQ(group->x(), 1 + 112 * g);
            for (int b = 0; b < 8; ++b) {
                QCheckBox* box = form->CheckBox(8 * g + b + 1);
                EXPECT_EQ(box->parentWidget(), group);
                EXPECT_EQ(box->objectName(), names::BitBox(8 * g + b + 1));
                EXPECT_EQ(box->geometry(), QRect(8, 128 - 16 * b, 89, 17)) << "group " << g << " bit " << b;
            }
        }
        struct ButtonCase {
            const char* name;
            const char* text;
            QRect geometry;
        };
        for (const ButtonCase& c : {ButtonCase{names::kOkButton, "Save changes && Close the window", {0, 341, 203, 25}},
                                    ButtonCase{names::kReadLockFuses, "Read Lock && Fuses", {203, 341, 120, 25}},
                                    ButtonCase{names::kWriteLockFuses, "Write Lock && Fuses", {323, 341, 120, 25}},
                                    ButtonCase{names::kCancelButton, "Cancel", {540, 341, 100, 25}}}) {
            auto* button = form->findChild<QPushButton*>(QString::fromLatin1(c.name));
            ASSERT_NE(button, nullptr) << c.name;
            EXPECT_EQ(button->text(), QString::fromLatin1(c.text));
            EXPECT_EQ(button->geometry(), c.geometry) << c.name;
        }
        // With no chip selected only the buttons show.
        for (const QGroupBox* group : form->findChildren<QGroupBox*>()) EXPECT_FALSE(group->isVisible());
        form->findChild<QPushButton*>(QString::fromLatin1(names::kOkButton))->click();
    });
    window->move(0, 0);
    // The menu item is enabled only while connected; open the dialog the way the item does.
    window->findChild<QAction*>(QString::fromLatin1(names::kLockFuses))->setEnabled(true);
    Trigger(names::kLockFuses);
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace quillon::ui::test
