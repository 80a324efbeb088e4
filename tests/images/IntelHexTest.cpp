#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "images/IntelHex.h"
#include "ImagesFixture.h"
#include "support/Tools.h"

namespace quillon {
namespace {

using test::RandomBytes;
using test::ReadText;
using test::ScratchFolder;
using test::WriteText;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

using test::Quoted;
using test::RunTool;

TEST(IntelHexWriter, BlankProgramOf2048Bytes)
{
    const std::vector<std::uint8_t> blank(2048, 0xFF);
    const std::string text = WriteIntelHex(blank, true);
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 258u);
    EXPECT_EQ(lines[0], ":020000040000FA");
    EXPECT_EQ(lines[1], ":08000000FFFFFFFFFFFFFFFF00");
    EXPECT_EQ(lines[2], ":08000800FFFFFFFFFFFFFFFFF8");
    EXPECT_EQ(lines[256], ":0807F800FFFFFFFFFFFFFFFF01");
    EXPECT_EQ(lines[257], ":00000001FF");
    EXPECT_TRUE(text.ends_with("\r\n:00000001FF")) << "no line break after the end record";
}

TEST(IntelHexWriter, DataFilesHaveNoAddressRecords)
{
    const auto lines = Lines(WriteIntelHex(std::vector<std::uint8_t>(64, 0x00), false));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], ":080000000000000000000000F8");
    EXPECT_EQ(lines[8], ":00000001FF");
}

TEST(IntelHexWriter, AddressRecordBeforeEvery64KiB)
{
    const auto lines = Lines(WriteIntelHex(std::vector<std::uint8_t>(131072, 0xFF), true));
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].starts_with(":02000004")) at.push_back(i);
    ASSERT_EQ(at, (std::vector<std::size_t>{0, 8193}));
    EXPECT_EQ(lines[8193], ":020000040001F9");
    EXPECT_EQ(lines[8194], ":08000000FFFFFFFFFFFFFFFF00");
}

// Every size of the catalogue, flash with address records and EEPROM without: the file the
// writer makes is what srec_cat reads from it, and the reader gives the image back.
struct SizeCase {
    std::uint32_t size;
    bool program;
};

class IntelHexRoundTrip : public ::testing::TestWithParam<SizeCase> {};

TEST_P(IntelHexRoundTrip, WriterAgreesWithSrecordAndReaderReproducesTheImage)
{
    const auto [size, program] = GetParam();
    const auto image = RandomBytes(size, size + program);
    const std::string text = WriteIntelHex(image, program);

    ScratchFolder folder;
    WriteText(folder / "image.hex", text);
    ASSERT_EQ(RunTool("srec_cat " + Quoted(folder / "image.hex") + " -intel -o " +
                  Quoted(folder / "image.bin") + " -binary"), 0);
    const std::string fromTool = ReadText(folder / "image.bin");
    ASSERT_EQ(fromTool.size(), size);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), fromTool.begin(),
                           [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));

    std::vector<std::uint8_t> back(size, 0x00);
    const HexReadResult result = ReadIntelHex(text, back);
    EXPECT_EQ(result.ending, HexReadResult::Ending::EndRecord);
    EXPECT_EQ(result.droppedBytes, 0u);
    EXPECT_EQ(back, image);
}

std::vector<SizeCase> CatalogueSizes()
{
    std::vector<SizeCase> cases;
    for (std::uint32_t s = 1024; s <= 262144; s *= 2) cases.push_back({s, true});
    for (std::uint32_t s = 64; s <= 4096; s *= 2) cases.push_back({s, false});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(IntelHex, IntelHexRoundTrip, ::testing::ValuesIn(CatalogueSizes()),
                         [](const auto& info) {
                             return (info.param.program ? "Flash" : "Eeprom") +
                                    std::to_string(info.param.size);
                         });

// Files made by srec_cat in the dialects a reader meets elsewhere: segment (02) and linear (04)
// addressing, record lengths other than 8, lower-case digits, LF line ends.
struct ReferenceCase {
    const char* name;
    const char* options;  // srec_cat output options
    std::uint32_t offset;
    bool lowerCase;
};

class IntelHexReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(IntelHexReference, ReaderTakesWhatSrecordWrote)
{
    const ReferenceCase& c = GetParam();
    constexpr std::uint32_t kMemory = 262144;
    const auto data = RandomBytes(70000, c.offset + 3);
    ScratchFolder folder;
    std::string bytes(data.begin(), data.end());
    WriteText(folder / "data.bin", bytes);
    ASSERT_EQ(RunTool("srec_cat " + Quoted(folder / "data.bin") + " -binary -offset " +
                  std::to_string(c.offset) + " -o " + Quoted(folder / "data.hex") + " -intel " +
                  c.options),
              0);
    std::string text = ReadText(folder / "data.hex");
    if (c.lowerCase)
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char ch) { return static_cast<char>(std::tolower(static_cast<unsigned char>(ch))); });

    std::vector<std::uint8_t> memory(kMemory, 0xEE);
    const HexReadResult result = ReadIntelHex(text, memory);
    EXPECT_EQ(result.ending, HexReadResult::Ending::EndRecord) << result.reason;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), memory.begin() + c.offset));
    EXPECT_EQ(memory[c.offset - 1], 0xEE) << "bytes the file does not cover keep their value";
    EXPECT_EQ(memory[c.offset + data.size()], 0xEE);
}

INSTANTIATE_TEST_SUITE_P(
    IntelHex, IntelHexReference,
    ::testing::Values(ReferenceCase{"Linear32", "-obs=32", 0x100, false},
                      ReferenceCase{"Segment13", "--address-length=3 -obs=13", 0x8010, false},
                      ReferenceCase{"LinearLowerCase", "-obs=16", 0x1FFF0, true},
                      ReferenceCase{"SegmentOneByteRecords", "--address-length=3 -obs=1", 0x20000, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IntelHexReader, SegmentAndLinearBasesAddUp)
{
    std::vector<std::uint8_t> memory(131072 + 0x10010, 0);
    const std::string text = ":020000021000EC\r\n:0100100042AD\r\n:020000040001F9\r\n:0100100043AC\r\n";
    const HexReadResult result = ReadIntelHex(text, memory);
    EXPECT_EQ(result.ending, HexReadResult::Ending::EndOfText);
    EXPECT_EQ(memory[0x10010], 0x42);
    EXPECT_EQ(memory[0x20010], 0x43);
}

TEST(IntelHexReader, OverlongLineIsRejectedWhole)
{
    std::vector<std::uint8_t> memory(64, 0xFF);
    const HexReadResult result = ReadIntelHex(":10000000" + std::string(100000, '0'), memory);
    EXPECT_EQ(result.ending, HexReadResult::Ending::Rejected);
    EXPECT_EQ(result.reason, " (line 1: its length does not match its byte count of 16)");
    EXPECT_EQ(memory[0], 0xFF);
}

TEST(IntelHexReader, BasesNeverWrapOntoLowAddresses)
{
    std::vector<std::uint8_t> memory(1024, 0);
    // Linear base 0xFFF10000 plus segment base 0xF0000 is exactly 4 GiB: in 32 bits the data at
    // 0x20 would land on address 0x20.
    const std::string text = ":02000004FFF10A\n:02000002F0000C\n:01002000558A\n";
    const HexReadResult result = ReadIntelHex(text, memory);
    EXPECT_EQ(result.ending, HexReadResult::Ending::EndOfText) << result.reason;
    EXPECT_EQ(result.droppedBytes, 1u);
    EXPECT_EQ(result.firstDropped, 0x100000020ull);
    EXPECT_TRUE(std::all_of(memory.begin(), memory.end(), [](auto b) { return b == 0; }));
}

}  // namespace
}  // namespace quillon
