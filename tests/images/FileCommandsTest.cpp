#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include <functional>

#include "core/FileIo.h"
#include "images/FileCommands.h"
#include "images/HexKeys.h"
#include "images/HexRows.h"
#include "images/HexText.h"
#include "ImagesFixture.h"

namespace quillon {
namespace {

using test::RandomBytes;
using test::ReadText;
using test::RecordingProgress;
using test::ScratchFolder;
using test::SelectTestChip;
using test::WriteText;

using Lines = std::vector<std::string>;

class FileCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ctx.progress = &progress;
        SelectTestChip(ctx, 1024, 64);
    }
    // The log lines after those of the set-up.
    Lines Logged() const { return ctx.log.Lines(); }
    std::string Path(const std::string& name) const { return (folder / name); }

    test::TestWorkspace ctx;
    RecordingProgress progress;
    ScratchFolder folder;
};

TEST(FileNames, SaveTargetByFilter)
{
    struct Case {
        const char* name;
        int filter;
        const char* saved;
        FileFormat format;
    };
    for (const Case& c : {
             Case{"prog.HEX", FilterHex, "prog.HEX", FileFormat::IntelHex},
             Case{"prog", FilterHex, "prog.hex", FileFormat::IntelHex},
             // A name that names a format it can be saved in keeps it, whatever the filter.
             Case{"prog.bin", FilterHex, "prog.bin", FileFormat::Binary},
             Case{"prog.s19", FilterBin, "prog.s19", FileFormat::SRecord},
             Case{"prog", FilterSRecord, "prog.srec", FileFormat::SRecord},
             Case{"prog.elf", FilterHex, "prog.elf.hex", FileFormat::IntelHex},
             Case{"v1.2", FilterHex, "v1.2.hex", FileFormat::IntelHex},
             Case{"prog", FilterEep, "prog.eep", FileFormat::IntelHex},
             Case{"data.Eep", FilterEep, "data.Eep", FileFormat::IntelHex},
             Case{"dump.BIN", FilterBin, "dump.BIN", FileFormat::Binary},
             Case{"dump.hex", FilterBin, "dump.hex", FileFormat::IntelHex},
             Case{"x", 0, "x.bin", FileFormat::Binary},
         }) {
        SaveTarget t = SaveTargetFor(c.name, c.filter);
        EXPECT_EQ(t.fileName, c.saved) << c.name << " filter " << c.filter;
        EXPECT_EQ(t.format, c.format) << c.name << " filter " << c.filter;
    }
    EXPECT_EQ(LoadFormatFor("dump.BIN"), FileFormat::Binary);
    EXPECT_EQ(LoadFormatFor("/a.bin/prog.eep"), FileFormat::IntelHex);
    EXPECT_EQ(LoadFormatFor("prog.txt"), FileFormat::IntelHex);
    EXPECT_EQ(LoadFormatFor("in"), FileFormat::IntelHex);
    EXPECT_EQ(LoadFormatFor("app.ELF"), FileFormat::Elf);
    for (const char* name : {"a.srec", "a.S19", "a.s28", "a.s37", "a.mot"})
        EXPECT_EQ(LoadFormatFor(name), FileFormat::SRecord) << name;
}

TEST_F(FileCommands, EepFilterSavesFlashAsIntelHex)
{
    ctx.chip.flash[1] = 0x00;
    ASSERT_TRUE(SaveProgramFile(ctx, Path("prog"), FilterEep));
    EXPECT_EQ(Logged(), (Lines{"Saving program to file: " + Path("prog.eep"), "Operation complete"}));
    const std::string text = ReadText(folder / "prog.eep");
    EXPECT_TRUE(text.starts_with(":020000040000FA\r\n:08000000FF00FFFFFFFFFFFFFF\r\n"));
}

TEST_F(FileCommands, HexLoadOfASavedFileReproducesTheImage)
{
    const auto bytes = RandomBytes(64, 1);
    std::copy(bytes.begin(), bytes.end(), ctx.chip.eeprom.begin());
    ASSERT_TRUE(SaveDataFile(ctx, Path("data"), FilterHex));
    ctx.chip.eeprom.fill(0);
    FileLoad load;
    ASSERT_TRUE(LoadMemoryFile(ctx, Path("data.hex"), MemoryKind::Data, &load));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), ctx.chip.eeprom.begin()));
    EXPECT_TRUE(load.data && !load.program) << "the data image is to be shown again";
    EXPECT_EQ(Logged(), (Lines{"Saving data to file: " + Path("data.hex"), "Operation complete",
                               "Loading data from file: " + Path("data.hex"), "Operation complete"}));
}

// A load that stops at a line still shows what the lines before it stored.
TEST_F(FileCommands, HexLoadStopsAtARecordItDoesNotTake)
{
    const std::string good = ":020000001234B8\r\n";
    struct Case {
        const char* second;
        const char* logged;
    };
    for (const Case& c : {
             Case{":00000003FD", "Wrong file (line 2: a start address record needs four data bytes)"},
             Case{":00000005FB", "Wrong file (line 2: a start address record needs four data bytes)"},
             Case{":00000006FA", "Wrong file (unknown format)"},
             Case{"0200020056782E", "Wrong file (line 2: no colon at its start)"},
             Case{" :0200020056782E", "Wrong file (line 2: no colon at its start)"},
             Case{":0200020056782F", "Wrong file (line 2: wrong checksum)"},
             Case{":020002005", "Wrong file (line 2: too short for a record)"},
             Case{":020002005678", "Wrong file (line 2: its length does not match its byte count of 2)"},
             Case{":0200020056782E00", "Wrong file (line 2: its length does not match its byte count of 2)"},
             Case{":02000200567G2E", "Wrong file (line 2: character 13 is not a hexadecimal digit)"},
             Case{":0100000410EB", "Wrong file (line 2: an address record needs two data bytes)"},
         }) {
        ctx.chip.flash.fill(0xFF);
        const std::size_t before = ctx.log.Size();
        WriteText(folder / "f.hex", good + c.second + "\r\n:010003007785\r\n:00000001FF");
        FileLoad load;
        const Result result = LoadMemoryFile(ctx, Path("f.hex"), MemoryKind::Program, &load);
        EXPECT_EQ(result.failure, FailureKind::FileContent) << c.second;
        EXPECT_EQ(result.Words(), c.logged);
        const Lines all = Logged();
        EXPECT_EQ(Lines(all.begin() + static_cast<long>(before), all.end()),
                  (Lines{"Loading program from file: " + Path("f.hex"), c.logged}));
        EXPECT_TRUE(load.program) << c.second;
        EXPECT_EQ(ctx.chip.flash[0], 0x12) << c.second;
        EXPECT_EQ(ctx.chip.flash[1], 0x34) << c.second;
        EXPECT_EQ(ctx.chip.flash[2], 0xFF) << c.second;
        EXPECT_EQ(ctx.chip.flash[3], 0xFF) << "nothing after the rejected line is read";
    }
}

TEST_F(FileCommands, HexLoadTakesBlankLinesAndAnyLineEnd)
{
    WriteText(folder / "f.hex", "\n:0100000011EE  \r\n\r\n:0100010022DC\t\n:0100020033CA\r:00000001FF\r\n\n");
    EXPECT_TRUE(LoadProgramFile(ctx, Path("f.hex")));
    EXPECT_EQ(Logged().back(), "Operation complete");
    EXPECT_EQ(ctx.chip.flash[0], 0x11);
    EXPECT_EQ(ctx.chip.flash[1], 0x22);
    EXPECT_EQ(ctx.chip.flash[2], 0x33);
}

TEST_F(FileCommands, DataBeyondTheMemoryIsLeftOutAndSaid)
{
    // 4 bytes at 0x3FE..0x401 of a 1024-byte flash: two stored, two left out.
    WriteText(folder / "f.hex", ":0403FE00A1A2A3A471\r\n:00000001FF");
    EXPECT_EQ(LoadMemoryFile(ctx, Path("f.hex"), MemoryKind::Program).failure, FailureKind::FileBeyond);
    EXPECT_EQ(Logged(), (Lines{"Loading program from file: " + Path("f.hex"),
                               "Left out 2 bytes beyond the end of the memory, the first at address 0x00000400"}));
    EXPECT_EQ(ctx.chip.flash[0x3FF], 0xA2);
    EXPECT_EQ(ctx.chip.flash[0x400], 0xFF) << "the image past the chip's size is not written";
}

TEST_F(FileCommands, BinaryLoadTakesWhatFitsAndKeepsTheRest)
{
    ctx.chip.flash[500] = 0x5A;  // as if read from the chip
    const auto file = RandomBytes(100, 2);
    WriteText(folder / "dump.BIN", std::string(file.begin(), file.end()));
    ASSERT_TRUE(LoadProgramFile(ctx, Path("dump.BIN")));
    EXPECT_TRUE(std::equal(file.begin(), file.end(), ctx.chip.flash.begin()));
    EXPECT_EQ(ctx.chip.flash[100], 0xFF);
    EXPECT_EQ(ctx.chip.flash[500], 0x5A);

    const auto longer = RandomBytes(4096, 3);
    WriteText(folder / "e.bin", std::string(longer.begin(), longer.end()));
    EXPECT_EQ(LoadDataFile(ctx, Path("e.bin")).failure, FailureKind::FileBeyond);
    EXPECT_TRUE(std::equal(longer.begin(), longer.begin() + 64, ctx.chip.eeprom.begin()));
    EXPECT_EQ(ctx.chip.eeprom[64], 0xFF);

    WriteText(folder / "empty.bin", "");
    EXPECT_EQ(LoadDataFile(ctx, Path("empty.bin")).failure, FailureKind::FilePart);
    EXPECT_EQ(Logged(), (Lines{"Loading program from file: " + Path("dump.BIN"), "Operation complete",
                               "Loading data from file: " + Path("e.bin"),
                               "Left out 4032 bytes beyond the end of the memory, the first at address 0x00000040",
                               "Loading data from file: " + Path("empty.bin"), "The file is empty: nothing was loaded"}));
}

// A load that did not take the whole file says what is missing, as its result and as its last
// line, and never ends with "Operation complete"; what did load is shown.
TEST_F(FileCommands, IncompleteLoadsSayWhatIsMissing)
{
    struct Case {
        const char* name;
        std::string text;
        FailureKind fault;
        std::string last;
        std::uint8_t first;  // flash[0] afterwards
    };
    const std::string record = ":0100000011EE\r\n";
    const std::string end = ":00000001FF";
    const Case cases[] = {
        {"empty.hex", "", FailureKind::FilePart, "The file is empty: nothing was loaded", 0xFF},
        {"blank.hex", "\r\n  \r\n", FailureKind::FilePart, "The file is empty: nothing was loaded", 0xFF},
        {"cut.hex", record, FailureKind::FilePart, "The file ends without an end record: it may have been cut short",
         0x11},
        {"after.hex", record + end + "\r\n:0100010022DC\r\n", FailureKind::FilePart,
         "The file goes on after its end record: the rest was not loaded", 0x11},
        {"trailing.hex", record + end + "\r\n\x1A", FailureKind::None, "Operation complete", 0x11},
        {"only-end.hex", end, FailureKind::FilePart, "The file holds no data: nothing was loaded", 0xFF},
        {"no-data.hex", ":020000040000FA\r\n:0000000000\r\n" + end, FailureKind::FilePart,
         "The file holds no data: nothing was loaded", 0xFF},
        // A start address (a boot loader's entry, or a PC's) is no reason to refuse the data.
        {"start.hex", record + ":0400000300007E007B\r\n:0400000500007E0079\r\n" + end, FailureKind::None, "Operation complete", 0x11},
        // A linear base of 0xFFFF puts everything far beyond a 1 KiB flash.
        {"high.hex", ":02000004FFFFFC\r\n" + record + end, FailureKind::FileBeyond,
         "Left out 1 byte beyond the end of the memory, the first at address 0xFFFF0000", 0xFF},
        // Cut short and beyond the memory: the fault that --force may not pass wins.
        {"both.hex", ":020000040001F9\r\n" + record, FailureKind::FilePart,
         "Left out 1 byte beyond the end of the memory, the first at address 0x00010000", 0xFF},
        {"long.bin", std::string(1025, 'A'), FailureKind::FileBeyond,
         "Left out 1 byte beyond the end of the memory, the first at address 0x00000400", 'A'},
        // S-records: one byte 0x11 at 0, the S9 end record, and what may follow it.
        {"after.s19", "S104000011EA\nS9030000FC\nS104000122D8\n", FailureKind::FilePart,
         "The file goes on after its end record: the rest was not loaded", 0x11},
        {"trailing.s19", "S104000011EA\nS9030000FC\n\n\x1A", FailureKind::None, "Operation complete", 0x11},
        {"high.s28", "S20501000011E8\nS804000000FB\n", FailureKind::FileBeyond,
         "Left out 1 byte beyond the end of the memory, the first at address 0x00010000", 0xFF},
    };
    for (const Case& c : cases) {
        ctx.chip.flash.fill(0xFF);
        WriteText(folder / c.name, c.text);
        FileLoad load;
        const Result result = LoadMemoryFile(ctx, Path(c.name), MemoryKind::Program, &load);
        EXPECT_EQ(result.failure, c.fault) << c.name;
        EXPECT_EQ(result.Succeeded(), c.fault == FailureKind::None) << c.name;
        EXPECT_EQ(result.Words().empty(), c.fault == FailureKind::None) << c.name;
        EXPECT_EQ(Logged().back(), c.last) << c.name;
        EXPECT_EQ(ctx.chip.flash[0], c.first) << c.name;
        EXPECT_TRUE(load.program) << c.name << ": what did load is shown";
    }
    // The start address is said once, the first one named.
    const Lines all = Logged();
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& l) { return l.find("start address") != std::string::npos; }), 1);
    EXPECT_NE(std::find(all.begin(), all.end(),
                        "The file's start address 0x00007E00 is ignored: the chip starts at its reset vector"),
              all.end());
}

// Inputs must be regular files of a sane size, refused before anything is read or waited for.
TEST_F(FileCommands, InputsThatAreNoRegularFilesAreRefusedAtOnce)
{
    const std::string fifo = Path("fifo.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // nobody writes: opening it plainly would hang
    {
        std::ofstream big(folder / "big.bin", std::ios::binary);
        big.seekp(static_cast<std::streamoff>(kLargestInputFile));
        big.put('x');  // sparse: 64 MiB + 1 byte without filling the disk
    }
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {fifo, "a FIFO, not a regular file"},
        {"/dev/zero", "a device, not a regular file"},
        {Path("big.bin"), "larger than 64 MiB"},
    };
    for (const Case& c : cases) {
        FileLoad load;
        const Result result = LoadMemoryFile(ctx, c.path, MemoryKind::Program, &load);
        EXPECT_EQ(result.failure, FailureKind::File) << c.path;
        EXPECT_EQ(Logged().back(), "Error reading the file: " + c.path + " (" + c.reason + ")");
        EXPECT_FALSE(load.program || load.data) << c.path << ": a refused load must not refresh a view";
    }
}

// In a sticky, world-writable folder (as /tmp is) a link another user planted is not followed:
// the save is refused and the file it points to keeps its content. Our own link there, and one
// of the folder's owner, are followed as anywhere else. Planting another user's link takes root.
TEST_F(FileCommands, ASaveRefusesALinkAnotherUserPlantedInASharedFolder)
{
    namespace fs = std::filesystem;
    if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link takes root";
    const uid_t other = 65534;  // nobody
    ASSERT_EQ(::chmod(folder.path().c_str(), 01777), 0);
    WriteText(folder / "secret.bin", "root's own");
    struct Case {
        const char* link;
        uid_t owner;        // the link's
        uid_t folderOwner;  // the shared folder's
        bool refused;
    };
    for (const Case& c : {Case{"planted.bin", other, 0, true}, Case{"ours.bin", 0, 0, false},
                          Case{"folder-owners.bin", other, other, false}}) {
        WriteText(folder / "secret.bin", "root's own");
        ASSERT_EQ(::chown(folder.path().c_str(), c.folderOwner, 0), 0);
        fs::create_symlink(folder / "secret.bin", folder / c.link);
        ASSERT_EQ(::lchown((folder / c.link).c_str(), c.owner, 0), 0);
        const bool saved = SaveProgramFile(ctx, Path(c.link), FilterBin).Succeeded();
        EXPECT_EQ(saved, !c.refused) << c.link;
        EXPECT_EQ(ReadText(folder / "secret.bin"), c.refused ? "root's own" : std::string(1024, '\xFF')) << c.link;
        EXPECT_TRUE(fs::is_symlink(folder / c.link)) << c.link;
        if (c.refused)
            EXPECT_EQ(Logged().back(), "Error creating the file: " + Path(c.link) +
                                           " (a symbolic link of another user in the shared folder " +
                                           folder.path().string() + "; not followed)");
    }
    ASSERT_EQ(::chown(folder.path().c_str(), 0, 0), 0);
}

// A regular file is replaced whole; a link is followed and stays a link; what is no regular file
// (a device, a FIFO) is written in place and stays what it was.
TEST_F(FileCommands, SavesFollowLinksAndWriteIntoWhatIsNoRegularFile)
{
    namespace fs = std::filesystem;
    WriteText(folder / "target.bin", "old");
    fs::create_symlink(folder / "target.bin", folder / "link.bin");
    fs::create_symlink("made.bin", folder / "dangling.bin");  // relative, to a file not yet there
    const std::string image(1024, '\xFF');
    for (const char* name : {"link.bin", "dangling.bin"}) {
        ASSERT_TRUE(SaveProgramFile(ctx, Path(name), FilterBin)) << name;
        EXPECT_TRUE(fs::is_symlink(folder / name)) << name;
        EXPECT_EQ(ReadText(folder / name), image) << name;
    }
    EXPECT_EQ(ReadText(folder / "target.bin"), image);
    EXPECT_EQ(ReadText(folder / "made.bin"), image);

    ASSERT_TRUE(SaveProgramFile(ctx, "/dev/null", FilterBin));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // A link into /proc stands for an open descriptor, as /dev/stdout does: what is saved goes
    // down the pipe behind it, and the link stays.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    fs::create_symlink("/proc/self/fd/" + std::to_string(pipeEnds[1]), folder / "stdout.bin");
    EXPECT_TRUE(SaveProgramFile(ctx, Path("stdout.bin"), FilterBin));  // 1 KiB fits the pipe's buffer
    ::close(pipeEnds[1]);
    std::string piped;
    char chunk[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;) piped.append(chunk, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    EXPECT_EQ(piped, image);
    EXPECT_TRUE(fs::is_symlink(folder / "stdout.bin"));

    const std::string fifo = Path("pipe.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(SaveProgramFile(ctx, fifo, FilterBin)) << "nobody reads: refused, not waited for";
    EXPECT_EQ(Logged().back(), "Error creating the file: " + fifo + " (a FIFO nobody reads from)");
    std::string received;
    std::thread reader([&] { received = ReadText(fifo); });
    // The reader may not have opened its end yet: try until it has.
    bool saved = false;
    for (int attempt = 0; attempt < 200 && !saved; ++attempt) {
        saved = SaveProgramFile(ctx, fifo, FilterBin).Succeeded();
        if (!saved) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reader.join();
    EXPECT_TRUE(saved);
    EXPECT_EQ(received, image);
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(FileCommands, NoChipLoadsAndSavesNothing)
{
    ctx.chip.signature = 0;
    WriteText(folder / "f.hex", ":0100000011EE\r\n:00000001FF");
    EXPECT_FALSE(LoadProgramFile(ctx, Path("f.hex")));
    EXPECT_FALSE(SaveDataFile(ctx, Path("d"), FilterHex));
    EXPECT_FALSE(SaveProgramFile(ctx, Path("p"), FilterBin));
    EXPECT_EQ(LoadMemoryFile(ctx, Path("f.hex"), MemoryKind::Data).failure, FailureKind::NoChip);
    EXPECT_EQ(SaveMemoryFile(ctx, Path("d"), FilterEep, MemoryKind::Data).failure, FailureKind::NoChip);
    EXPECT_EQ(Logged(), Lines(5, "No chip selected"));
    EXPECT_EQ(ctx.chip.flash[0], 0xFF);
    EXPECT_FALSE(std::filesystem::exists(folder / "d.hex"));
    EXPECT_FALSE(std::filesystem::exists(folder / "p.bin"));
    EXPECT_TRUE(progress.calls.empty());
}

TEST_F(FileCommands, UnreadableFilesLoadNothing)
{
    std::filesystem::create_directory(folder / "dir.hex");
    struct Case {
        std::string name;
        std::string logged;
    };
    for (const Case& c : {Case{"missing.hex", "Error opening the file: " + Path("missing.hex") + " (No such file or directory)"},
                          Case{"missing.bin", "Error opening the file: " + Path("missing.bin") + " (No such file or directory)"},
                          Case{"dir.hex", "Error reading the file: " + Path("dir.hex") + " (Is a directory)"}}) {
        const std::size_t before = ctx.log.Size();
        FileLoad load;
        const Result result = LoadMemoryFile(ctx, Path(c.name), MemoryKind::Program, &load);
        EXPECT_EQ(result.failure, FailureKind::File);
        EXPECT_FALSE(load.program) << c.name << ": a failed load must not refresh the view";
        EXPECT_EQ(result.Words(), c.logged);
        const Lines all = Logged();
        ASSERT_EQ(all.size(), before + 2);
        EXPECT_EQ(all.back(), c.logged);
    }
    EXPECT_FALSE(progress.alive);
}

TEST_F(FileCommands, FailedSaveKeepsWhatWasThere)
{
    std::filesystem::create_directory(folder / "taken.hex");
    const Result result = SaveMemoryFile(ctx, Path("taken.hex"), FilterHex, MemoryKind::Program);
    EXPECT_EQ(result.failure, FailureKind::File);
    EXPECT_EQ(result.Words(), Logged().back());
    EXPECT_TRUE(Logged().back().starts_with("Error creating the file: " + Path("taken.hex") + " ("))
        << Logged().back();
    EXPECT_NE(Logged().back(), "Operation complete");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.hex"));

    EXPECT_FALSE(SaveProgramFile(ctx, Path("no/such/folder/p.hex"), FilterHex));
    EXPECT_EQ(Logged().back(), "Error creating the file: " + Path("no/such/folder/p.hex") +
                                   " (No such file or directory)");

    if (::geteuid() != 0) {
        WriteText(folder / "old.bin", "old");
        std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::owner_exec);
        EXPECT_FALSE(SaveProgramFile(ctx, Path("old.bin"), FilterBin));
        std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all);
        EXPECT_EQ(ReadText(folder / "old.bin"), "old");
    }
    for (const auto& e : std::filesystem::directory_iterator(folder.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos)
            << "temporary file left: " << e.path();
    EXPECT_FALSE(progress.alive);
}

TEST_F(FileCommands, SaveReplacesAnExistingFileAndKeepsItsPermissions)
{
    WriteText(folder / "p.bin", "old content");
    std::filesystem::permissions(folder / "p.bin", std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::owner_write |
                                                       std::filesystem::perms::group_read);
    ASSERT_TRUE(SaveProgramFile(ctx, Path("p.bin"), FilterBin));
    EXPECT_EQ(ReadText(folder / "p.bin"), std::string(1024, '\xFF'));
    EXPECT_EQ(std::filesystem::status(folder / "p.bin").permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
}

// Each command shows one progress window at a time and frees every one it shows, whatever the
// ending.
TEST_F(FileCommands, ProgressWindowsPairUp)
{
    WriteText(folder / "ok.hex", ":0100000011EE\r\n:00000001FF");
    WriteText(folder / "bad.hex", ":00000003FD");
    WriteText(folder / "ok.bin", "abc");
    for (const char* name : {"ok.hex", "bad.hex", "ok.bin", "missing.hex"}) {
        progress.calls.clear();
        LoadProgramFile(ctx, Path(name));
        EXPECT_FALSE(progress.alive) << name;
        EXPECT_EQ(std::count(progress.calls.begin(), progress.calls.end(), "C"),
                  std::count(progress.calls.begin(), progress.calls.end(), "F"))
            << name;
    }
    progress.calls.clear();
    SaveProgramFile(ctx, Path("s"), FilterHex);
    EXPECT_EQ(progress.calls, (Lines{"C", "0", "F"}));

    // Reading moves the bar by lines, after each 1024th line is taken; the end record counts as
    // the end of the file, which moves the bar only when the line count is a multiple of 1024.
    struct LongCase {
        int dataRecords;
        Lines read;
    };
    for (const LongCase& c : {LongCase{2048, {"0", "50"}}, LongCase{1023, {"0", "100"}}}) {
        std::string lines;
        for (int i = 0; i < c.dataRecords; ++i) lines += ":0000000000\r\n";
        WriteText(folder / "long.hex", lines + ":00000001FF");
        progress.calls.clear();
        LoadProgramFile(ctx, Path("long.hex"));
        Lines expected{"C"};
        expected.insert(expected.end(), c.read.begin(), c.read.end());
        expected.push_back("F");
        EXPECT_EQ(progress.calls, expected) << c.dataRecords << " data records";
    }
}

// Log lines and progress windows in the order each command makes them: a load logs its file
// inside its reading window; a save logs before its writing window and completes after it is
// gone.
TEST_F(FileCommands, LogLinesAndProgressWindowsComeInOrder)
{
    WriteText(folder / "ok.hex", ":0100000011EE\r\n:00000001FF");
    WriteText(folder / "ok.bin", "abc");
    ctx.log.SetListener([this](const std::string& line) { progress.calls.push_back("log " + line); });
    struct Case {
        const char* what;
        std::function<Result()> run;
        Lines events;
    };
    const std::string complete = "log Operation complete";
    const Case cases[] = {
        {"hex load", [&] { return LoadProgramFile(ctx, Path("ok.hex")); },
         {"C", "log Loading program from file: " + Path("ok.hex"), "50", complete, "F"}},
        {"binary load", [&] { return LoadDataFile(ctx, Path("ok.bin")); },
         {"log Loading data from file: " + Path("ok.bin"), "C", "1", "F", complete}},
        {"hex save", [&] { return SaveDataFile(ctx, Path("s"), FilterEep); },
         {"log Saving data to file: " + Path("s.eep"), "C", "1", "F", complete}},
        {"binary save", [&] { return SaveProgramFile(ctx, Path("s"), FilterBin); },
         {"log Saving program to file: " + Path("s.bin"), "C", "0", "F", complete}},
    };
    for (const Case& c : cases) {
        progress.calls.clear();
        EXPECT_TRUE(c.run()) << c.what;
        EXPECT_EQ(progress.calls, c.events) << c.what;
    }
    ctx.log.SetListener({});
}

class HexFileRoundTrip : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(HexFileRoundTrip, EveryCatalogueSize)
{
    const std::uint32_t flashSize = GetParam();
    const std::uint32_t eepromSize = std::clamp<std::uint32_t>(flashSize / 64, 64, 4096);
    test::TestWorkspace ctx;
    SelectTestChip(ctx, flashSize, eepromSize);
    ScratchFolder folder;
    const auto flash = RandomBytes(flashSize, flashSize);
    const auto eeprom = RandomBytes(eepromSize, eepromSize + 1);
    std::copy(flash.begin(), flash.end(), ctx.chip.flash.begin());
    std::copy(eeprom.begin(), eeprom.end(), ctx.chip.eeprom.begin());
    ASSERT_TRUE(SaveProgramFile(ctx, (folder / "p.hex"), FilterHex));
    ASSERT_TRUE(SaveDataFile(ctx, (folder / "d.eep"), FilterEep));
    ctx.chip.flash.fill(0);
    ctx.chip.eeprom.fill(0);
    ASSERT_TRUE(LoadProgramFile(ctx, (folder / "p.hex")));
    ASSERT_TRUE(LoadDataFile(ctx, (folder / "d.eep")));
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), ctx.chip.flash.begin()));
    EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.end(), ctx.chip.eeprom.begin()));
    EXPECT_EQ(ctx.log.Lines().back(), "Operation complete");
}

INSTANTIATE_TEST_SUITE_P(FileCommands, HexFileRoundTrip,
                         ::testing::Values(1024, 2048, 4096, 8192, 16384, 32768, 65536, 131072, 262144));

}  // namespace
}  // namespace quillon
