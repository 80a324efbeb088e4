// The memory walk on a made-up unit that notes every call: where pages are committed, what the
// progress bar is told, what a verify leaves in the caller's image, a unit lacking a step, and
// a byte out of step behind an answer.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "chips/MemoryWalk.h"
#include "gateway/Bus.h"
#include "support/ScriptedTransport.h"

namespace quillon::test {
namespace {

std::vector<std::string> calls;
std::uint8_t chipByte = 0x00;  // what every read gives
// A byte the gateway sends late behind the answer of the read at `strayAt`.
ScriptedWire* strayWire = nullptr;
std::int32_t strayAt = -1;

bool Enter(Bus&, const Target&) { return calls.push_back("enter"), true; }
bool Erase(Bus&, const Target&) { return calls.push_back("erase"), true; }
bool Load(Bus&, const Target&, std::int32_t pos, std::span<const std::uint8_t> bytes)
{
    return calls.push_back("load " + std::to_string(pos) + "=" + std::to_string(bytes[0])), true;
}
bool Commit(Bus&, const Target&, std::int32_t pos) { return calls.push_back("page " + std::to_string(pos)), true; }
bool Read(Bus&, const Target&, std::int32_t pos, std::span<std::uint8_t> bytes, ReadMode verify)
{
    calls.push_back((verify ? "compare " : "read ") + std::to_string(pos));
    if (pos == strayAt && strayWire != nullptr) strayWire->pending.push_back(0x55);
    if (verify) return bytes[0] == chipByte;
    bytes[0] = chipByte;
    return true;
}

constexpr Driver kNoting{.name = "Noting",
                         .EnterProgMode = Enter,
                         .EraseChip = Erase,
                         .WriteFlashPage = Commit,
                         .ReadFlashByte = Read,
                         .LoadFlashByte = Load,
                         .ReadEepromByte = Read};

// A serial unit with a page of 4 bytes, over a memory of 10.
const ChipRow kEntry{.signature = 1, .driver = &kNoting, .family = Family::Serial, .page = 4};

class Walk : public ::testing::Test {
protected:
    void SetUp() override { calls.clear(); }
    // The made-up unit never touches the wire: a scripted one that expects nothing will do.
    std::shared_ptr<ScriptedWire> wire = std::make_shared<ScriptedWire>();
    Bus bus{ScriptedOpener(wire)};
    std::vector<std::string> progress;
    WalkProgress Progress()
    {
        return [this](std::uint32_t done, std::uint32_t total) {
            progress.push_back(std::to_string(done) + "/" + std::to_string(total));
        };
    }
};

TEST_F(Walk, WriteCommitsEveryPageAndTheLastPartOne)
{
    std::vector<std::uint8_t> image{10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    EXPECT_TRUE(WriteMemory(bus, kEntry, {}, MemoryKind::Program, image, Progress()).Done());
    EXPECT_EQ(calls, (std::vector<std::string>{"enter", "erase", "enter", "load 0=10", "load 1=11", "load 2=12",
                                               "load 3=13", "page 3", "load 4=14", "load 5=15", "load 6=16",
                                               "load 7=17", "page 7", "load 8=18", "load 9=19", "page 9"}));
    EXPECT_EQ(progress, (std::vector<std::string>{"4/10", "8/10", "10/10"}));
}

TEST_F(Walk, VerifyStopsAtTheDifferenceAndLeavesTheImageAlone)
{
    std::vector<std::uint8_t> image(64, 0x00);
    image[37] = 0x5A;
    const WalkResult result = VerifyMemory(bus, kEntry, {}, MemoryKind::Program, image, Progress());
    EXPECT_EQ(result.ending, Ending::Failed);
    EXPECT_EQ(result.failure.address, 37u);
    EXPECT_EQ(calls.back(), "compare 37");
    EXPECT_EQ(image[37], 0x5A);
    EXPECT_EQ(progress, (std::vector<std::string>{"32/64"}));

    calls.clear();
    chipByte = 0x7E;
    std::vector<std::uint8_t> eeprom(8, 0x00);
    EXPECT_TRUE(ReadMemory(bus, kEntry, {}, MemoryKind::Data, eeprom).Done());
    EXPECT_EQ(eeprom, std::vector<std::uint8_t>(8, 0x7E));
    chipByte = 0x00;
}

// A byte that comes behind an answer means some answer was taken for another's. A read that
// meets one keeps nothing and names no address, wherever it came; a verify names no difference
// that the line was out of step behind.
TEST_F(Walk, AByteBehindAnAnswerFailsTheReadAndNoDifferenceIsCountedBeforeIt)
{
    struct Case {
        const char* what;
        bool verify;
        std::int32_t strayAt;
        std::int32_t differsAt;  // -1: the image is the chip's
        std::optional<std::uint32_t> address;
    };
    const Case cases[] = {
        {"read, behind the last answer", false, 9, -1, std::nullopt},
        {"read, mid-way", false, 4, -1, std::nullopt},
        {"verify, behind the last answer", true, 9, -1, std::nullopt},
        {"verify, behind the differing answer", true, 6, 6, 6u},
    };
    for (const Case& c : cases) {
        auto scripted = std::make_shared<ScriptedWire>();
        scripted->pending = {0x5A};  // the handshake's answer
        Bus open{ScriptedOpener(scripted)};
        open.link.OpenPort("x");
        ASSERT_TRUE(open.link.IsOpen());
        scripted->pendingIsQueued = true;
        strayWire = scripted.get();
        strayAt = c.strayAt;

        std::vector<std::uint8_t> image(10, 0x00);
        if (c.differsAt >= 0) image[static_cast<std::size_t>(c.differsAt)] = 0x5A;
        const WalkResult result = c.verify ? VerifyMemory(open, kEntry, {}, MemoryKind::Data, image)
                                           : ReadMemory(open, kEntry, {}, MemoryKind::Data, image);
        strayWire = nullptr;
        strayAt = -1;
        EXPECT_EQ(result.ending, Ending::Failed) << c.what;
        EXPECT_EQ(result.failure.address, c.address) << c.what;
        EXPECT_FALSE(open.link.IsOpen()) << c.what << ": the port closes on bytes out of step";
        EXPECT_EQ(open.log.Lines(),
                  (std::vector<std::string>{"The gateway sent 1 byte more than asked: the answers are out of step"}))
            << c.what;
    }
}

TEST_F(Walk, AUnitLackingAStepIsToldAndNoAddressIsSent)
{
    std::vector<std::uint8_t> image(8, 0x00);
    // Writing the EEPROM needs a byte write or a page load the unit does not have.
    const WalkResult result = WriteMemory(bus, kEntry, {}, MemoryKind::Data, image);
    EXPECT_EQ(result.failure.kind, FailureKind::NotOffered);
    EXPECT_EQ(result.failure.address, std::nullopt);
    EXPECT_EQ(calls, (std::vector<std::string>{"enter"}));
    EXPECT_EQ(bus.log.Lines(), (std::vector<std::string>{"Command is not available for this chip"}));
}

}  // namespace
}  // namespace quillon::test
