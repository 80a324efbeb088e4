// Byte-exact instructions of the serial drivers: address masks, page commits, waits, and what
// the lock, fuse and calibration operations move between chip and record.
#include <gtest/gtest.h>

#include <functional>

#include "ChipBench.h"

namespace quillon::test {
namespace {

using Trace = std::vector<std::string>;

struct InstructionCase {
    const char* chip;
    const char* what;
    std::function<bool(const Driver&, UnitSocket&)> call;
    Trace expected;
};

void PrintTo(const InstructionCase& c, std::ostream* os) { *os << c.chip << " " << c.what; }

class SerialInstruction : public ::testing::TestWithParam<InstructionCase> {};

// The images hold 0x5A at even and 0xA5 at odd addresses; the delay value is 2 ms.
TEST_P(SerialInstruction, SendsTheInstructionAndWaits)
{
    ChipBench bench(GetParam().chip);
    for (std::uint32_t i = 0; i < kFlashImageSize; ++i) bench.ctx.chip.flash[i] = i % 2 ? 0xA5 : 0x5A;
    for (std::uint32_t i = 0; i < kEepromImageSize; ++i) bench.ctx.chip.eeprom[i] = i % 2 ? 0xA5 : 0x5A;
    EXPECT_TRUE(GetParam().call(bench.driver(), bench.ctx));
    EXPECT_EQ(bench.Trace(), GetParam().expected);
    EXPECT_TRUE(bench.Lines().empty());
}

auto ReadFlash(std::int32_t a) { return [a](const Driver& d, UnitSocket& c) { return drive::ReadFlashByte(d, c, a, false); }; }
auto WriteFlash(std::int32_t a) { return [a](const Driver& d, UnitSocket& c) { return drive::WriteFlashByte(d, c, a); }; }
auto LoadFlash(std::int32_t a) { return [a](const Driver& d, UnitSocket& c) { return drive::LoadFlashByte(d, c, a); }; }
auto FlashPage(std::int32_t a) { return [a](const Driver& d, UnitSocket& c) { return drive::WriteFlashPage(d, c, a); }; }
auto ReadEeprom(std::int32_t a) { return [a](const Driver& d, UnitSocket& c) { return drive::ReadEepromByte(d, c, a, false); }; }
auto WriteEeprom(std::int32_t a) { return [a](const Driver& d, UnitSocket& c) { return drive::WriteEepromByte(d, c, a); }; }
auto LoadEeprom(std::int32_t a) { return [a](const Driver& d, UnitSocket& c) { return drive::LoadEepromByte(d, c, a); }; }
auto EepromPage(std::int32_t a) { return [a](const Driver& d, UnitSocket& c) { return drive::WriteEepromPage(d, c, a); }; }
auto Blank() { return [](const Driver& d, UnitSocket& c) { return drive::Run(d.WriteBlankFlashByte, c); }; }

INSTANTIATE_TEST_SUITE_P(
    Chips, SerialInstruction,
    ::testing::Values(
        InstructionCase{"ATtiny25", "read flash 0x201", ReadFlash(0x201), {"SPI 28 01 00 00", "sleep 2", "readback"}},
        InstructionCase{"AT90S2323", "read flash 0x7FE", ReadFlash(0x7FE), {"SPI 20 03 FF 00", "sleep 2", "readback"}},
        InstructionCase{"ATtiny15", "read flash 0x3FF", ReadFlash(0x3FF), {"SPI 28 01 FF 00", "sleep 2", "readback"}},
        InstructionCase{"AT90S2323", "write flash 0x7FF", WriteFlash(0x7FF), {"SPI 48 03 FF A5", "sleep 2", "sleep 9"}},
        InstructionCase{"ATtiny12", "write flash 0x200", WriteFlash(0x200), {"SPI 40 01 00 5A", "sleep 2", "sleep 4"}},
        InstructionCase{"ATtiny13", "load flash 0x3FF", LoadFlash(0x3FF), {"SPI 48 00 0F A5", "sleep 2"}},
        InstructionCase{"ATtiny13", "page 0x3FF", FlashPage(0x3FF), {"SPI 4C 01 F0 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny26", "page 0x7FF", FlashPage(0x7FF), {"SPI 4C 03 F0 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny85", "load flash 0x1FFE", LoadFlash(0x1FFE), {"SPI 40 0F FF 5A", "sleep 2"}},
        InstructionCase{"ATtiny85", "page 0x1FFF", FlashPage(0x1FFF), {"SPI 4C 0F FF 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny12", "read EEPROM 0x3F", ReadEeprom(0x3F), {"SPI A0 00 3F 00", "sleep 2", "readback"}},
        InstructionCase{"ATtiny85", "read EEPROM 0x1FF", ReadEeprom(0x1FF), {"SPI A0 01 FF 00", "sleep 2", "readback"}},
        InstructionCase{"AT90S2343", "write EEPROM 0x7F", WriteEeprom(0x7F), {"SPI C0 00 7F A5", "sleep 2", "sleep 9"}},
        InstructionCase{"ATtiny15", "write EEPROM 0x3E", WriteEeprom(0x3E), {"SPI C0 00 3E 5A", "sleep 2", "sleep 7"}},
        InstructionCase{"ATtiny26", "write EEPROM 0x7F", WriteEeprom(0x7F), {"SPI C0 00 7F A5", "sleep 2", "sleep 9"}},
        InstructionCase{"ATtiny25", "load EEPROM 6", LoadEeprom(6), {"SPI C1 00 02 5A", "sleep 2"}},
        InstructionCase{"ATtiny25", "EEPROM page 7", EepromPage(7), {"SPI C2 00 04 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny85", "EEPROM page 0x1FF", EepromPage(0x1FF), {"SPI C2 01 FC 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny13", "EEPROM page 0x3F", EepromPage(0x3F), {"SPI C2 00 3C 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny12", "blank byte", Blank(), {"SPI 40 00 00 FF", "sleep 2", "sleep 4"}}));

// Logged operations: the instruction, the slots afterwards and the log lines.
struct LoggedCase {
    const char* chip;
    drive::AnyOperation op;
    std::vector<std::uint8_t> slotsBefore;
    std::uint8_t answer;  // answer byte 0 of a query
    Trace expected;
    std::vector<std::uint8_t> slotsAfter;
    std::string what;
};

void PrintTo(const LoggedCase& c, std::ostream* os) { *os << c.chip << c.what; }

class SerialLogged : public ::testing::TestWithParam<LoggedCase> {};

TEST_P(SerialLogged, MovesTheSlotAndLogsTheFrame)
{
    const auto& c = GetParam();
    ChipBench bench(c.chip);
    std::copy(c.slotsBefore.begin(), c.slotsBefore.end(), bench.ctx.chip.lockFuse.begin());
    bench.wire->spi = {c.answer};
    ASSERT_TRUE(drive::Offers(bench.driver(), c.op));
    EXPECT_TRUE(drive::Run(bench.driver(), c.op, bench.ctx));
    EXPECT_EQ(bench.Trace(), c.expected);
    EXPECT_EQ(std::vector<std::uint8_t>(bench.ctx.chip.lockFuse.begin(),
                                        bench.ctx.chip.lockFuse.begin() + bench.ctx.chip.lockFuseCount),
              c.slotsAfter);
    EXPECT_EQ(bench.Lines(), (std::vector<std::string>{"Trying to" + c.what, "       Finished with success."}));
}

const Trace Query(const char* instruction) { return {std::string("SPI ") + instruction, "sleep 2", "readback"}; }
const Trace Programs(const char* instruction, const char* wait = "sleep 5")
{
    return {std::string("SPI ") + instruction, "sleep 2", wait};
}

INSTANTIATE_TEST_SUITE_P(
    Chips, SerialLogged,
    ::testing::Values(
        LoggedCase{"AT90S2343", &Driver::ReadFuseLockBits, {0x00, 0x00}, 0x41, Query("58 00 00 00"), {0xDF, 0xFD},
                   " read lock- & fuse-bits"},
        LoggedCase{"ATtiny22", &Driver::ReadFuseLockBits, {0x00, 0x00}, 0xBE, Query("58 00 00 00"), {0xFE, 0xFB},
                   " read lock- & fuse-bits"},
        LoggedCase{"ATtiny13", &Driver::ReadLockBits, {1, 2, 3}, 0x00, Query("58 00 00 00"), {1, 2, 0xFC},
                   " read lock-bits"},
        LoggedCase{"ATtiny12", &Driver::ReadLockBits, {1, 2}, 0x02, Query("58 00 00 00"), {1, 0xFB}, " read lock-bits"},
        LoggedCase{"ATtiny12", &Driver::ReadFuseLow, {1, 2}, 0x52, Query("50 00 00 00"), {0x52, 2}, " read fuse byte"},
        LoggedCase{"ATtiny15", &Driver::ReadFuseLow, {1, 2}, 0x50, Query("50 00 00 00"), {0x5C, 2}, " read fuse byte"},
        LoggedCase{"ATtiny26", &Driver::ReadFuseHigh, {1, 2, 3}, 0x17, Query("58 08 00 00"), {1, 0xF7, 3},
                   " read fuse high byte"},
        LoggedCase{"ATtiny45", &Driver::ReadFuseExtended, {1, 2, 3, 4}, 0xFE, Query("50 08 00 00"), {1, 2, 0xFE, 4},
                   " read fuse extended byte"},
        LoggedCase{"ATtiny85", &Driver::ReadLockBits, {1, 2, 3, 4}, 0x3C, Query("58 00 00 00"), {1, 2, 3, 0x3C},
                   " read lock-bits"},
        LoggedCase{"AT90S2323", &Driver::WriteFuseLow, {0xDE, 0xFF}, 0, Programs("AC BE 00 00"), {0xDE, 0xFF},
                   " write fuse byte"},
        LoggedCase{"AT90S2323", &Driver::WriteFuseLow, {0x1F, 0xFF}, 0, Programs("AC BF 00 00"), {0x1F, 0xFF},
                   " write fuse byte"},
        LoggedCase{"AT90S2343", &Driver::WriteFuseLow, {0xDF, 0xFF}, 0, Programs("AC BF 00 00"), {0xDF, 0xFF},
                   " write fuse byte"},
        LoggedCase{"AT90S2323", &Driver::WriteLockBits, {0xDE, 0xF9}, 0, Programs("AC F9 00 00"), {0xDE, 0xF9},
                   " write lock-bits"},
        // Only LB1 and LB2 reach I2: 0x9D there would make the instruction a chip erase.
        LoggedCase{"AT90S2343", &Driver::WriteLockBits, {0xDE, 0x9D}, 0, Programs("AC FD 00 00"), {0xDE, 0x9D},
                   " write lock-bits"},
        LoggedCase{"ATtiny22", &Driver::WriteFuseLow, {0xFE, 0xFF}, 0, Programs("AC BE 00 00"), {0xFE, 0xFF},
                   " write fuse byte"},
        LoggedCase{"ATtiny12", &Driver::WriteLockBits, {0x52, 0x00}, 0, Programs("AC F9 00 00"), {0x52, 0x00},
                   " write lock-bits"},
        LoggedCase{"ATtiny12", &Driver::WriteFuseLow, {0x52, 0xFF}, 0, Programs("AC A0 00 52"), {0x52, 0xFF},
                   " write fuse byte"},
        LoggedCase{"ATtiny15", &Driver::WriteFuseLow, {0x50, 0xFF}, 0, Programs("AC A0 00 5C"), {0x50, 0xFF},
                   " write fuse byte"},
        LoggedCase{"ATtiny13", &Driver::WriteLockBits, {1, 2, 0x00}, 0, Programs("AC E0 00 FC"), {1, 2, 0x00},
                   " write lock-bits"},
        LoggedCase{"ATtiny26", &Driver::WriteFuseHigh, {1, 0x00, 3}, 0, Programs("AC A8 00 E0"), {1, 0x00, 3},
                   " write fuse high byte"},
        LoggedCase{"ATtiny13", &Driver::WriteFuseLow, {0x6A, 2, 3}, 0, Programs("AC A0 00 6A"), {0x6A, 2, 3},
                   " write fuse low byte"},
        LoggedCase{"ATtiny25", &Driver::WriteFuseExtended, {1, 2, 0xFE, 4}, 0, Programs("AC A4 00 FE"), {1, 2, 0xFE, 4},
                   " write fuse extended byte"},
        LoggedCase{"ATtiny25", &Driver::WriteLockBits, {1, 2, 3, 0xFC}, 0, Programs("AC E0 00 FC"), {1, 2, 3, 0xFC},
                   " write lock-bits"},
        LoggedCase{"AT90S2323", &Driver::EraseChip, {1, 2}, 0, Programs("AC 80 00 00", "sleep 18"), {1, 2},
                   " erase the chip"},
        LoggedCase{"ATtiny13", &Driver::EraseChip, {1, 2, 3}, 0, Programs("AC 80 00 00", "sleep 9"), {1, 2, 3},
                   " erase the chip"}));

TEST(SerialCalibration, Attiny26AsksFourTimes)
{
    ChipBench bench("ATtiny26");
    bench.wire->spi = {0x9A, 0x9B, 0x9C, 0x0D};
    ASSERT_TRUE(drive::Run(bench.driver().ReadCalibration, bench.ctx));
    Trace expected;
    for (const char* q : {"38 00 00 00", "38 00 01 00", "38 00 02 00", "38 00 03 00"})
        for (auto& s : Query(q)) expected.push_back(s);
    EXPECT_EQ(bench.Trace(), expected);
    EXPECT_EQ(std::vector<std::uint8_t>(bench.ctx.chip.calibration.begin(), bench.ctx.chip.calibration.begin() + 4),
              (std::vector<std::uint8_t>{0x9A, 0x9B, 0x9C, 0x0D}));
    EXPECT_EQ(bench.Lines(), (std::vector<std::string>{"Trying to read calibration bytes", "       Finished"}));
}

TEST(SerialEntry, SynchronisesOnceAndNeedsTheEcho)
{
    const Trace expected{"48", "sleep 2", "47", "sleep 20", "SPI AC 53 00 00", "sleep 2", "readback"};
    {
        ChipBench bench("AT90S2323");
        EXPECT_TRUE(drive::Run(bench.driver().EnterProgMode, bench.ctx));
        EXPECT_EQ(bench.Trace(), expected);
        EXPECT_EQ(bench.Lines(), (std::vector<std::string>{"Trying to execute Programming Enable",
                                                            "       Finished with success."}));
    }
    ChipBench outOfStep("ATtiny85");
    outOfStep.wire->echo = false;
    EXPECT_FALSE(drive::Run(outOfStep.driver().EnterProgMode, outOfStep.ctx));
    EXPECT_EQ(outOfStep.Trace(), expected);
    EXPECT_EQ(outOfStep.Lines(), (std::vector<std::string>{"Trying to execute the sinchronization with chip"}));
    EXPECT_TRUE(outOfStep.ctx.bus.link.IsOpen());
}

}  // namespace
}  // namespace quillon::test
