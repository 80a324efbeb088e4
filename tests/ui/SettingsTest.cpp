// What the window remembers across a restart (on a temporary settings file), files dropped on a
// view, and the status bar.
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>
#include <fstream>

#include "SimWindowFixture.h"
#include "ui/HexViewWidget.h"
#include "ui/PortList.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

class Remembered : public SimWindowTest {
protected:
    std::unique_ptr<QSettings> Settings() const
    {
        return std::make_unique<QSettings>(folder.filePath(QStringLiteral("quillon.conf")), QSettings::IniFormat);
    }
    QString WriteHex(const char* name) const
    {
        const QString path = folder.filePath(QString::fromLatin1(name));
        std::ofstream(path.toStdString()) << ":0400000001020304F2\n:00000001FF\n";
        return path;
    }
    void Restart()
    {
        WaitIdle();
        window.reset();
        SetUp();
        window->UseSettings(Settings());
    }

    QTemporaryDir folder;
};

TEST_F(Remembered, PortDelayPageGeometryFolderAndRecentFilesSurviveARestartButNotTheChip)
{
    ASSERT_TRUE(folder.isValid());
    window->UseSettings(Settings());
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(3);
    const QString program = WriteHex("app.hex");
    window->SetFileChooser([&](FileDialogKind) { return std::optional<ChosenFile>(ChosenFile{program, FilterAny}); });
    Trigger(names::kLoadProgram);
    Find<QTabWidget>(names::kPages)->setCurrentIndex(1);
    window->resize(1000, 780);
    Trigger(names::kSkipBlankPages);
    Trigger(names::AnswersInFlight(8));
    Trigger(names::kCheckChip);  // a safety check switched off is not remembered
    QCoreApplication::processEvents();

    Restart();
    EXPECT_FALSE(Find<QAction>(names::kSkipBlankPages)->isChecked()) << "on by default, switched off, remembered";
    EXPECT_TRUE(Find<QAction>(names::AnswersInFlight(8))->isChecked());
    EXPECT_FALSE(Find<QAction>(names::AnswersInFlight(1))->isChecked());
    EXPECT_TRUE(Find<QAction>(names::kCheckChip)->isChecked());
    EXPECT_EQ(Find<QComboBox>(names::kPortBox)->currentText(), QStringLiteral("sim:socket"));
    EXPECT_FALSE(window->Connected()) << "the port is offered, not opened";
    EXPECT_EQ(Find<QSlider>(names::kDelay)->value(), 3);
    EXPECT_EQ(CurrentSession().bus.delay, 3);
    EXPECT_EQ(Find<QTabWidget>(names::kPages)->currentIndex(), 1);
    EXPECT_EQ(window->Views().activePage, 1);
    EXPECT_EQ(window->size(), QSize(1000, 780));
    EXPECT_EQ(Find<QLineEdit>(names::kChipName)->text(), QStringLiteral("None"));
    EXPECT_EQ(CurrentSession().chip.signature, 0);
    EXPECT_EQ(Settings()->value(QStringLiteral("folders/open")).toString(), folder.path());

    // The recent file loads again with one click, into the memory it was loaded into.
    auto* recent = Find<QMenu>(names::kRecentFiles);
    ASSERT_EQ(recent->actions().size(), 1);
    EXPECT_EQ(recent->actions()[0]->text(), QStringLiteral("&1 app.hex (program)"));
    SelectFromMenu("ATmega8");
    recent->actions()[0]->trigger();
    WaitIdle();
    EXPECT_EQ(window->View(1)->Document().At(3), 0x04) << "Page2's flash, the active page";
}

TEST_F(Remembered, AValueEditedOutOfRangeIsIgnoredAndTheListKeepsEachFileOnceNewestFirst)
{
    Settings()->setValue(QStringLiteral("delay"), 9);
    Settings()->setValue(QStringLiteral("page"), QStringLiteral("two"));
    Settings()->setValue(QStringLiteral("answersInFlight"), 3);
    window->UseSettings(Settings());
    EXPECT_TRUE(Find<QAction>(names::AnswersInFlight(0))->isChecked());
    EXPECT_EQ(Find<QSlider>(names::kDelay)->value(), 1);
    EXPECT_EQ(Find<QTabWidget>(names::kPages)->currentIndex(), 0);

    SelectFromMenu("ATmega8");
    const QString a = WriteHex("a.hex");
    const QString b = WriteHex("b.eep");
    for (const auto& [file, item] : {std::pair{a, names::kLoadProgram}, std::pair{b, names::kLoadData}, std::pair{a, names::kLoadProgram}}) {
        window->SetFileChooser([f = file](FileDialogKind) { return std::optional<ChosenFile>(ChosenFile{f, FilterAny}); });
        Trigger(item);
    }
    QStringList texts;
    for (QAction* action : Find<QMenu>(names::kRecentFiles)->actions()) texts << action->text();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("&1 a.hex (program)"), QStringLiteral("&2 b.eep (data)")}));
}

TEST_F(Remembered, AHexFileDroppedOnAViewLoadsIntoThatViewsMemoryAndOtherFilesAreRefused)
{
    SelectFromMenu("ATmega8");
    HexViewWidget* eeprom = window->View(2);
    auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at = eeprom->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(eeprom->viewport(), &enter);
        const bool accepted = enter.isAccepted();
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        if (accepted) QApplication::sendEvent(eeprom->viewport(), &dropped);
        WaitIdle();
        return accepted;
    };
    const QString text = folder.filePath(QStringLiteral("notes.txt"));
    std::ofstream(text.toStdString()) << ":0400000001020304F2\n";
    EXPECT_FALSE(drop(text));
    EXPECT_EQ(eeprom->Document().At(0), 0xFF);
    EXPECT_TRUE(drop(WriteHex("data.eep")));
    EXPECT_EQ(eeprom->Document().At(0), 0x01);
    EXPECT_EQ(window->View(0)->Document().At(0), 0xFF) << "the flash view is untouched";
    EXPECT_TRUE(Logged("Loading data from file: " + folder.filePath(QStringLiteral("data.eep")).toStdString()));
}

TEST_F(Remembered, TheStatusBarShowsPortChipAndTheLastCommandsEnding)
{
    auto* port = Find<QLabel>(names::kStatusPort);
    auto* chip = Find<QLabel>(names::kStatusChip);
    auto* result = Find<QLabel>(names::kStatusResult);
    EXPECT_EQ(port->text(), QStringLiteral("Not connected"));
    StartWith("ATmega8");
    EXPECT_EQ(port->text(), QStringLiteral("sim:socket: connected"));
    EXPECT_EQ(chip->text(), QStringLiteral("Chip: ATmega8"));
    BoxAnswerer no(QMessageBox::No);
    Click(names::kWriteProgram);
    EXPECT_TRUE(result->text().startsWith(QStringLiteral("Write Program was not run: you answered No"))) << result->text().toStdString();
    Click(names::kReadProgram);
    EXPECT_TRUE(result->text().startsWith(QStringLiteral("Read Program succeeded in "))) << result->text().toStdString();
    for (const char* name : {names::kConnect, names::kReadProgram, names::kChipErase, names::kPortBox, names::kDelay, names::kFlashPage1, names::kIdBox})
        EXPECT_FALSE(Find<QWidget>(name)->toolTip().isEmpty()) << name;
}

}  // namespace
}  // namespace quillon::ui::test
