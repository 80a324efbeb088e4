// The File menu: saving and loading a program through the dialogs' answers, failures that name
// the file and the system's reason, Save Log as, and Exit closing the port first.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QTemporaryDir>

#include "images/FileCommands.h"
#include "ui/HexViewWidget.h"
#include "SimWindowFixture.h"
#include "ui/ObjectNames.h"

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
    Trigger(names::kSaveProgram);
    const QByteArray saved = Contents(folder.filePath(QStringLiteral("prog.hex")));
    ASSERT_FALSE(saved.isEmpty());
    EXPECT_TRUE(saved.startsWith(":020000040000FA\r\n:08000000ABFFFFFFFFFFFFFF"));
    EXPECT_TRUE(saved.endsWith(":00000001FF"));

    SelectFromMenu("ATmega8");  // a new selection shows FF again
    EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: FF")));
    Answer(folder.filePath(QStringLiteral("prog.hex")), 3);
    Trigger(names::kLoadProgram);
    EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: AB FF")));
    EXPECT_EQ(LogLines().back(), "Loaded 8192 bytes at 0x0000\u20130x1FFF from prog.hex; that is the whole flash");
}

TEST_F(FileMenu, ATypedExtensionChoosesTheFormatOverTheFilter)
{
    SelectFromMenu("ATmega8");
    Answer(folder.filePath(QStringLiteral("dump.bin")), FilterHex);
    Trigger(names::kSaveProgram);
    EXPECT_EQ(Contents(folder.filePath(QStringLiteral("dump.bin"))), QByteArray(8192, '\xFF'));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("dump.bin.hex"))));

    Answer(folder.filePath(QStringLiteral("dump")), FilterSRecord);
    Trigger(names::kSaveProgram);
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
    Trigger(names::kLoadProgram);
    for (const char* filter : {"Intel HEX (*.hex *.eep)", "ELF (*.elf)", "S-record (*.srec *.s19 *.s28 *.s37 *.mot)",
                               "Raw binary (*.bin)"})
        EXPECT_TRUE(openFilters.contains(QString::fromLatin1(filter))) << filter;

    answer(saveFilters, QStringLiteral("S-record (*.srec *.s19 *.s28 *.s37 *.mot)"));
    Trigger(names::kSaveProgram);
    EXPECT_FALSE(saveFilters.contains(QStringLiteral("ELF (*.elf)")));
    EXPECT_TRUE(Contents(bare + QStringLiteral(".srec")).startsWith("S0"));
}

TEST_F(FileMenu, FilesThatCannotBeReadOrWrittenAreReportedWithTheirName)
{
    SelectFromMenu("ATmega8");
    const QString missing = folder.filePath(QStringLiteral("no/such/folder/prog.hex"));
    for (const char* item : {names::kSaveProgram, names::kLoadProgram, names::kLoadData}) {
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

// Intel HEX of `bytes` at `address`, 16 bytes a record, with the end record.
QByteArray HexFile(std::uint16_t address, const std::vector<std::uint8_t>& bytes)
{
    QByteArray text;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, bytes.size() - at);
        const auto where = static_cast<std::uint16_t>(address + at);
        std::vector<std::uint8_t> record = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(where >> 8),
                                            static_cast<std::uint8_t>(where), 0};
        record.insert(record.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        std::uint8_t sum = 0;
        for (std::uint8_t b : record) sum = static_cast<std::uint8_t>(sum + b);
        record.push_back(static_cast<std::uint8_t>(-sum));
        text += ':' + QByteArray(reinterpret_cast<const char*>(record.data()), static_cast<qsizetype>(record.size()))
                          .toHex()
                          .toUpper() +
                "\r\n";
    }
    return text + ":00000001FF";
}

// A load replaces what the view held: a program loaded after another file shows 0xFF where the
// other one had bytes, and verifies clean against the chip that holds it. Loading over what the
// view holds is a menu item of its own.
TEST_F(FileMenu, ALoadReplacesTheViewAndTheProgramVerifiesClean)
{
    StartWith("ATmega328P");
    Find<QSlider>(names::kDelay)->setValue(0);
    std::vector<std::uint8_t> program(188);
    for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::copy(program.begin(), program.end(), Chip().flash.begin());
    const QString blink = folder.filePath(QStringLiteral("blink.hex"));
    const QString patch = folder.filePath(QStringLiteral("patch.hex"));
    for (const auto& [name, text] : {std::pair{patch, HexFile(0xB0, std::vector<std::uint8_t>(16, 0x55))},
                                     std::pair{blink, HexFile(0, program)}}) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    HexViewWidget* view = window->View(0);
    Answer(patch, FilterAny);
    Trigger(names::kLoadProgram);
    EXPECT_TRUE(view->RowText(11).startsWith(QStringLiteral("000000B0: 55 55")));
    Answer(blink, FilterAny);
    Trigger(names::kLoadProgram);
    EXPECT_TRUE(Logged("Loaded 188 bytes at 0x0000\u20130x00BB from blink.hex; the rest of the flash is 0xFF"));
    std::vector<std::uint8_t> expected(32768, 0xFF);
    std::copy(program.begin(), program.end(), expected.begin());
    const auto shown = Views().view[0].document.Bytes();
    EXPECT_TRUE(std::equal(shown.begin(), shown.end(), expected.begin(), expected.end()));
    EXPECT_TRUE(view->RowText(12).endsWith(QStringLiteral("................"))) << view->RowText(12).toStdString();
    Click(names::kVerifyProgram);  // Verify Program
    EXPECT_TRUE(Logged("       Finished. No differences found.")) << LogLines().back();
    EXPECT_EQ(Status(), "Verify Program succeeded in <time>");

    // Over what the view holds: the patch's bytes go over the program, the rest stays.
    Answer(patch, FilterAny);
    Trigger(names::kLoadProgramOver);
    EXPECT_TRUE(Logged("Loaded 16 bytes at 0x00B0\u20130x00BF from patch.hex; the rest of the flash is as it was"));
    EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: 03 0A")));
    EXPECT_TRUE(view->RowText(11).startsWith(QStringLiteral("000000B0: 55 55")));
}

// Edits not yet saved, written or replaced by a read are asked about before a load, a chip change
// or quitting throws them away; No keeps them.
TEST_F(FileMenu, UnsavedEditsAreAskedAboutBeforeTheyAreLost)
{
    SelectFromMenu("ATmega8");
    const QString good = folder.filePath(QStringLiteral("good.hex"));
    {
        QFile file(good);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(HexFile(0, {0x11}));
    }
    HexViewWidget* view = window->View(0);
    view->setFocus();
    view->SetCaret(10);
    QTest::keyClicks(view, QStringLiteral("ab"));
    Answer(good, FilterAny);
    {
        BoxAnswerer boxes(QMessageBox::No);
        Trigger(names::kLoadProgram);
        Trigger("ATmega16");
        window->close();
        ASSERT_EQ(boxes.seen.size(), 3u);
        EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Unsaved changes"));
        EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("the flash view of Page1"))) << boxes.seen[0].text.toStdString();
        EXPECT_TRUE(boxes.seen[1].text.contains(QStringLiteral("Select another chip"))) << boxes.seen[1].text.toStdString();
        EXPECT_TRUE(boxes.seen[2].text.contains(QStringLiteral("Quit"))) << boxes.seen[2].text.toStdString();
    }
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Find<QLineEdit>(names::kChipName)->text(), QStringLiteral("ATmega8"));
    EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: AB FF")));

    BoxAnswerer boxes(QMessageBox::Yes);
    Trigger(names::kLoadProgram);
    EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: 11 FF")));
    Trigger("ATmega16");  // nothing edited since the load: no question
    EXPECT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(Find<QLineEdit>(names::kChipName)->text(), QStringLiteral("ATmega16"));
}

// A file the loader does not take loads nothing, in every format: the view stays as it was, a
// box names the file, the line and the reason, and the status bar says the load failed. A load
// without a chip is told in the log alone.
TEST_F(FileMenu, RefusedFilesLoadNothingAndAreShownInABox)
{
    struct Case {
        const char* name;
        const char* text;
        std::string reason;
    };
    const Case cases[] = {
        {"foreign.hex", ":0100000011EE\r\n:0400000600000000F6\r\n:00000001FF", "Wrong file (unknown format)"},
        {"broken.hex", ":0100000022DD\r\n:01000100\r\n:00000001FF", "Wrong file (line 2: too short for a record)"},
        {"cut.hex", ":0100010022DC\r\n", "The file ends without an end record"},
        {"after.hex", ":0100010022DC\r\n:00000001FF\r\n:0100020033CA\r\n", "The file goes on after its end record"},
        {"bad.srec", "S1050000AABB00\nS9030000FC\n", "line 1"},
        {"bad.elf", "\x7F" "ELF, cut short", "ELF"},
    };
    SelectFromMenu("ATmega8");
    const QString good = folder.filePath(QStringLiteral("good.hex"));
    {
        QFile file(good);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(":0200000011EEFF\r\n:00000001FF");
    }
    Answer(good, FilterAny);
    Trigger(names::kLoadProgram);
    HexViewWidget* view = window->View(0);
    ASSERT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: 11 EE FF"))) << view->RowText(0).toStdString();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder.filePath(QString::fromLatin1(c.name));
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.text);
        }
        Answer(path, FilterAny);
        BoxAnswerer boxes(QMessageBox::Ok);
        Trigger(names::kLoadProgram);
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Error"));
        EXPECT_TRUE(boxes.seen[0].text.contains(path)) << boxes.seen[0].text.toStdString();
        EXPECT_TRUE(boxes.seen[0].text.contains(QString::fromStdString(c.reason))) << boxes.seen[0].text.toStdString();
        EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("Nothing was loaded"))) << boxes.seen[0].text.toStdString();
        EXPECT_TRUE(view->RowText(0).startsWith(QStringLiteral("00000000: 11 EE FF"))) << view->RowText(0).toStdString();
        EXPECT_EQ(CurrentSession().chip.flash[0], 0x11) << "the image is untouched too";
        EXPECT_EQ(Status().rfind("Load Program failed after <time>: ", 0), 0u) << Status();
        EXPECT_EQ(LogLines().back(), "Nothing was loaded from " + std::string(c.name) + ": the views are as they were");
    }

    CurrentSession().chip.signature = 0;
    Answer(good, FilterAny);
    BoxAnswerer boxes(QMessageBox::Ok);
    Trigger(names::kLoadProgram);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(LogLines().back(), "No chip selected");
}

// Data beyond the memory's end is left out, and a box says so; what fits is loaded.
TEST_F(FileMenu, AFileWithDataBeyondTheMemoryLoadsWhatFitsAndSaysSo)
{
    const QString beyond = folder.filePath(QStringLiteral("beyond.hex"));
    {
        QFile file(beyond);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(":0100000011EE\r\n:020000040001F9\r\n:0100000022DD\r\n:00000001FF");  // 0x10000 is beyond
    }
    SelectFromMenu("ATmega8");
    Answer(beyond, 1);
    BoxAnswerer boxes(QMessageBox::Ok);
    Trigger(names::kLoadProgram);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Warning"));
    EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("Left out 1 byte"))) << boxes.seen[0].text.toStdString();
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: 11 FF")));
    EXPECT_TRUE(Logged("Loaded 1 byte at 0x0000 from beyond.hex; the rest of the flash is 0xFF"));
}

// A save writes what the active page shows, edits included; a file refused whole leaves the edits
// in the view alone.
TEST_F(FileMenu, ASaveTakesTheActivePageAndARefusedFileKeepsItsEdits)
{
    SelectFromMenu("ATmega8");
    for (int page : {0, 1}) {
        HexViewWidget* view = window->View(page);
        Find<QTabWidget>(names::kPages)->setCurrentIndex(page);
        view->setFocus();
        view->SetCaret(10);
        QTest::keyClicks(view, page == 0 ? QStringLiteral("0") : QStringLiteral("12"));
    }
    Find<QTabWidget>(names::kPages)->setCurrentIndex(0);
    Answer(folder.filePath(QStringLiteral("p.bin")), FilterBin);
    Trigger(names::kSaveProgram);
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
    BoxAnswerer boxes(QMessageBox::Yes);  // to losing the edit, then Ok to the error
    Trigger(names::kLoadProgram);
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Unsaved changes"));
    EXPECT_TRUE(window->View(0)->RowText(0).startsWith(QStringLiteral("00000000: AF FF"))) << "the edit stays";
}

TEST_F(FileMenu, SaveLogAsWritesARichTextDocumentThenLogsTheName)
{
    SelectFromMenu("ATmega8");
    const QString path = folder.filePath(QStringLiteral("session.txt"));  // no extension is added
    Answer(path, 1);
    Trigger(names::kSaveLog);
    const QByteArray saved = Contents(path);
    EXPECT_TRUE(saved.startsWith("{\\rtf1"));
    EXPECT_TRUE(saved.contains("Selected chip is  ATmega8"));
    EXPECT_FALSE(saved.contains("Log saved to file"));
    EXPECT_EQ(LogLines().back(), "Log saved to file: " + path.toStdString());

    const std::size_t before = LogLines().size();
    Answer(folder.filePath(QStringLiteral("absent/session.rtf")), 1);
    BoxAnswerer boxes(QMessageBox::Ok);
    Trigger(names::kSaveLog);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("session.rtf")));
    EXPECT_EQ(LogLines().size(), before);  // a failed save logs nothing
}

TEST_F(FileMenu, ExitClosesAnOpenPortFirst)
{
    Socket("ATmega8");
    ConnectTo("sim:ATmega8");
    Trigger(names::kExit);
    EXPECT_EQ(LogLines().back(), "The COM-port is closed");
    EXPECT_FALSE(CurrentSession().bus.link.IsOpen());
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace quillon::ui::test
