// Reading and writing the lock and fuse bytes through the dialog's commands, on simulated chips.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <initializer_list>

#include "Recorder.h"
#include "SimSocket.h"
#include "operations/LockFuses.h"
#include "support/Answers.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

using test::Yes;

TEST(LockFusesCommands, AReadShowsTheChipsBitsAndUnchecksWhatReadsAsOne)
{
    test::SimSocket s("ATmega8");
    s.Chip().fuses = {0xE4, 0xC9, 0xFF};  // CKSEL0, CKSEL1, CKSEL3 and SUT0 programmed
    s.Chip().lock = 0xFC;                 // LB1, LB2
    LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);
    // Checked by hand, but unprogrammed on the chip: the read unchecks them.
    ASSERT_TRUE(d.Click(0, 2));  // CKSEL2
    ASSERT_TRUE(d.Click(0, 6));  // BODEN
    test::Timeline timeline(s.ctx);
    ASSERT_TRUE(ReadLockFuses(s.ctx, d));
    EXPECT_EQ(s.ctx.chip.lockFuse[0], 0xE4);
    EXPECT_EQ(s.ctx.chip.lockFuse[1], 0xC9);
    EXPECT_EQ(s.ctx.chip.lockFuse[2] & 0x3F, 0x3C);
    for (int b = 0; b < 8; ++b) EXPECT_EQ(d.group[0].box[b].checked, ((0xE4 >> b) & 1) == 0) << b;
    EXPECT_TRUE(d.group[2].box[0].checked && d.group[2].box[1].checked);
    EXPECT_EQ(timeline.events.front(), "<window>");
    EXPECT_EQ(timeline.events.back(), "</window>");
    EXPECT_TRUE(s.ctx.bus.link.IsOpen());
}

TEST(LockFusesCommands, AWriteSendsTheBoxesAndAReadBringsThemBack)
{
    test::SimSocket s("ATmega48");
    LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);
    d.Click(0, 7);  // CKDIV8 unprogrammed
    d.Click(1, 6);  // DWEN programmed
    ASSERT_TRUE(WriteLockFuses(s.ctx, d, Yes));
    EXPECT_EQ(s.Chip().fuses[0], 0xE2);
    EXPECT_EQ(s.Chip().fuses[1], 0x9F);

    test::SimSocket again("ATmega48");
    again.Chip().fuses = s.Chip().fuses;
    LockFusesDialog read = OpenLockFusesDialog(again.ctx.chip);
    ASSERT_TRUE(ReadLockFuses(again.ctx, read));
    for (int g = 0; g < 2; ++g)
        for (int b = 0; b < 8; ++b) EXPECT_EQ(read.group[g].box[b].checked, d.group[g].box[b].checked) << g << b;
}

TEST(LockFusesCommands, AFailedWriteStopsTheSequenceWithTheEarlierBytesWritten)
{
    // Where each write of the ATmega64 begins on the wire: a full run marks its packets.
    std::vector<std::size_t> starts;
    {
        test::SimSocket s("ATmega64");
        s.ctx.bus.log.SetListener([&](const std::string& line) {
            if (line.rfind("Trying to", 0) == 0) starts.push_back(s.Packets().size());
        });
        LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);
        ASSERT_TRUE(WriteLockFuses(s.ctx, d, Yes));
    }
    ASSERT_EQ(starts.size(), 5u);  // enter, extended, high, low, lock

    test::SimSocket s("ATmega64");
    s.Chip().fuses = {0xFF, 0xFF, 0xFF};
    s.Chip().lock = 0xFF;
    s.HangUpAfter(static_cast<int>(starts[2]));  // WriteFuseHigh's first packet fails
    test::Timeline timeline(s.ctx);
    LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);  // factory E1 99 FD FF
    EXPECT_FALSE(WriteLockFuses(s.ctx, d, Yes));
    EXPECT_EQ(s.Chip().fuses[2] & 0x03, 0x01);  // the extended byte made it
    EXPECT_EQ(s.Chip().fuses[1], 0xFF);         // high, low and lock did not
    EXPECT_EQ(s.Chip().fuses[0], 0xFF);
    EXPECT_EQ(s.Chip().lock, 0xFF);
    Lines tail(timeline.events.end() - 3, timeline.events.end());
    EXPECT_EQ(tail[0].rfind("Error executing commands: ", 0), 0u) << tail[0];
    EXPECT_EQ(tail[1], "       Finished with fail.");
    EXPECT_EQ(tail[2], "</window>");
    EXPECT_FALSE(s.ctx.bus.link.IsOpen());
}

// A read that fails wherever the gateway hangs up leaves the record, with the user's edits in
// it, and the boxes as they were: half a read shows nowhere.
TEST(LockFusesCommands, AFailedReadLeavesTheRecordAndTheBoxesAsTheyWere)
{
    int packets = 0;
    {
        test::SimSocket s("ATmega64");
        LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);
        ASSERT_TRUE(ReadLockFuses(s.ctx, d));
        packets = static_cast<int>(s.Packets().size());
    }
    ASSERT_GT(packets, 4);
    for (int hangUp = 1; hangUp < packets; ++hangUp) {
        test::SimSocket s("ATmega64");
        s.Chip().fuses = {0x00, 0x00, 0x00};
        s.Chip().lock = 0x00;
        LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);
        ASSERT_TRUE(d.Click(0, 7));  // edited by hand, then kept in the record
        SaveLockFuses(s.ctx, d);
        const std::array<std::uint8_t, 8> record = s.ctx.chip.lockFuse;
        const SlotsOrigin origin = s.ctx.chip.lockFuseOrigin;
        const bool checked = d.group[0].box[7].checked;
        s.HangUpAfter(hangUp);

        EXPECT_FALSE(ReadLockFuses(s.ctx, d)) << hangUp;
        EXPECT_EQ(s.ctx.chip.lockFuse, record) << "hang-up after packet " << hangUp;
        EXPECT_EQ(s.ctx.chip.lockFuseOrigin, origin) << hangUp;
        EXPECT_EQ(d.group[0].box[7].checked, checked) << hangUp;
        EXPECT_FALSE(d.group[0].box[0].checked) << hangUp;  // programmed on the chip, unprogrammed here
    }
}

TEST(LockFusesCommands, TheGreyedBitGoesOutAsItWasFilled)
{
    for (std::uint8_t extended : {std::uint8_t{0xFE}, std::uint8_t{0xFF}}) {
        test::SimSocket s("ATmega169");
        s.ctx.chip.lockFuse[2] = extended;
        LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);
        EXPECT_FALSE(d.Click(2, 0));
        ASSERT_TRUE(WriteLockFuses(s.ctx, d, Yes));
        EXPECT_EQ(s.ctx.chip.lockFuse[2] & 1, extended & 1);
        EXPECT_EQ(s.Chip().fuses[2] & 1, extended & 1);
    }
}

// The boxes as the given bytes would set them, slot by slot.
void SetBytes(LockFusesDialog& d, std::initializer_list<std::uint8_t> bytes)
{
    std::size_t g = 0;
    for (std::uint8_t byte : bytes) {
        for (std::size_t b = 0; b < 8; ++b) d.group[g].box[b].checked = d.group[g].box[b].visible && !(byte & (1u << b));
        ++g;
    }
}

// A write is read back: a locked chip that took none of it fails the write, naming each byte it
// does not hold and why; the chip stays as it was. Lock bits block the fuses of the newer chips;
// the classic ones keep their fuses writable, but no write takes a lock bit back.
TEST(LockFusesCommands, AWriteIsReadBackAndALockedChipFailsItNamingEachByte)
{
    struct Case {
        const char* chip;
        std::uint8_t lock;  // the simulated chip's
        std::initializer_list<std::uint8_t> asked;
        std::vector<std::string> says;  // empty: the write succeeds
    };
    const Case cases[] = {
        {"ATmega8", 0xFF, {0xE4, 0xD9, 0xFF}, {}},
        {"ATmega8", 0xFC, {0xE4, 0xD9, 0xFC},
         {"Low Fuses: written 0xE4, the chip holds 0xE1 (CKSEL0, CKSEL2)",
          "The chip is locked (LB1, LB2 programmed): lock bits block fuse writes, and only Chip Erase clears them, "
          "erasing the flash and the EEPROM"}},
        {"ATtiny13", 0xFC, {0x7A, 0xFF, 0xFC}, {"Low Fuses: written 0x7A, the chip holds 0x6A (CKDIV8)",
                                                "The chip is locked (LB1, LB2 programmed): lock bits block fuse writes"}},
        {"ATtiny85", 0xFE, {0xE2, 0xDF, 0xFF, 0xFE}, {"Low Fuses: written 0xE2, the chip holds 0x62 (CKDIV8)",
                                                      "The chip is locked (LB1 programmed): lock bits block"}},
        {"AT90S2333", 0xF9, {0xDA, 0xFF}, {"Lock bits: written 0xFF, the chip holds 0xF9 (LB1, LB2)",
                                           "The chip is locked (LB1, LB2 programmed): only Chip Erase clears them"}},
    };
    for (const Case& c : cases) {
        test::SimSocket s(c.chip);
        s.ctx.readBackFuses = true;
        s.Chip().lock = c.lock;
        const auto fuses = s.Chip().fuses;
        LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);
        SetBytes(d, c.asked);
        test::Timeline timeline(s.ctx);
        const Result result = WriteLockFuses(s.ctx, d, Yes);
        if (c.says.empty()) {
            EXPECT_TRUE(result) << c.chip << result.Words();
            EXPECT_EQ(s.Chip().fuses[0], *c.asked.begin()) << c.chip;
            continue;
        }
        EXPECT_EQ(result.failure, FailureKind::Chip) << c.chip;
        for (const std::string& line : c.says)
            EXPECT_NE(result.Words().find("\n" + line), std::string::npos) << c.chip << "\n" << result.Words();
        EXPECT_EQ(timeline.events[timeline.events.size() - 2], "       Finished with fail.") << c.chip;
        EXPECT_EQ(s.Chip().fuses, fuses) << c.chip;
        EXPECT_EQ(s.Chip().lock, c.lock) << c.chip;
        // The boxes keep what was asked for.
        EXPECT_EQ(BoxByte(d, 0), *c.asked.begin()) << c.chip;
    }
}

// A byte nobody gave is not written: the file's fuses go out, the lock byte the boxes hold does
// not, and the chip keeps its own.
TEST(LockFusesCommands, ASlotLeftOutOfTheWriteIsNeverSent)
{
    test::SimSocket s("ATmega8");
    s.ctx.readBackFuses = true;
    LockFusesDialog d = OpenLockFusesDialog(s.ctx.chip);
    SetBytes(d, {0xE4, 0xD9, 0x00});
    test::Timeline timeline(s.ctx);
    ASSERT_TRUE(WriteLockFuses(s.ctx, d, Yes, 0b011));
    EXPECT_EQ(s.Chip().fuses[0], 0xE4);
    EXPECT_EQ(s.Chip().lock, 0xFF);
    EXPECT_EQ(std::count(timeline.events.begin(), timeline.events.end(), "Trying to write lock-bits"), 0);
    EXPECT_EQ(std::count(timeline.events.begin(), timeline.events.end(), "Trying to write fuse low byte"), 1);
}

}  // namespace
}  // namespace quillon
