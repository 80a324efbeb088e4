// Commands stopped by the user half way: the socket ends unpowered, the log says what the chip
// holds, and the chip and the images hold exactly that.
#include <gtest/gtest.h>

#include <algorithm>

#include "Recorder.h"
#include "SimSocket.h"
#include "chips/MemoryKind.h"
#include "operations/MemoryCommands.h"
#include "support/Answers.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

// Asks to cancel once the bar reaches `percent`, as a user's click would arrive during a command.
class CancelAt : public test::Timeline {
public:
    CancelAt(Session& ctx, int percent) : Timeline(ctx), bus_(ctx.bus), percent_(percent) {}
    void SetPosition(int percent) override
    {
        Timeline::SetPosition(percent);
        // The command's own bar, not the one of the view it takes its bytes from first.
        const bool started = std::any_of(events.begin(), events.end(),
                                         [](const std::string& e) { return e.rfind("Start time", 0) == 0; });
        if (started && percent >= percent_) bus_.cancel.Request();
    }

private:
    Bus& bus_;
    int percent_;
};

Lines Tail(const Lines& lines, std::size_t n)
{
    return Lines(lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end());
}

std::uint8_t Pattern(std::size_t i) { return static_cast<std::uint8_t>((i * 7 + (i >> 8) * 13 + 1) & 0xFF); }

using test::Yes;

bool Unpowered(sim::SocketChip& chip) { return !chip.InParallelMode() && !chip.InSerialMode(); }

// The count in "... partly written: N of M bytes".
std::size_t WrittenCount(const std::string& line)
{
    const auto colon = line.find(": ");
    return colon == std::string::npos ? 0 : std::stoul(line.substr(colon + 2));
}

struct WriteCase {
    const char* chip;
    MemoryKind memory;
    std::size_t unit;  // what the chip commits at once: a page, a word, a byte
};

class CancelledWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(CancelledWrite, LeavesCommittedBytesOnTheChipAndSaysHowMany)
{
    const WriteCase& c = GetParam();
    test::SimSocket s(c.chip);
    CancelAt timeline(s.ctx, 40);
    const bool flash = c.memory == MemoryKind::Program;
    auto image = ChipMemory(s.ctx.chip, c.memory);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = Pattern(i);
    std::vector<std::uint8_t>& cells = flash ? s.Chip().flash : s.Chip().eeprom;
    std::fill(cells.begin(), cells.end(), 0xFF);

    const Result result = flash ? WriteProgram(s.ctx, Yes) : WriteData(s.ctx, Yes);

    ASSERT_TRUE(result.WasCancelled()) << result.Words();
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(Tail(timeline.events, 6),
              (Lines{"Trying to exit Programming Mode", "       Finished with success.", "Cancelled by the user",
                     result.Words(), "End time: 10:0:3", "</window>"}));
    const std::string prefix = flash ? "The flash is partly written: " : "The EEPROM is partly written: ";
    ASSERT_EQ(result.Words().rfind(prefix, 0), 0u) << result.Words();
    EXPECT_NE(result.Words().find(" of " + std::to_string(image.size()) + " bytes"), std::string::npos);

    const std::size_t written = WrittenCount(result.Words());
    EXPECT_GE(written * 100, image.size() * 40);
    EXPECT_LT(written, image.size());
    EXPECT_EQ(written % c.unit, 0u);
    const auto mismatch = std::mismatch(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(written), cells.begin());
    EXPECT_EQ(mismatch.first - image.begin(), static_cast<std::ptrdiff_t>(written)) << result.Words();
    // Past the count the chip holds what it held before the command: erased cells.
    const std::uint8_t untouched = 0xFF;
    EXPECT_TRUE(std::all_of(cells.begin() + static_cast<std::ptrdiff_t>(written) + static_cast<std::ptrdiff_t>(c.unit),
                            cells.end(), [untouched](std::uint8_t b) { return b == untouched; }));
    EXPECT_TRUE(Unpowered(s.Chip()));
    EXPECT_TRUE(s.ctx.bus.link.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Units, CancelledWrite,
                         ::testing::Values(WriteCase{"ATmega8", MemoryKind::Program, 64},
                                           WriteCase{"AT90S2313", MemoryKind::Program, 2},
                                           WriteCase{"ATtiny25", MemoryKind::Program, 32},
                                           WriteCase{"ATtiny2313", MemoryKind::Program, 32},
                                           WriteCase{"ATtiny25", MemoryKind::Data, 4},
                                           WriteCase{"ATmega8", MemoryKind::Data, 1}),
                         [](const auto& info) {
                             return std::string(info.param.chip) +
                                    (info.param.memory == MemoryKind::Program ? "_flash" : "_eeprom");
                         });

// A cancelled read or verify changes nothing: not the chip, not the image.
TEST(CancelledRead, LeavesImageAsItWas)
{
    for (const char* chip : {"ATmega8", "ATtiny25"}) {
        for (const bool verify : {false, true}) {
            SCOPED_TRACE(std::string(chip) + (verify ? " verify" : " read"));
            test::SimSocket s(chip);
            CancelAt timeline(s.ctx, 30);
            std::fill(s.ctx.chip.flash.begin(), s.ctx.chip.flash.end(), 0x5A);
            // A verify goes on only while the chip matches.
            for (std::size_t i = 0; i < s.Chip().flash.size(); ++i) s.Chip().flash[i] = verify ? 0x5A : Pattern(i);
            const std::vector<std::uint8_t> chipBefore = s.Chip().flash;

            const Result result = verify ? VerifyProgram(s.ctx) : ReadProgram(s.ctx);

            ASSERT_TRUE(result.WasCancelled());
            EXPECT_EQ(result.Words(), "The chip is unchanged");
            EXPECT_EQ(Tail(timeline.events, 4),
                      (Lines{"Cancelled by the user", "The chip is unchanged", "End time: 10:0:3", "</window>"}));
            EXPECT_TRUE(std::all_of(s.ctx.chip.flash.begin(), s.ctx.chip.flash.begin() + s.ctx.chip.flashSize,
                                    [](std::uint8_t b) { return b == 0x5A; }));
            EXPECT_EQ(s.Chip().flash, chipBefore);
            EXPECT_TRUE(Unpowered(s.Chip()));
        }
    }
}

// A failed read keeps what it read below the failing address, as before; only a cancel discards.
TEST(CancelledRead, FailedReadStillKeepsTheBytesBelowTheFailure)
{
    test::SimSocket s("ATmega8");
    test::Timeline timeline(s.ctx);
    std::fill(s.ctx.chip.flash.begin(), s.ctx.chip.flash.end(), 0x5A);
    for (std::size_t i = 0; i < s.Chip().flash.size(); ++i) s.Chip().flash[i] = Pattern(i);
    s.HangUpAfter(400);
    EXPECT_FALSE(ReadProgram(s.ctx));
    EXPECT_EQ(s.ctx.chip.flash[0], Pattern(0));
    EXPECT_EQ(s.ctx.chip.flash[2], Pattern(2));
    EXPECT_EQ(s.ctx.chip.flash[s.ctx.chip.flashSize - 1], 0x5A);
}

// A request made before the command starts stops it before its first packet to the chip.
TEST(CancelledWrite, RequestBeforeTheStartTouchesNothing)
{
    test::SimSocket s("ATmega8");
    test::Timeline timeline(s.ctx);
    std::fill(s.Chip().flash.begin(), s.Chip().flash.end(), 0x12);
    s.ctx.bus.cancel.Request();
    const Result result = WriteProgram(s.ctx, Yes);
    ASSERT_TRUE(result.WasCancelled());
    EXPECT_EQ(result.Words(), "The chip is unchanged");
    EXPECT_TRUE(std::all_of(s.Chip().flash.begin(), s.Chip().flash.end(), [](std::uint8_t b) { return b == 0x12; }));
}

}  // namespace
}  // namespace quillon
