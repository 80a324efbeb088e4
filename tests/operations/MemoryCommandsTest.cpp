// The memory commands against a simulated chip: what lands in the images and the chip, the
// command's own log lines around the driver's, and where the loops commit pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Recorder.h"
#include "SimSocket.h"
#include "model/Gateway.h"
#include "chips/MemoryKind.h"
#include "operations/ChipInSocket.h"
#include "operations/Compare.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "support/Answers.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

using test::Yes;

// A pattern no two neighbouring pages share, so a page written to the wrong place shows.
std::uint8_t Pattern(std::size_t i)
{
    return static_cast<std::uint8_t>((i * 7 + (i >> 8) * 13 + 1) & 0xFF);
}

void Fill(std::vector<std::uint8_t>& cells)
{
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = Pattern(i);
}

Lines Tail(const Lines& lines, std::size_t n)
{
    return Lines(lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end());
}

// The serial instructions (I1 first) in the packets, walked command by command.
std::vector<std::array<std::uint8_t, 4>> SpiInstructions(const std::vector<std::vector<std::uint8_t>>& packets)
{
    std::vector<std::array<std::uint8_t, 4>> found;
    for (const auto& p : packets) {
        for (std::size_t i = 0; i < p.size();) {
            auto args = sim::CommandArguments(p[i]);
            if (!args) break;
            if (p[i] == 0x44 && i + 4 < p.size()) found.push_back({p[i + 4], p[i + 3], p[i + 2], p[i + 1]});
            i += 1 + *args;
        }
    }
    return found;
}

struct FamilyCase {
    const char* chip;
};

class RoundTrip : public ::testing::TestWithParam<FamilyCase> {};

// A read fills the image; a verify then finds nothing; a write puts the image onto the chip,
// every page of it.
TEST_P(RoundTrip, ReadVerifyWriteKeepTheChipAndTheImageInStep)
{
    test::SimSocket s(GetParam().chip);
    test::Timeline timeline(s.ctx);
    Fill(s.Chip().flash);
    Fill(s.Chip().eeprom);
    const std::uint32_t flashSize = s.ctx.chip.flashSize;

    ASSERT_TRUE(ReadProgram(s.ctx));
    EXPECT_TRUE(std::equal(s.Chip().flash.begin(), s.Chip().flash.end(), s.ctx.chip.flash.begin()));
    EXPECT_EQ(s.ctx.chip.flash[0], 0x01);
    EXPECT_EQ(s.ctx.chip.flash[1], 0x08);
    EXPECT_EQ(Tail(timeline.events, 3), (Lines{"</window>", "       Finished", "End time: 10:0:3"}));
    ASSERT_EQ(timeline.windows.size(), 1u);
    EXPECT_EQ(timeline.windows[0].size(), flashSize / 32);
    EXPECT_EQ(timeline.windows[0].back(), 100);

    ASSERT_TRUE(ReadData(s.ctx));
    EXPECT_TRUE(std::equal(s.Chip().eeprom.begin(), s.Chip().eeprom.end(), s.ctx.chip.eeprom.begin()));

    timeline.events.clear();
    EXPECT_TRUE(VerifyProgram(s.ctx));
    EXPECT_TRUE(VerifyData(s.ctx));
    EXPECT_EQ(Tail(timeline.events, 3),
              (Lines{"</window>", "       Finished. No differences found.", "End time: 10:0:3"}));

    // Write the image back in reverse order of bytes: a different image, every byte programmed.
    std::vector<std::uint8_t> image(s.ctx.chip.flash.begin(), s.ctx.chip.flash.begin() + flashSize);
    std::reverse(image.begin(), image.end());
    std::copy(image.begin(), image.end(), s.ctx.chip.flash.begin());
    timeline.Clear();
    ASSERT_TRUE(WriteProgram(s.ctx, Yes));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), s.Chip().flash.begin()));
    EXPECT_EQ(Tail(timeline.events, 3), (Lines{"</window>", "       Finished", "End time: 10:0:3"}));
    ASSERT_EQ(timeline.windows.size(), 1u);
    EXPECT_EQ(timeline.windows[0].back(), 100);

    std::fill(s.ctx.chip.eeprom.begin(), s.ctx.chip.eeprom.end(), 0x5A);
    ASSERT_TRUE(WriteData(s.ctx, Yes));
    EXPECT_TRUE(std::all_of(s.Chip().eeprom.begin(), s.Chip().eeprom.end(), [](auto b) { return b == 0x5A; }));
    EXPECT_TRUE(s.ctx.bus.link.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Families, RoundTrip,
                         ::testing::Values(FamilyCase{"ATmega8"}, FamilyCase{"ATtiny85"}, FamilyCase{"ATtiny13"},
                                           FamilyCase{"ATtiny12"}, FamilyCase{"ATmega603"},
                                           FamilyCase{"AT90S1200"}, FamilyCase{"AT90S2313"},
                                           FamilyCase{"AT90S4414"}, FamilyCase{"AT90S4434"},
                                           FamilyCase{"AT90S2333"}),
                         [](const auto& info) { return std::string(info.param.chip); });

struct VerifyCase {
    const char* chip;
    MemoryKind kind;
    std::vector<std::uint32_t> differences;  // bytes changed in the image, first one reported
    const char* reported;
};

TEST(Verify, StopsAtTheFirstDifferenceAndNamesItsAddress)
{
    const VerifyCase cases[] = {
        // Only the high byte of the word differs: the word's even address is reported.
        {"ATmega8", MemoryKind::Program, {0x01A5, 0x0300}, "01A4"},
        {"AT90S2313", MemoryKind::Program, {0x0001}, "0000"},
        {"ATtiny85", MemoryKind::Program, {0x01A5, 0x0300}, "01A5"},
        {"ATmega8", MemoryKind::Data, {0x0010, 0x0011}, "0010"},
        // Above 64 KiB the whole address, not its low 16 bits.
        {"ATmega2560", MemoryKind::Program, {0x12347}, "12346"},
    };
    for (const auto& c : cases) {
        test::SimSocket s(c.chip);
        test::Timeline timeline(s.ctx);
        for (std::uint32_t address : c.differences) {
            if (c.kind == MemoryKind::Program) s.ctx.chip.flash[address] = 0x00;
            else s.ctx.chip.eeprom[address] = 0x00;
        }
        const Result result = c.kind == MemoryKind::Program ? VerifyProgram(s.ctx) : VerifyData(s.ctx);
        EXPECT_EQ(result.failure, FailureKind::Differs) << c.chip;
        EXPECT_EQ(result.Words(), "       Finished with fail. Address: 0x" + std::string(c.reported)) << c.chip;
        EXPECT_EQ(Tail(timeline.events, 3),
                  (Lines{"       Finished with fail. Address: 0x" + std::string(c.reported), "End time: 10:0:3",
                         "</window>"}))
            << c.chip;
        EXPECT_TRUE(s.ctx.bus.link.IsOpen()) << c.chip;  // a difference is not a gateway failure
    }
}

// The first difference names both bytes, whichever way the chip was read: compared by the unit
// (low or high byte of a word), only where the file gives bytes, with answers in flight, and by
// Compare, which reads the whole memory first.
TEST(Verify, TheFirstDifferenceNamesTheChipsByteAndTheFilesByte)
{
    struct Case {
        const char* chip;
        MemoryKind kind;
        int inFlight;
        std::uint32_t changed;
        bool partial;  // only the bytes around the change are the file's
        bool compare;
    };
    const Case cases[] = {
        {"ATmega8", MemoryKind::Program, 1, 0x01A5, false, false},
        {"ATmega8", MemoryKind::Program, 1, 0x01A4, false, false},
        {"ATmega8", MemoryKind::Program, 1, 0x01A5, true, false},
        {"ATtiny85", MemoryKind::Program, 8, 0x0300, false, false},
        {"ATtiny85", MemoryKind::Program, 8, 0x0300, true, false},
        {"ATmega8", MemoryKind::Data, 1, 0x0010, false, false},
        {"ATmega8", MemoryKind::Program, 1, 0x01A5, false, true},
    };
    for (const Case& c : cases) {
        const std::string name = std::string(c.chip) + " 0x" + std::to_string(c.changed) + (c.partial ? " partial" : "") +
                                  (c.compare ? " compare" : "") + " in flight " + std::to_string(c.inFlight);
        test::SimSocket s(c.chip);
        s.ctx.answersInFlight = c.inFlight;
        auto& held = c.kind == MemoryKind::Program ? s.Chip().flash : s.Chip().eeprom;
        Fill(held);
        const std::span<std::uint8_t> image = ChipMemory(s.ctx.chip, c.kind);
        std::copy_n(held.begin(), std::min(held.size(), image.size()), image.begin());
        image[c.changed] ^= 0xA5;
        if (c.partial) {
            std::vector<std::uint8_t> covered(image.size(), 0);
            std::fill_n(covered.begin() + c.changed - 3, 7, 1);
            (c.kind == MemoryKind::Program ? s.ctx.coveredProgram : s.ctx.coveredData) = covered;
        }
        Result result;
        if (c.compare) {
            Comparison out;
            const std::vector<std::uint8_t> expected(image.begin(), image.end());
            result = CompareMemory(s.ctx, c.kind, expected, out);
        } else {
            result = c.kind == MemoryKind::Program ? VerifyProgram(s.ctx) : VerifyData(s.ctx);
        }
        ASSERT_EQ(result.failure, FailureKind::Differs) << name;
        ASSERT_TRUE(result.failure.difference) << name;
        const ByteDifference& d = *result.failure.difference;
        EXPECT_EQ(d.address, c.changed) << name;
        EXPECT_EQ(d.chip, Pattern(c.changed)) << name;
        EXPECT_EQ(d.file, Pattern(c.changed) ^ 0xA5) << name;
    }
    EXPECT_EQ(DifferenceText({0x00B0, 0x00, 0x55}), "0x00B0: the chip holds 0x00, the file 0x55");
    EXPECT_EQ(DifferenceText({0x12346, 0xFF, 0x0C}), "0x12346: the chip holds 0xFF, the file 0x0C");
}

TEST(Read, AFailureHalfWayKeepsWhatItReadAndTheNextCommandFailsToEnter)
{
    test::SimSocket s("ATmega8");
    test::Timeline timeline(s.ctx);
    Fill(s.Chip().flash);
    s.HangUpAfter(2000);  // well into the loop

    const Result result = ReadProgram(s.ctx);
    EXPECT_EQ(result.failure, FailureKind::Link);
    EXPECT_TRUE(result.Words().starts_with("Error executing commands: ")) << result.Words();
    EXPECT_TRUE(result.Words().ends_with("\n       Finished with fail.")) << result.Words();
    EXPECT_FALSE(s.ctx.bus.link.IsOpen());
    EXPECT_EQ(s.ctx.chip.flash[0], Pattern(0));  // the part read before the failure is in the image
    EXPECT_EQ(s.ctx.chip.flash[s.ctx.chip.flashSize - 1], 0xFF);
    Lines tail = Tail(timeline.events, 4);
    EXPECT_EQ(tail[0].rfind("Error executing commands: ", 0), 0u) << tail[0];
    EXPECT_EQ(Lines(tail.begin() + 1, tail.end()), (Lines{"       Finished with fail.", "End time: 10:0:3", "</window>"}));

    timeline.Clear();
    EXPECT_FALSE(ReadData(s.ctx));
    EXPECT_EQ(timeline.events[3], "Trying to enter Programming Mode");
    EXPECT_EQ(timeline.events[4].rfind("Error executing commands: ", 0), 0u);
    EXPECT_EQ(Tail(timeline.events, 3), (Lines{"       Finished with fail.", "End time: 10:0:3", "</window>"}));
}

// A byte that comes behind the last answer of a read means some answer was taken for another's:
// the read fails and keeps nothing, one read at a time as with answers in flight. The stray byte
// follows the last answer the same command's clean run drew from the gateway.
TEST(Read, AStrayByteBehindTheLastAnswerLeavesTheImageAsItWas)
{
    struct Case {
        const char* what;
        int inFlight;
        std::function<Result(Session&)> command;
    };
    const std::vector<Case> cases{
        {"read, one at a time", 1, ReadProgram},
        {"read, eight in flight", 8, ReadProgram},
        {"EEPROM read, one at a time", 1, ReadData},
    };
    for (const Case& c : cases) {
        test::SimSocket s("ATtiny13");
        test::Timeline timeline(s.ctx);
        Fill(s.Chip().flash);
        Fill(s.Chip().eeprom);
        s.ctx.answersInFlight = c.inFlight;
        const int before = s.device->AnswersSent();
        ASSERT_TRUE(c.command(s.ctx)) << c.what;
        const int answers = s.device->AnswersSent() - before;

        std::fill(s.ctx.chip.flash.begin(), s.ctx.chip.flash.end(), 0x00);
        std::fill(s.ctx.chip.eeprom.begin(), s.ctx.chip.eeprom.end(), 0x00);
        const std::vector<std::uint8_t> flashBefore(s.ctx.chip.flash.begin(), s.ctx.chip.flash.end());
        const std::vector<std::uint8_t> eepromBefore(s.ctx.chip.eeprom.begin(), s.ctx.chip.eeprom.end());
        s.device->ActiveFaults().stray = {0x55};
        s.device->ActiveFaults().strayAfterAnswer = s.device->AnswersSent() + answers;
        timeline.Clear();

        const Result result = c.command(s.ctx);
        EXPECT_EQ(result.failure, FailureKind::Link) << c.what << ": " << result.Words();
        EXPECT_TRUE(std::equal(flashBefore.begin(), flashBefore.end(), s.ctx.chip.flash.begin())) << c.what;
        EXPECT_TRUE(std::equal(eepromBefore.begin(), eepromBefore.end(), s.ctx.chip.eeprom.begin())) << c.what;
        EXPECT_FALSE(s.ctx.bus.link.IsOpen()) << c.what;
        EXPECT_NE(std::find(timeline.events.begin(), timeline.events.end(),
                            "The gateway sent 1 byte more than asked: the answers are out of step"),
                  timeline.events.end())
            << c.what;
        EXPECT_EQ(Tail(timeline.events, 2), (Lines{"End time: 10:0:3", "</window>"})) << c.what;
    }
}

// A locked chip reads as erased; with the checks on, its lock bits are read after such a read
// and named. A blank chip reads the same and gets no line; without the checks nothing more is
// sent. The flash read, the EEPROM read, and a chip of each family.
// A locked chip's memory cannot be read: the read fails (so no file of 0xFF is saved as the
// chip's) and the image keeps what it held.
TEST(Read, AnErasedLookingReadOfALockedChipFailsSayingOnlyChipEraseUnlocksIt)
{
    struct Case {
        std::string chip;
        std::uint8_t lock;  // as programmed into the simulated chip
        bool eeprom;
        std::string bits;  // named in the line; empty: no line
    };
    const Case cases[] = {
        {"ATmega8", 0xFC, false, "LB1, LB2"},
        {"ATmega8", 0xFE, true, "LB1"},
        {"ATtiny85", 0xFC, false, "LB1, LB2"},
        {"AT90S2313", 0xF9, false, "LB1, LB2"},
        {"ATmega8", 0xFF, false, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<std::uint8_t>> sent[2];
        for (const bool checks : {false, true}) {
            test::SimSocket s(c.chip);
            s.Chip().lock = c.lock;
            s.ctx.checkChipInSocket = checks;
            const std::size_t before = s.ctx.bus.log.Size();
            auto image = ChipMemory(s.ctx.chip, c.eeprom ? MemoryKind::Data : MemoryKind::Program);
            std::fill(image.begin(), image.end(), 0x5A);
            const Result result = c.eeprom ? ReadData(s.ctx) : ReadProgram(s.ctx);
            const bool fails = checks && !c.bits.empty();
            EXPECT_EQ(result.Succeeded(), !fails) << c.chip;
            EXPECT_EQ(image[0], fails ? 0x5A : 0xFF) << c.chip;
            const Lines lines = s.ctx.bus.log.Lines();
            const auto locked = std::find_if(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(),
                                             [](const std::string& l) { return l.starts_with("The chip is locked"); });
            if (checks && !c.bits.empty()) {
                ASSERT_NE(locked, lines.end()) << c.chip;
                EXPECT_EQ(*locked, "The chip is locked (" + c.bits +
                                       " programmed): it reads as 0xFF, and only Chip Erase unlocks it, erasing "
                                       "the flash and the EEPROM");
                EXPECT_EQ(*(locked + 1), "       Finished with fail.");
                EXPECT_EQ(result.Words().rfind(*locked, 0), 0u) << result.Words();
            } else {
                EXPECT_EQ(locked, lines.end()) << c.chip << " " << *locked;
            }
            EXPECT_EQ(s.Chip().lock, c.lock) << c.chip;  // only looked at
            sent[checks] = s.Packets();
        }
        // The checks add packets after the read's own and change none of them.
        ASSERT_GT(sent[1].size(), sent[0].size()) << c.chip;
        EXPECT_TRUE(std::equal(sent[0].begin(), sent[0].end(), sent[1].begin())) << c.chip;
    }
}

// An empty socket reads as erased too, with no lock bits to explain it: with the checks on, the
// signature then says no chip answers and the read fails, so no file of 0xFF is saved as the
// chip's. Without them the read succeeds as it always has.
TEST(Read, AnErasedLookingReadOfAnEmptySocketFailsSayingNoChipAnswers)
{
    struct Case {
        std::string chip;  // selected; the socket is empty
        bool eeprom;
    };
    for (const Case& c : {Case{"ATmega8", false}, Case{"ATmega8", true}, Case{"AT90S8515", false}}) {
        for (const bool checks : {false, true}) {
            test::SimSocket s("");
            SelectChip(s.ctx, FindChipByName(c.chip)->signature);
            s.ctx.checkChipInSocket = checks;
            const bool read = (c.eeprom ? ReadData(s.ctx) : ReadProgram(s.ctx)).Succeeded();
            EXPECT_EQ(read, !checks) << c.chip;
            if (!checks) continue;
            const Lines lines = s.ctx.bus.log.Lines();
            ASSERT_GE(lines.size(), 3u);
            EXPECT_TRUE(lines[lines.size() - 3].starts_with("No chip answers in the socket (signature ") &&
                        lines[lines.size() - 3].ends_with(", the selected " + c.chip + " is " +
                                                          SignatureText(FindChipByName(c.chip)->signature) +
                                                          "): no chip, the chip turned round, the wrong socket "
                                                          "for this chip, or no supply."))
                << lines[lines.size() - 3];
            EXPECT_EQ(lines[lines.size() - 2], "       Finished with fail.");
        }
    }
}

// The fuse, lock and calibration bytes of an empty socket read as 0xFF too: with the checks on
// the signature is read and the command fails saying no chip answers; the record keeps its bytes.
TEST(Read, FusesAndCalibrationOfAnEmptySocketFailSayingNoChipAnswers)
{
    const std::function<Result(Session&)> commands[] = {
        [](Session& s) {
            LockFusesDialog d = OpenLockFusesDialog(s.chip);
            return ReadLockFuses(s, d);
        },
        [](Session& s) { return ReadCalibration(s); },
    };
    for (const char* chip : {"ATmega8", "AT90S2333", "ATtiny85"}) {
        for (std::size_t command = 0; command < std::size(commands); ++command) {
            for (const bool checks : {false, true}) {
                test::SimSocket s("");
                SelectChip(s.ctx, FindChipByName(chip)->signature);
                s.ctx.checkChipInSocket = checks;
                s.ctx.chip.lockFuse.fill(0x5A);
                s.ctx.chip.calibration.fill(0x5A);
                const Result result = commands[command](s.ctx);
                const std::string name = std::string(chip) + " command " + std::to_string(command);
                if (result.failure == FailureKind::NotOffered) continue;  // no calibration bytes
                // Without the checks a parallel chip's bytes are taken as read, as they always were.
                if (!checks) continue;
                EXPECT_FALSE(result) << name;
                // A serial chip that does not answer its entry fails before any byte is read.
                if (FindChipByName(chip)->family != Family::Serial)
                    EXPECT_TRUE(result.Words().starts_with("No chip answers in the socket (signature ")) << name << result.Words();
                EXPECT_EQ(s.ctx.chip.lockFuse[0], 0x5A) << name;
                EXPECT_EQ(s.ctx.chip.calibration[0], 0x5A) << name;
            }
        }
    }
}

// The lock bits are what tells an erased chip from a locked one or an empty socket: a link lost
// while reading them leaves that open, and the read must not end as if its 0xFF were the chip's.
TEST(Read, AnErasedLookingReadWhoseLockBitsAreLostFails)
{
    std::size_t readOnly = 0, withChecks = 0;
    for (const bool checks : {false, true}) {
        test::SimSocket s("ATmega8");
        s.ctx.checkChipInSocket = checks;
        ASSERT_TRUE(ReadProgram(s.ctx));
        (checks ? withChecks : readOnly) = s.Packets().size();
    }
    ASSERT_GT(withChecks, readOnly + 1);
    for (std::size_t hangUp = readOnly; hangUp < withChecks; ++hangUp) {
        test::SimSocket s("ATmega8");
        s.ctx.checkChipInSocket = true;
        s.HangUpAfter(static_cast<int>(hangUp));
        const Result read = ReadProgram(s.ctx);
        EXPECT_FALSE(read.Succeeded()) << "hang-up after packet " << hangUp;
        EXPECT_EQ(read.failure, FailureKind::Link) << hangUp;
        EXPECT_FALSE(s.ctx.bus.link.IsOpen()) << hangUp;
        const Lines lines = s.ctx.bus.log.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "       Finished with fail.") << hangUp;
        EXPECT_TRUE(lines.back().starts_with("End time: ")) << hangUp;
    }
}

struct PageCase {
    const char* chip;
    std::uint32_t page;
};

TEST(Write, FlashPagesAreCommittedAtTheChipsPageSize)
{
    const PageCase cases[] = {{"ATmega644", 256},  {"ATmega164", 128},   {"ATtiny261", 32},
                              {"ATmega48", 64},    {"ATmega168", 128},   {"ATtiny25", 32},
                              {"ATmega328P", 128}, {"ATmega1284P", 256}, {"ATtiny84", 64}};
    for (const auto& c : cases) {
        test::SimSocket s(c.chip);
        test::Timeline timeline(s.ctx);
        // An all-FF image is still programmed over the whole flash.
        ASSERT_TRUE(WriteProgram(s.ctx, Yes)) << c.chip;
        // The bar moves right after each page is programmed, and only then.
        ASSERT_EQ(timeline.windows.size(), 1u);
        EXPECT_EQ(timeline.windows[0].size(), s.ctx.chip.flashSize / c.page) << c.chip;
        EXPECT_EQ(timeline.windows[0].back(), 100) << c.chip;
    }
}

TEST(Write, SerialEepromPagesAreCommittedAfterEveryFourthByte)
{
    test::SimSocket s("ATtiny25");
    for (std::size_t i = 0; i < s.ctx.chip.eepromSize; ++i) s.ctx.chip.eeprom[i] = Pattern(i);
    ASSERT_TRUE(WriteData(s.ctx, Yes));
    EXPECT_TRUE(std::equal(s.Chip().eeprom.begin(), s.Chip().eeprom.end(), s.ctx.chip.eeprom.begin()));

    // L<a> for a byte loaded at a within its page, C<p> for the page at p committed.
    std::vector<std::string> order;
    for (const auto& i : SpiInstructions(s.Packets())) {
        if (i[0] == 0xC1) order.push_back("L" + std::to_string(i[2]));
        if (i[0] == 0xC2) order.push_back("C" + std::to_string(i[2]));
    }
    ASSERT_GE(order.size(), 10u);
    EXPECT_EQ(Lines(order.begin(), order.begin() + 10),
              (Lines{"L0", "L1", "L2", "L3", "C0", "L0", "L1", "L2", "L3", "C4"}));
    EXPECT_EQ(order.size(), s.ctx.chip.eepromSize * 5 / 4);
}

TEST(Erase, TheATtiny12IsErasedTwiceAndAVerifyThenFindsTheOldImage)
{
    test::SimSocket s("ATtiny12");
    test::Timeline timeline(s.ctx);
    Fill(s.Chip().flash);
    ASSERT_TRUE(ReadProgram(s.ctx));
    timeline.Clear();
    ASSERT_TRUE(ChipErase(s.ctx, Yes));
    EXPECT_EQ(std::count(timeline.events.begin(), timeline.events.end(), "Trying to erase the chip"), 2);
    EXPECT_EQ(timeline.events.front(), "<window>");
    EXPECT_EQ(timeline.events.back(), "</window>");
    EXPECT_EQ(timeline.windows, (std::vector<std::vector<int>>{{}}));
    EXPECT_TRUE(std::all_of(s.Chip().flash.begin(), s.Chip().flash.end(), [](auto b) { return b == 0xFF; }));

    // The image still holds the chip from before the erase.
    EXPECT_FALSE(VerifyProgram(s.ctx));
    EXPECT_EQ(Tail(timeline.events, 3)[0], "       Finished with fail. Address: 0x0000");
}

TEST(Calibration, PiecesRunTogetherOnOneLine)
{
    test::SimSocket s("ATtiny26");
    test::Timeline timeline(s.ctx);
    s.Chip().calibration = {0xA1, 0x0B, 0x7F, 0x00};
    ASSERT_TRUE(ReadCalibration(s.ctx));
    EXPECT_EQ(Tail(timeline.events, 2),
              (Lines{"</window>", "calibration 0 = 0xA1calibration 1 = 0x0Bcalibration 2 = 0x7Fcalibration 3 = 0x00"}));
    EXPECT_EQ(timeline.windows, (std::vector<std::vector<int>>{{}}));
}

TEST(Calibration, TheATmega162IsReadLikeAnATmega163)
{
    auto run = [](const char* chip) {
        test::SimSocket s(chip);
        test::Timeline timeline(s.ctx);
        s.Chip().calibration = {0x9C, 0xFF, 0xFF, 0xFF};
        EXPECT_TRUE(ReadCalibration(s.ctx)) << chip;
        return std::make_pair(s.Packets(), timeline.events);
    };
    auto [packets162, lines162] = run("ATmega162");
    auto [packets163, lines163] = run("ATmega163");
    EXPECT_EQ(packets162, packets163);
    EXPECT_EQ(lines162, lines163);
    EXPECT_EQ(lines162.back(), "calibration 0 = 0x9C");
}

}  // namespace
}  // namespace quillon
