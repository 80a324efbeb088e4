// The File menu: saving and loading a program through the dialogs' answers, failures that name
// the file and the system's reason, Save Log as, and Exit closing the port first.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QTabWidget>
#include <QTimer>
#include <QTemporaryDir>

#include "images/FileCommands.h"
#include "ui/HexViewWidget.h"
#include "SimWindowFixture.h"

namespace quillon::ui::test {
namespace {

class FileMenu : public SimWindowTest {
protected:
    void Answer(const QString& name, int filter)
    {
        window->SetFileChooser([name, filter](FileDialogKind) { return std::optional<ChosenFile>({name, filter}); });
    }
    static QByteArray Contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir folder;
};

TEST_F(FileMenu, AProgramSavedAndLoadedBackComesBackIntoTheActiveView)
{
    SelectFromMenu("ATmega8");
    HexViewWidget* view = window->View(0);
    view->setFocus();
    view->SetCaret(10);
    QTest::keyClicks(view, QStringLiteral("AB"));

    Answer(folder.filePath(QStringLiteral("prog")), 1);  // "*.hex" adds the extension
    Trigger("SaveProgramtoFile1");
    const QByteArray saved = Contents(folder.filePath(QStringLiteral("prog.hex")));
    ASSERT_FALSE(saved.isEmpty());
    EXPECT_TRUE(saved.startsWith(":020000040000FA\r\n:08000000ABFFFFFFFFFFFFFF"));
    EXPECT_TRUE(saved.endsWith(":00000001FF"));

    SelectFromMenu("ATmega8");  // a new selection shows FF again
    EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: FF")));
    Answer(folder.filePath(QStringLiteral("prog.hex")), 3);
    Trigger("LoadProgramfromFile1");
    EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: AB FF")));
    EXPECT_EQ(LogLines().back(), "Operation complete");
}

TEST_F(FileMenu, ATypedExtensionChoosesTheFormatOverTheFilter)
{
    SelectFromMenu("ATmega8");
    Answer(folder.filePath(QStringLiteral("dump.bin")), FilterHex);
    Trigger("SaveProgramtoFile1");
    EXPECT_EQ(Contents(folder.filePath(QStringLiteral("dump.bin"))), QByteArray(8192, '\xFF'));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("dump.bin.hex"))));

    Answer(folder.filePath(QStringLiteral("dump")), FilterSRecord);
    Trigger("SaveProgramtoFile1");
    EXPECT_TRUE(Contents(folder.filePath(QStringLiteral("dump.srec"))).startsWith("S0"));
}

// The real dialogs: described filters, and the chosen one decides the format of a bare name.
TEST_F(FileMenu, TheDialogsOfferEveryFormatByName)
{
    SelectFromMenu("ATmega8");
    window->SetFileChooser({});
    QStringList openFilters, saveFilters;
    const QString bare = folder.filePath(QStringLiteral("dump"));
    auto answer = [&](QStringList& filters, const QString& choose) {
        QTimer::singleShot(0, [&, choose] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return ADD_FAILURE() << "no file dialog";
            filters = dialog->nameFilters();
            if (choose.isEmpty()) return dialog->reject();
            dialog->selectNameFilter(choose);
            dialog->selectFile(bare);
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides its accept()
        });
    };
    answer(openFilters, {});
    Trigger("LoadProgramfromFile1");
    for (const char* filter : {"Intel HEX (*.hex *.eep)", "ELF (*.elf)", "S-record (*.srec *.s19 *.s28 *.s37 *.mot)",
                               "Raw binary (*.bin)"})
        EXPECT_TRUE(openFilters.contains(QString::fromLatin1(filter))) << filter;

    answer(saveFilters, QStringLiteral("S-record (*.srec *.s19 *.s28 *.s37 *.mot)"));
    Trigger("SaveProgramtoFile1");
    EXPECT_FALSE(saveFilters.contains(QStringLiteral("ELF (*.elf)")));
    EXPECT_TRUE(Contents(bare + QStringLiteral(".srec")).startsWith("S0"));
}

TEST_F(FileMenu, FilesThatCannotBeReadOrWrittenAreReportedWithTheirName)
{
    SelectFromMenu("ATmega8");
    const QString missing = folder.filePath(QStringLiteral("no/such/folder/prog.hex"));
    for (const char* item : {"SaveProgramtoFile1", "LoadProgramfromFile1", "Open1"}) {
        SCOPED_TRACE(item);
        Answer(missing, 1);
        BoxAnswerer boxes(QMessageBox::Ok);
        Trigger(item);
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Error"));
        EXPECT_TRUE(boxes.seen[0].text.contains(missing)) << boxes.seen[0].text.toStdString();
        EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("No such file or directory")))
            << boxes.seen[0].text.toStdString();
    }
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: FF")));
}

// A file the loader does not take is told in the log alone, as is a load without a chip; the
// bytes before the line it stopped at are shown.
TEST_F(FileMenu, RefusedFilesAreToldInTheLogWithoutABox)
{
    const QString start = folder.filePath(QStringLiteral("start.hex"));
    const QString broken = folder.filePath(QStringLiteral("broken.hex"));
    {
        QFile file(start);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(":0100000011EE\r\n:0400000600000000F6\r\n:00000001FF");
    }
    {
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(":0100000022DD\r\n:01000100\r\n:00000001FF");
    }
    struct Case {
        QString file;
        bool chip;
        std::string logged;
        const char* shown;
    };
    const Case cases[] = {
        {start, true, "Wrong file (unknown format)", "00000000: 11 FF"},
        {broken, true, "Wrong file (line 2: too short for a record)", "00000000: 22 FF"},
        {start, false, "No chip selected", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        if (c.chip) SelectFromMenu("ATmega8");
        else Ctx().chip.signature = 0;
        Answer(c.file, 1);
        BoxAnswerer boxes(QMessageBox::Ok);
        Trigger("LoadProgramfromFile1");
        EXPECT_TRUE(boxes.seen.empty());
        EXPECT_EQ(LogLines().back(), c.logged);
        if (c.shown) EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QString::fromLatin1(c.shown)));
    }
}

// A file that loaded only in part gets a box that says what is missing; what did load is shown
// over what the view held.
TEST_F(FileMenu, AFileThatLoadedInPartIsShownInABox)
{
    const QString first = folder.filePath(QStringLiteral("first.hex"));
    const QString cut = folder.filePath(QStringLiteral("cut.hex"));
    for (const auto& [name, text] : {std::pair{first, ":0100000011EE\r\n:00000001FF"},
                                     std::pair{cut, ":0100010022DC\r\n"}}) {  // cut: no end record
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    SelectFromMenu("ATmega8");
    HexViewWidget* view = window->View(0);
    Answer(first, 1);
    Trigger("LoadProgramfromFile1");
    Answer(cut, 1);
    BoxAnswerer boxes(QMessageBox::Ok);
    Trigger("LoadProgramfromFile1");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Warning"));
    EXPECT_TRUE(boxes.seen[0].text.contains(cut)) << boxes.seen[0].text.toStdString();
    EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("without an end record"))) << boxes.seen[0].text.toStdString();
    EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: 11 22 FF"))) << view->RowText(0).toStdString();
    EXPECT_EQ(LogLines().back(), "The file ends without an end record: it may have been cut short");
}

// A save writes what the active page shows, edits included; a file refused whole leaves the edits
// in the view alone.
TEST_F(FileMenu, ASaveTakesTheActivePageAndARefusedFileKeepsItsEdits)
{
    SelectFromMenu("ATmega8");
    for (int page : {0, 1}) {
        HexViewWidget* view = window->View(page);
        Find<QTabWidget>("PageControl1")->setCurrentIndex(page);
        view->setFocus();
        view->SetCaret(10);
        QTest::keyClicks(view, page == 0 ? QStringLiteral("0") : QStringLiteral("12"));
    }
    Find<QTabWidget>("PageControl1")->setCurrentIndex(0);
    Answer(folder.filePath(QStringLiteral("p.bin")), FilterBin);
    Trigger("SaveProgramtoFile1");
    QByteArray expected(8192, '\xFF');
    expected[0] = '\x0F';
    EXPECT_EQ(Contents(folder.filePath(QStringLiteral("p.bin"))), expected);

    window->View(0)->setFocus();
    window->View(0)->SetCaret(10);
    QTest::keyClicks(window->View(0), QStringLiteral("A"));  // AF, not yet in the image
    const QString damaged = folder.filePath(QStringLiteral("bad.srec"));
    {
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("S1050000AABB00\nS9030000FC\n");  // a wrong checksum: refused whole
    }
    Answer(damaged, FilterSRecord);
    BoxAnswerer boxes(QMessageBox::Ok);
    Trigger("LoadProgramfromFile1");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: AF FF"))) << "the edit stays";
}

TEST_F(FileMenu, SaveLogAsWritesARichTextDocumentThenLogsTheName)
{
    SelectFromMenu("ATmega8");
    const QString path = folder.filePath(QStringLiteral("session.txt"));  // no extension is added
    Answer(path, 1);
    Trigger("SaveLogas1");
    const QByteArray saved = Contents(path);
    EXPECT_TRUE(saved.startsWith("{\\rtf1"));
    EXPECT_TRUE(saved.contains("Selected chip is  ATmega8"));
    EXPECT_FALSE(saved.contains("Log saved to file"));
    EXPECT_EQ(LogLines().back(), "Log saved to file: " + path.toStdString());

    const std::size_t before = LogLines().size();
    Answer(folder.filePath(QStringLiteral("absent/session.rtf")), 1);
    BoxAnswerer boxes(QMessageBox::Ok);
    Trigger("SaveLogas1");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("session.rtf")));
    EXPECT_EQ(LogLines().size(), before);  // a failed save logs nothing
}

TEST_F(FileMenu, ExitClosesAnOpenPortFirst)
{
    Socket("ATmega8");
    ConnectTo("sim:ATmega8");
    Trigger("Exit1");
    EXPECT_EQ(LogLines().back(), "The COM-port is closed");
    EXPECT_FALSE(Ctx().bus.link.IsOpen());
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace quillon::ui::test
