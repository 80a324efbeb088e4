#include <gtest/gtest.h>

#include <filesystem>

#include "images/ElfFile.h"
#include "images/IntelHex.h"
#include "images/SRecord.h"
#include "ImagesFixture.h"

namespace quillon {
namespace {

// Every input the fuzzer was seeded with or found stays a regression case of the reader: it
// must end in one of its three ways, and never write outside the memory it is given.
TEST(FuzzCorpus, ReaderTakesEveryInputSafely)
{
    const std::filesystem::path corpus = std::filesystem::path(QUILLON_SOURCE_DIR) / "fuzz/corpus/hex";
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    bool any = false;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        any = true;
        const std::string text = test::ReadText(entry.path());
        for (std::size_t size : {std::size_t{64}, std::size_t{262144}}) {
            // The memory sits inside a larger buffer whose margins must stay untouched.
            std::vector<std::uint8_t> buffer(size + 32, 0xA5);
            const HexReadResult result =
                ReadIntelHex(text, std::span(buffer).subspan(16, size));
            EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 16, [](auto b) { return b == 0xA5; }))
                << entry.path();
            EXPECT_TRUE(std::all_of(buffer.end() - 16, buffer.end(), [](auto b) { return b == 0xA5; }))
                << entry.path();
            if (result.ending == HexReadResult::Ending::Rejected) {
                EXPECT_TRUE(result.reason.starts_with(" (")) << entry.path();
            }
        }
    }
    EXPECT_TRUE(any) << "the corpus is empty";
}

// The ELF and S-record corpora likewise: the images sit inside margins that must stay untouched.
TEST(FuzzCorpus, ElfAndSRecordReadersTakeEveryInputSafely)
{
    for (const char* reader : {"elf", "srec"}) {
        const std::filesystem::path corpus = std::filesystem::path(QUILLON_SOURCE_DIR) / "fuzz/corpus" / reader;
        ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
        for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
            if (!entry.is_regular_file()) continue;
            const std::string text = test::ReadText(entry.path());
            std::vector<std::uint8_t> buffer(64 + 32 + 16 + 32, 0xA5);
            std::span<std::uint8_t> flash = std::span(buffer).subspan(16, 64);
            std::span<std::uint8_t> eeprom = std::span(buffer).subspan(16 + 64 + 32, 16);
            if (std::string_view(reader) == "elf")
                ReadElf({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, flash, eeprom);
            else
                ReadSRecord(text, flash);
            for (std::size_t i : {std::size_t{0}, std::size_t{15}, std::size_t{80}, std::size_t{111}, buffer.size() - 1})
                EXPECT_EQ(buffer[i], 0xA5) << entry.path() << " byte " << i;
        }
    }
}

}  // namespace
}  // namespace quillon
