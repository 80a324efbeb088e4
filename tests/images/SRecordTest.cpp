// The S-record reader and writer against the srecord tools, which read and write the format
// independently, and against damaged files that must be refused with their line named.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "images/FileCommands.h"
#include "images/SRecord.h"
#include "ImagesFixture.h"
#include "support/Tools.h"

namespace quillon {
namespace {

using test::RandomBytes;
using test::ReadText;
using test::ScratchFolder;
using test::SelectTestChip;
using test::WriteText;

using test::Quoted;
using test::RunTool;

TEST(SRecord, WrittenFilesMatchTheirImageForSrecCmpInEveryWidth)
{
    struct Case {
        const char* name;
        std::size_t size;
        char dataType;  // of the first data record
    };
    ScratchFolder folder;
    for (const Case& c : {Case{"small.srec", 1024, '1'}, Case{"wide.s37", 1024, '3'},
                          Case{"big.s19", 262144, '2'} /* too big for S1: S2 whatever the name */}) {
        const std::vector<std::uint8_t> image = RandomBytes(c.size, static_cast<unsigned>(c.size));
        const std::string text = WriteSRecord(image, SRecordWidthFor(c.name));
        WriteText(folder / c.name, text);
        WriteText(folder / "image.bin", std::string(image.begin(), image.end()));
        EXPECT_EQ(text.substr(text.find('\n') + 1, 2), std::string("S") + c.dataType) << c.name;
        EXPECT_EQ(RunTool("srec_cmp " + Quoted(folder / c.name) + " " + Quoted(folder / "image.bin") + " -binary"), 0)
            << c.name;

        std::vector<std::uint8_t> back(c.size, 0x00);
        const SRecordLoad load = ReadSRecord(text, back);
        EXPECT_EQ(load.error, "") << c.name;
        EXPECT_EQ(back, image) << c.name;
        EXPECT_EQ(load.memory.covered, (std::vector<AddressRange>{{0, c.size}})) << c.name;
    }
}

TEST(SRecord, FilesFromSrecCatLoadWhereTheySay)
{
    ScratchFolder folder;
    const std::vector<std::uint8_t> data = RandomBytes(300, 7);
    WriteText(folder / "data.bin", std::string(data.begin(), data.end()));
    for (const char* width : {"2", "3", "4"}) {
        ASSERT_EQ(RunTool("srec_cat " + Quoted(folder / "data.bin") + " -binary -offset 0x100 -o " +
                          Quoted(folder / "out.srec") + " -motorola -address-length=" + width +
                          " -enable=data-count"),
                  0);
        std::vector<std::uint8_t> memory(1024, 0xFF);
        const SRecordLoad load = ReadSRecord(ReadText(folder / "out.srec"), memory);
        ASSERT_EQ(load.error, "") << width;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), memory.begin() + 0x100)) << width;
        EXPECT_EQ(memory[0xFF], 0xFF);
        EXPECT_EQ(memory[0x100 + 300], 0xFF);
        EXPECT_EQ(load.memory.covered, (std::vector<AddressRange>{{0x100, 0x100 + 300}})) << width;
    }
}

TEST(SRecord, DamagedFilesAreRefusedNamingTheLineAndStoreNothing)
{
    const std::string header = "S00600004844521B\n";
    const std::string good = "S107000001020304EE\n";  // 01 02 03 04 at 0
    const std::string end = "S9030000FC\n";
    struct Case {
        const char* what;
        std::string text;
        const char* says;
    };
    for (const Case& c : {
             Case{"bad checksum", header + "S107000001020304EF\n" + end, "line 2: checksum mismatch"},
             Case{"count too big", header + "S108000001020304EE\n" + end, "line 2: the byte count says 8"},
             Case{"count too small", header + good + "S106000001020304EE\n" + end, "line 3: the byte count says 6"},
             Case{"reserved type", header + "S4030000FC\n" + end, "line 2: unknown record type S4"},
             Case{"no type", good + "S\n" + end, "line 2: the record type is missing"},
             Case{"not a record", good + ":00000001FF\n" + end, "line 2: not an S-record"},
             Case{"not hex", "S10700000102030GEE\n" + end, "line 1: a character that is not a hex digit"},
             Case{"odd digits", "S107000001020304E\n" + end, "line 1: an odd number of hex digits"},
             Case{"short for its address", "S2030000FC\n" + end, "line 1: the record is too short"},
             Case{"wrong record count", header + good + "S5030002FA\n" + end, "line 3: the record count says 2"},
             Case{"mixed widths", good + "S20800001001020304DD\n" + end, "line 2: an S2 record among S1"},
             Case{"end of another width", good + "S804000000FB\n", "line 2: an S8 end record after S1"},
             Case{"no end record", header + good, "line 2: the file ends without an end record"},
             Case{"a count, then more data", good + "S5030001FB\n" + good, "line 3: the file ends without"},
             Case{"empty", "", "line 1: the file is empty"},
         }) {
        std::vector<std::uint8_t> memory(64, 0xFF);
        const SRecordLoad load = ReadSRecord(c.text, memory);
        EXPECT_NE(load.error.find(c.says), std::string::npos) << c.what << ": " << load.error;
        EXPECT_EQ(memory, std::vector<std::uint8_t>(64, 0xFF)) << c.what;
    }
    std::vector<std::uint8_t> memory(64, 0xFF);
    EXPECT_EQ(ReadSRecord(header + "\r\n" + good + "S5030001FB\r\n" + end + "junk after the end", memory).error, "");
    EXPECT_EQ(memory[3], 0x04);
    // As srecord's tools write it: the record count last, no end record.
    EXPECT_EQ(ReadSRecord(good + "S5030001FB\n", memory).error, "");
}

TEST(SRecord, BytesBeyondTheMemoryAreCountedNotStored)
{
    std::vector<std::uint8_t> memory(0x40, 0xFF);
    // Eight bytes at 0x3C: four fit.
    const SRecordLoad load = ReadSRecord("S10B003C010203040506070894\nS9030000FC\n", memory);
    ASSERT_EQ(load.error, "");
    EXPECT_EQ(load.memory.loadedBytes, 4u);
    EXPECT_EQ(load.memory.droppedBytes, 4u);
    EXPECT_EQ(load.memory.firstDropped, 0x40u);
    EXPECT_EQ(memory[0x3F], 0x04);
}

TEST(SRecordCommands, SavedUnderTheSRecordFilterAndLoadedBack)
{
    test::TestWorkspace ctx;
    ScratchFolder folder;
    SelectTestChip(ctx, 2048, 128);
    const std::vector<std::uint8_t> image = RandomBytes(2048, 3);
    std::copy(image.begin(), image.end(), ctx.chip.flash.begin());
    const std::string base = (folder / "prog");
    ASSERT_EQ(SaveMemoryFile(ctx, base, FilterSRecord, MemoryKind::Program).ending, Ending::Succeeded);
    EXPECT_EQ(ctx.log.Lines().front(), "Saving program to file: " + base + ".srec");

    ctx.chip.flash.fill(0xFF);
    ASSERT_EQ(LoadMemoryFile(ctx, base + ".srec", MemoryKind::Program).ending, Ending::Succeeded);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), ctx.chip.flash.begin()));

    // A damaged copy is refused whole: the image keeps what it had.
    std::string text = ReadText(base + ".srec");
    text[text.rfind("S9") - 3] ^= 1;  // the last data record's checksum
    WriteText(folder / "bad.srec", text);
    ctx.chip.flash.fill(0xFF);
    FileLoad load;
    EXPECT_EQ(LoadMemoryFile(ctx, (folder / "bad.srec"), MemoryKind::Program, &load).failure,
              FailureKind::FileContent);
    EXPECT_FALSE(load.program) << "nothing loaded, so the view keeps what it shows";
    EXPECT_EQ(ctx.log.Lines().back(),
              "Cannot load " + (folder / "bad.srec") + ": line 129: checksum mismatch; nothing was loaded");
    EXPECT_EQ(ctx.chip.flash[0], 0xFF);
}

}  // namespace
}  // namespace quillon
