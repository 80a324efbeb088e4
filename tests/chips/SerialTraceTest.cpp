// Byte-exact instructions of the serial drivers: address masks, page commits, waits, and what
// the lock, fuse and calibration operations move between chip and record.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "WiredChip.h"

namespace quillon::test {
namespace {

using Trace = std::vector<std::string>;

// An instruction that asks the chip for a byte: the readback carries the chip's answer in byte 0
// and, in byte 1, the echo of the instruction's second byte that an in-step chip sends while the
// third goes out.
Trace Query(const char* instruction, const char* answer)
{
    const std::string i = instruction;
    return {"SPI " + i, "sleep 2", "readback | " + std::string(answer) + " " + i.substr(3, 2)};
}
Trace Programs(const char* instruction, const char* wait = "sleep 5")
{
    return {std::string("SPI ") + instruction, "sleep 2", wait};
}

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
    WiredChip w(GetParam().chip);
    for (std::uint32_t i = 0; i < kFlashImageSize; ++i) w.socket.chip.flash[i] = i % 2 ? 0xA5 : 0x5A;
    for (std::uint32_t i = 0; i < kEepromImageSize; ++i) w.socket.chip.eeprom[i] = i % 2 ? 0xA5 : 0x5A;
    w.Expect(GetParam().expected);
    EXPECT_TRUE(GetParam().call(w.driver(), w.socket));
    EXPECT_TRUE(w.wire->Done());
    EXPECT_TRUE(w.Lines().empty());
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
        InstructionCase{"ATtiny25", "read flash 0x201", ReadFlash(0x201), Query("28 01 00 00", "FF")},
        InstructionCase{"AT90S2323", "read flash 0x7FE", ReadFlash(0x7FE), Query("20 03 FF 00", "FF")},
        InstructionCase{"ATtiny15", "read flash 0x3FF", ReadFlash(0x3FF), Query("28 01 FF 00", "FF")},
        InstructionCase{"AT90S2323", "write flash 0x7FF", WriteFlash(0x7FF), {"SPI 48 03 FF A5", "sleep 2", "sleep 9"}},
        InstructionCase{"ATtiny12", "write flash 0x200", WriteFlash(0x200), {"SPI 40 01 00 5A", "sleep 2", "sleep 4"}},
        InstructionCase{"ATtiny13", "load flash 0x3FF", LoadFlash(0x3FF), {"SPI 48 00 0F A5", "sleep 2"}},
        InstructionCase{"ATtiny13", "page 0x3FF", FlashPage(0x3FF), {"SPI 4C 01 F0 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny26", "page 0x7FF", FlashPage(0x7FF), {"SPI 4C 03 F0 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny85", "load flash 0x1FFE", LoadFlash(0x1FFE), {"SPI 40 0F FF 5A", "sleep 2"}},
        InstructionCase{"ATtiny85", "page 0x1FFF", FlashPage(0x1FFF), {"SPI 4C 0F FF 00", "sleep 2", "sleep 5"}},
        InstructionCase{"ATtiny12", "read EEPROM 0x3F", ReadEeprom(0x3F), Query("A0 00 3F 00", "FF")},
        InstructionCase{"ATtiny85", "read EEPROM 0x1FF", ReadEeprom(0x1FF), Query("A0 01 FF 00", "FF")},
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
    Trace expected;
    std::vector<std::uint8_t> slotsAfter;
    std::string what;
};

void PrintTo(const LoggedCase& c, std::ostream* os) { *os << c.chip << c.what; }

class SerialLogged : public ::testing::TestWithParam<LoggedCase> {};

TEST_P(SerialLogged, MovesTheSlotAndLogsTheFrame)
{
    const auto& c = GetParam();
    WiredChip w(c.chip);
    auto& slots = w.socket.chip.lockFuse;
    std::copy(c.slotsBefore.begin(), c.slotsBefore.end(), slots.begin());
    ASSERT_TRUE(drive::Offers(w.driver(), c.op));
    w.Expect(c.expected);
    EXPECT_TRUE(drive::Run(w.driver(), c.op, w.socket));
    EXPECT_TRUE(w.wire->Done());
    EXPECT_EQ(std::vector<std::uint8_t>(slots.begin(), slots.begin() + w.socket.chip.lockFuseCount), c.slotsAfter);
    EXPECT_EQ(w.Lines(), (std::vector<std::string>{"Trying to" + c.what, "       Finished with success."}));
}

INSTANTIATE_TEST_SUITE_P(
    Chips, SerialLogged,
    ::testing::Values(
        LoggedCase{"AT90S2343", &Driver::ReadFuseLockBits, {0x00, 0x00}, Query("58 00 00 00", "41"), {0xDF, 0xFD},
                   " read lock- & fuse-bits"},
        LoggedCase{"ATtiny22", &Driver::ReadFuseLockBits, {0x00, 0x00}, Query("58 00 00 00", "BE"), {0xFE, 0xFB},
                   " read lock- & fuse-bits"},
        LoggedCase{"ATtiny13", &Driver::ReadLockBits, {1, 2, 3}, Query("58 00 00 00", "00"), {1, 2, 0xFC},
                   " read lock-bits"},
        LoggedCase{"ATtiny12", &Driver::ReadLockBits, {1, 2}, Query("58 00 00 00", "02"), {1, 0xFB}, " read lock-bits"},
        LoggedCase{"ATtiny12", &Driver::ReadFuseLow, {1, 2}, Query("50 00 00 00", "52"), {0x52, 2}, " read fuse byte"},
        LoggedCase{"ATtiny15", &Driver::ReadFuseLow, {1, 2}, Query("50 00 00 00", "50"), {0x5C, 2}, " read fuse byte"},
        LoggedCase{"ATtiny26", &Driver::ReadFuseHigh, {1, 2, 3}, Query("58 08 00 00", "17"), {1, 0xF7, 3},
                   " read fuse high byte"},
        LoggedCase{"ATtiny45", &Driver::ReadFuseExtended, {1, 2, 3, 4}, Query("50 08 00 00", "FE"), {1, 2, 0xFE, 4},
                   " read fuse extended byte"},
        LoggedCase{"ATtiny85", &Driver::ReadLockBits, {1, 2, 3, 4}, Query("58 00 00 00", "3C"), {1, 2, 3, 0x3C},
                   " read lock-bits"},
        LoggedCase{"AT90S2323", &Driver::WriteFuseLow, {0xDE, 0xFF}, Programs("AC BE 00 00"), {0xDE, 0xFF},
                   " write fuse byte"},
        LoggedCase{"AT90S2323", &Driver::WriteFuseLow, {0x1F, 0xFF}, Programs("AC BF 00 00"), {0x1F, 0xFF},
                   " write fuse byte"},
        LoggedCase{"AT90S2343", &Driver::WriteFuseLow, {0xDF, 0xFF}, Programs("AC BF 00 00"), {0xDF, 0xFF},
                   " write fuse byte"},
        LoggedCase{"AT90S2323", &Driver::WriteLockBits, {0xDE, 0xF9}, Programs("AC F9 00 00"), {0xDE, 0xF9},
                   " write lock-bits"},
        // Only LB1 and LB2 reach I2: 0x9D there would make the instruction a chip erase.
        LoggedCase{"AT90S2343", &Driver::WriteLockBits, {0xDE, 0x9D}, Programs("AC FD 00 00"), {0xDE, 0x9D},
                   " write lock-bits"},
        LoggedCase{"ATtiny22", &Driver::WriteFuseLow, {0xFE, 0xFF}, Programs("AC BE 00 00"), {0xFE, 0xFF},
                   " write fuse byte"},
        LoggedCase{"ATtiny12", &Driver::WriteLockBits, {0x52, 0x00}, Programs("AC F9 00 00"), {0x52, 0x00},
                   " write lock-bits"},
        LoggedCase{"ATtiny12", &Driver::WriteFuseLow, {0x52, 0xFF}, Programs("AC A0 00 52"), {0x52, 0xFF},
                   " write fuse byte"},
        LoggedCase{"ATtiny15", &Driver::WriteFuseLow, {0x50, 0xFF}, Programs("AC A0 00 5C"), {0x50, 0xFF},
                   " write fuse byte"},
        LoggedCase{"ATtiny13", &Driver::WriteLockBits, {1, 2, 0x00}, Programs("AC E0 00 FC"), {1, 2, 0x00},
                   " write lock-bits"},
        LoggedCase{"ATtiny26", &Driver::WriteFuseHigh, {1, 0x00, 3}, Programs("AC A8 00 E0"), {1, 0x00, 3},
                   " write fuse high byte"},
        LoggedCase{"ATtiny13", &Driver::WriteFuseLow, {0x6A, 2, 3}, Programs("AC A0 00 6A"), {0x6A, 2, 3},
                   " write fuse low byte"},
        LoggedCase{"ATtiny25", &Driver::WriteFuseExtended, {1, 2, 0xFE, 4}, Programs("AC A4 00 FE"), {1, 2, 0xFE, 4},
                   " write fuse extended byte"},
        LoggedCase{"ATtiny25", &Driver::WriteLockBits, {1, 2, 3, 0xFC}, Programs("AC E0 00 FC"), {1, 2, 3, 0xFC},
                   " write lock-bits"},
        LoggedCase{"AT90S2323", &Driver::EraseChip, {1, 2}, Programs("AC 80 00 00", "sleep 18"), {1, 2},
                   " erase the chip"},
        LoggedCase{"ATtiny13", &Driver::EraseChip, {1, 2, 3}, Programs("AC 80 00 00", "sleep 9"), {1, 2, 3},
                   " erase the chip"}));

TEST(SerialCalibration, Attiny26AsksFourTimes)
{
    WiredChip w("ATtiny26");
    for (const auto& [q, answer] : {std::pair{"38 00 00 00", "9A"}, std::pair{"38 00 01 00", "9B"},
                                    std::pair{"38 00 02 00", "9C"}, std::pair{"38 00 03 00", "0D"}})
        w.Expect(Query(q, answer));
    ASSERT_TRUE(drive::Run(w.driver().ReadCalibration, w.socket));
    EXPECT_TRUE(w.wire->Done());
    const auto& calibration = w.socket.chip.calibration;
    EXPECT_EQ(std::vector<std::uint8_t>(calibration.begin(), calibration.begin() + 4),
              (std::vector<std::uint8_t>{0x9A, 0x9B, 0x9C, 0x0D}));
    EXPECT_EQ(w.Lines(), (std::vector<std::string>{"Trying to read calibration bytes", "       Finished"}));
}

TEST(SerialEntry, SynchronisesOnceAndNeedsTheEcho)
{
    const Trace synchronise{"48", "sleep 2", "47", "sleep 20", "SPI AC 53 00 00", "sleep 2"};
    {
        WiredChip w("AT90S2323");
        w.Expect(synchronise);
        w.Expect({"readback | FF 53"});  // 0x53 echoed while the third byte went out
        EXPECT_TRUE(drive::Run(w.driver().EnterProgMode, w.socket));
        EXPECT_TRUE(w.wire->Done());
        EXPECT_EQ(w.Lines(), (std::vector<std::string>{"Trying to execute Programming Enable",
                                                        "       Finished with success."}));
    }
    WiredChip outOfStep("ATtiny85");
    outOfStep.Expect(synchronise);
    outOfStep.Expect({"readback | FF 00"});  // no echo: the chip is not in step
    EXPECT_FALSE(drive::Run(outOfStep.driver().EnterProgMode, outOfStep.socket));
    EXPECT_TRUE(outOfStep.wire->Done());
    EXPECT_EQ(outOfStep.Lines(), (std::vector<std::string>{"Trying to execute the sinchronization with chip"}));
    EXPECT_TRUE(outOfStep.socket.bus.link.IsOpen());
}

}  // namespace
}  // namespace quillon::test
