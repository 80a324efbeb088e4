// The ELF loader against programs made by the AVR compiler, with avr-objcopy's extraction of the
// same files as the expected bytes, and against files it must refuse without storing anything.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <vector>

#include "images/ElfFile.h"
#include "images/FileCommands.h"
#include "ImagesFixture.h"

namespace quillon {
namespace {

using test::ReadText;
using test::ScratchFolder;
using test::SelectTestChip;
using test::WriteText;

std::filesystem::path Fixture(const std::string& name)
{
    return std::filesystem::path(QUILLON_BINARY_DIR) / "fixtures" / "avr" / name;
}

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// The compiled program and what avr-objcopy extracts from it; skips the test without them.
struct CompiledProgram {
    std::vector<std::uint8_t> elf, flash, eeprom, fuse, lock;
};

bool LoadFixture(const std::string& name, CompiledProgram& program)
{
    if (!std::filesystem::exists(Fixture(name + ".elf"))) return false;
    program.elf = Bytes(ReadText(Fixture(name + ".elf")));
    program.flash = Bytes(ReadText(Fixture(name + ".flash.bin")));
    program.eeprom = Bytes(ReadText(Fixture(name + ".eeprom.bin")));
    program.fuse = Bytes(ReadText(Fixture(name + ".fuse.bin")));
    program.lock = Bytes(ReadText(Fixture(name + ".lock.bin")));
    return true;
}

struct Memories {
    Memories(std::size_t flashSize, std::size_t eepromSize) : flash(flashSize, 0xFF), eeprom(eepromSize, 0xFF) {}
    std::vector<std::uint8_t> flash, eeprom;
};

std::vector<std::uint8_t> Erased(std::size_t n)
{
    return std::vector<std::uint8_t>(n, 0xFF);
}

TEST(ElfFile, CompiledProgramsLoadAsObjcopyExtractsThem)
{
    struct Case {
        const char* name;
        std::size_t flashSize, eepromSize;
    };
    for (const Case& c : {Case{"app328", 32768, 1024}, Case{"big2560", 262144, 4096}}) {
        SCOPED_TRACE(c.name);
        CompiledProgram program;
        if (!LoadFixture(c.name, program)) GTEST_SKIP() << "the AVR compiler fixtures were not built";
        Memories memory(c.flashSize, c.eepromSize);
        const ElfLoad load = ReadElf(program.elf, memory.flash, memory.eeprom);
        ASSERT_EQ(load.error, "");

        std::vector<std::uint8_t> flash = program.flash;
        flash.resize(c.flashSize, 0xFF);
        EXPECT_EQ(memory.flash, flash);
        std::vector<std::uint8_t> eeprom = program.eeprom;
        eeprom.resize(c.eepromSize, 0xFF);
        EXPECT_EQ(memory.eeprom, eeprom);
        EXPECT_EQ(load.fuses, program.fuse);
        EXPECT_EQ(load.lock.has_value(), !program.lock.empty());
        if (load.lock) EXPECT_EQ(*load.lock, program.lock[0]);

        EXPECT_EQ(load.flash.droppedBytes, 0u);
        EXPECT_EQ(load.flash.loadedBytes, program.flash.size());
        // .text and .data lie back to back from address 0.
        EXPECT_EQ(load.flash.covered, (std::vector<AddressRange>{{0, program.flash.size()}}));
        EXPECT_EQ(load.eeprom.covered, (std::vector<AddressRange>{{0, program.eeprom.size()}}));
    }
}

TEST(ElfFile, TheBigProgramInASmallerFlashIsCutAtItsEnd)
{
    CompiledProgram program;
    if (!LoadFixture("big2560", program)) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    ASSERT_GT(program.flash.size(), 65536u);
    Memories memory(65536, 4096);
    const ElfLoad load = ReadElf(program.elf, memory.flash, memory.eeprom);
    ASSERT_EQ(load.error, "");
    EXPECT_EQ(load.flash.droppedBytes, program.flash.size() - 65536);
    EXPECT_EQ(load.flash.firstDropped, 65536u);
    EXPECT_EQ(memory.flash, std::vector<std::uint8_t>(program.flash.begin(), program.flash.begin() + 65536));
}

TEST(ElfFile, FilesThatAreNotLinkedAvrProgramsStoreNothing)
{
    CompiledProgram program;
    if (!LoadFixture("app328", program)) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    auto patched = [&](std::size_t offset, std::uint8_t value) {
        std::vector<std::uint8_t> bytes = program.elf;
        bytes[offset] = value;
        return bytes;
    };
    auto cut = [&](std::size_t size) { return std::vector<std::uint8_t>(program.elf.begin(), program.elf.begin() + size); };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> file;
        const char* says;
    };
    for (const Case& c : {
             Case{"Intel HEX text", Bytes(":00000001FF\r\n"), "not an ELF file"},
             Case{"empty", {}, "not an ELF file"},
             Case{"for ARM", patched(18, 40), "another processor (machine 40)"},
             Case{"an object file", patched(16, 1), "not a linked program"},
             Case{"cut in its header", cut(30), "cut short"},
             Case{"cut in its program", cut(0x100), "cut short"},
             Case{"cut before its section table", cut(program.elf.size() - 200), "cut short"},
         }) {
        Memories memory(32768, 1024);
        const ElfLoad load = ReadElf(c.file, memory.flash, memory.eeprom);
        EXPECT_NE(load.error.find(c.says), std::string::npos) << c.what << ": " << load.error;
        EXPECT_EQ(memory.flash, Erased(32768)) << c.what;
        EXPECT_EQ(memory.eeprom, Erased(1024)) << c.what;
        EXPECT_FALSE(load.HasFuses()) << c.what;
    }
}

class ElfCommands : public ::testing::Test {
protected:
    void SetUp() override { SelectTestChip(ctx, 32768, 1024, 0x0F951E, "ATmega328P"); }
    test::TestWorkspace ctx;
    ScratchFolder folder;
};

TEST_F(ElfCommands, LoadingTheProgramFillsBothImagesAndOffersTheFuses)
{
    CompiledProgram program;
    if (!LoadFixture("app328", program)) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    const std::string path = Fixture("app328.elf").string();
    FileLoad load;
    ASSERT_EQ(LoadMemoryFile(ctx, path, MemoryKind::Program, &load).ending, Ending::Succeeded);
    EXPECT_TRUE(load.program && load.data) << "both images are to be shown again";
    const std::optional<FileFuses>& fuses = load.fuses;
    EXPECT_EQ(ctx.log.Lines(),
              (std::vector<std::string>{"Loading program from file: " + path, "Operation complete",
                                        "EEPROM data from the file: 8 bytes",
                                        "Fuse and lock bytes in the file, not written until asked: fuses (low first) "
                                        "E2 D9 FD, lock FE"}));
    ASSERT_TRUE(fuses);
    EXPECT_EQ(fuses->fuses, program.fuse);
    EXPECT_EQ(fuses->lock, program.lock[0]);
    EXPECT_TRUE(std::equal(program.flash.begin(), program.flash.end(), ctx.chip.flash.begin()));
    EXPECT_TRUE(std::equal(program.eeprom.begin(), program.eeprom.end(), ctx.chip.eeprom.begin()));
    EXPECT_EQ(ctx.chip.lockFuse, (std::array<std::uint8_t, 8>{})) << "loading never touches the fuse slots";
}

TEST_F(ElfCommands, LoadingDataTakesOnlyTheEepromAndARefusedFileLoadsNothing)
{
    CompiledProgram program;
    if (!LoadFixture("app328", program)) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    ASSERT_EQ(LoadMemoryFile(ctx, Fixture("app328.elf").string(), MemoryKind::Data).ending, Ending::Succeeded);
    EXPECT_TRUE(std::equal(program.eeprom.begin(), program.eeprom.end(), ctx.chip.eeprom.begin()));
    EXPECT_EQ(ctx.chip.flash[0], 0xFF);

    const std::string bad = (folder / "prog.elf");
    WriteText(folder / "prog.elf", std::string(program.elf.begin(), program.elf.begin() + 0x100));
    ctx.chip.flash.fill(0xFF);
    EXPECT_EQ(LoadMemoryFile(ctx, bad, MemoryKind::Program).failure, FailureKind::FileContent);
    EXPECT_EQ(ctx.log.Lines().back().rfind("Cannot load " + bad + ": the file is cut short", 0), 0u)
        << ctx.log.Lines().back();
    EXPECT_EQ(ctx.chip.flash[0], 0xFF);
}

// Data that does not fit the memory the file is loaded for fails the load as beyond the memory,
// which --force may accept; the EEPROM section that comes along with a program only says so.
TEST(ElfCommandsBeyond, DataBeyondTheMemoryLoadedForFailsTheLoad)
{
    CompiledProgram program;
    if (!LoadFixture("app328", program)) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    ASSERT_GT(program.flash.size(), 256u);
    ASSERT_EQ(program.eeprom.size(), 8u);
    struct Case {
        std::uint32_t flash, eeprom;
        MemoryKind kind;
        FailureKind fault;
        std::string leftOut;  // the line that says what was left out, as the result's words
    };
    const Case cases[] = {
        {256, 1024, MemoryKind::Program, FailureKind::FileBeyond,
         "Left out " + std::to_string(program.flash.size() - 256) +
             " bytes beyond the end of the memory, the first at address 0x00000100"},
        {32768, 4, MemoryKind::Data, FailureKind::FileBeyond,
         "Left out 4 bytes beyond the end of the memory, the first at address 0x00000004"},
        {32768, 4, MemoryKind::Program, FailureKind::None, ""},
    };
    for (const Case& c : cases) {
        test::TestWorkspace ctx;
        SelectTestChip(ctx, c.flash, c.eeprom, 0x0F951E, "ATmega328P");
        const Result result = LoadMemoryFile(ctx, Fixture("app328.elf").string(), c.kind);
        const auto lines = ctx.log.Lines();
        EXPECT_EQ(result.failure, c.fault) << c.flash << " " << c.eeprom;
        EXPECT_EQ(result.Words(), c.leftOut);
        const bool complete = std::find(lines.begin(), lines.end(), "Operation complete") != lines.end();
        EXPECT_EQ(complete, c.fault == FailureKind::None) << c.flash << " " << c.eeprom;
        if (c.fault != FailureKind::None) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.leftOut), lines.end());
        }
    }
}

}  // namespace
}  // namespace quillon
