// How a driver ends when the chip differs, the gateway fails or the chip stays busy: which of
// them log, which close the port, and what a verify leaves on the wire.
#include <gtest/gtest.h>

#include "ChipBench.h"

namespace quillon::test {
namespace {

using Trace = std::vector<std::string>;

struct VerifyCase {
    const char* chip;
    bool eeprom;
    std::int32_t pos;
    std::size_t differing;  // offset from pos of the byte the chip gives differently
    Trace expected;         // the wire up to the difference
};

void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.chip << (c.eeprom ? " EEPROM" : " flash"); }

class VerifyDifference : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyDifference, StopsSilentlyWithThePortOpen)
{
    const auto& c = GetParam();
    ChipBench bench(c.chip);
    std::span<std::uint8_t> image = c.eeprom ? std::span<std::uint8_t>(bench.ctx.chip.eeprom)
                                             : std::span<std::uint8_t>(bench.ctx.chip.flash);
    // The chip reads 0xFF everywhere; the image differs in one byte.
    std::fill(image.begin(), image.end(), 0xFF);
    image[static_cast<std::size_t>(c.pos) + c.differing] = 0x00;
    const Driver& d = bench.driver();
    auto read = [&](std::int32_t pos) {
        if (c.eeprom) return d.ReadEepromByte(bench.ctx, pos, true);
        return d.ReadFlashWord ? d.ReadFlashWord(bench.ctx, pos, true) : d.ReadFlashByte(bench.ctx, pos, true);
    };
    EXPECT_FALSE(read(c.pos));
    EXPECT_EQ(bench.Trace(), c.expected);
    EXPECT_TRUE(bench.Lines().empty());
    EXPECT_TRUE(bench.ctx.link.IsOpen());
    EXPECT_EQ(image[static_cast<std::size_t>(c.pos) + c.differing], 0x00) << "a verify never stores";

    // The next address still reads and compares.
    EXPECT_TRUE(read(c.pos + (c.eeprom || !d.ReadFlashWord ? 1 : 2) + static_cast<std::int32_t>(c.differing)));
}

INSTANTIATE_TEST_SUITE_P(
    Chips, VerifyDifference,
    ::testing::Values(VerifyCase{"ATmega8", false, 2, 0, {"AddrL 01", "0B 00 15 10 17"}},
                      VerifyCase{"ATmega8", false, 2, 1, {"AddrL 01", "0B 00 15 10 17", "11 0A 17 15 14"}},
                      VerifyCase{"AT90S1200", false, 4, 0, {"AddrH 00", "AddrL 02", "0B 00 15 10 17"}},
                      VerifyCase{"ATmega640", true, 9, 0, {"AddrH 00", "AddrL 09", "0B 00 15 10 17 15 14"}},
                      VerifyCase{"ATtiny85", false, 7, 0, {"SPI 28 00 03 00", "sleep 2", "readback"}},
                      VerifyCase{"ATtiny13", true, 5, 0, {"SPI A0 00 05 00", "sleep 2", "readback"}}));

struct GatewayFailureCase {
    const char* chip;
    const char* what;
    std::function<bool(const Driver&, Context&)> call;
    int failWrite;          // -1: every write goes through
    bool silent;            // the gateway answers nothing
    std::string logLine;
};

void PrintTo(const GatewayFailureCase& c, std::ostream* os) { *os << c.chip << " " << c.what; }

class GatewayFailure : public ::testing::TestWithParam<GatewayFailureCase> {};

TEST_P(GatewayFailure, LogsTheStepAndClosesThePort)
{
    const auto& c = GetParam();
    ChipBench bench(c.chip);
    bench.wire->failWriteNumber = c.failWrite;
    bench.wire->answers = !c.silent;
    EXPECT_FALSE(c.call(bench.driver(), bench.ctx));
    ASSERT_FALSE(bench.Lines().empty());
    EXPECT_EQ(bench.Lines().back(), c.logLine);
    EXPECT_FALSE(bench.ctx.link.IsOpen());
}

const std::string kExec = "Error executing commands: ";
const std::string kAnswer = "Error reading the answer";

INSTANTIATE_TEST_SUITE_P(
    Chips, GatewayFailure,
    ::testing::Values(
        GatewayFailureCase{"ATmega8", "read flash", [](const Driver& d, Context& c) { return d.ReadFlashWord(c, 2, false); },
                           3, false, kExec + " read flash word low byte"},
        GatewayFailureCase{"ATmega8", "read flash, no answer",
                           [](const Driver& d, Context& c) { return d.ReadFlashWord(c, 2, false); }, -1, true,
                           kAnswer + " (PINB)"},
        GatewayFailureCase{"ATmega2560", "page", [](const Driver& d, Context& c) { return d.WriteFlashPage(c, 254); }, 6,
                           false, kExec + " GiveWRNegPulse"},
        GatewayFailureCase{"ATtiny461", "page", [](const Driver& d, Context& c) { return d.WriteFlashPage(c, 62); }, 3,
                           false, kExec + " set BS1=0, GiveWRNegPulse"},
        GatewayFailureCase{"ATmega8", "page, no ready answer",
                           [](const Driver& d, Context& c) { return d.WriteFlashPage(c, 62); }, -1, true,
                           kAnswer + " (PINC)"},
        GatewayFailureCase{"ATmega603", "erase", [](const Driver& d, Context& c) { return d.EraseChip(c); }, 3, false,
                           kExec + " GiveWR100NegPulse"},
        GatewayFailureCase{"ATtiny2313", "fuse high", [](const Driver& d, Context& c) { return d.WriteFuseHigh(c); }, 7,
                           false, kExec + " 0x1D 0x03"},
        GatewayFailureCase{"AT90CAN64", "lock read", [](const Driver& d, Context& c) { return d.ReadLockBits(c); }, 3,
                           false, kExec + " read Lock-byte"},
        GatewayFailureCase{"AT90S4433", "first flash pulse",
                           [](const Driver& d, Context& c) { return d.WriteFlashWord(c, 2); }, 6, false,
                           kExec + " 0x1D 0x03"},
        GatewayFailureCase{"ATtiny25", "read flash", [](const Driver& d, Context& c) { return d.ReadFlashByte(c, 0x201, false); },
                           0, false, kExec + " 0x44 0x00 b a 0x2H"},
        GatewayFailureCase{"ATtiny13", "load flash", [](const Driver& d, Context& c) { return d.LoadFlashByte(c, 0); },
                           0, false, kExec + " 0x44 Data b 0x00 0x4H"},
        GatewayFailureCase{"ATtiny85", "fuse low", [](const Driver& d, Context& c) { return d.WriteFuseLow(c); }, 0,
                           false, kExec + " 0x44 Fuse Low 0x00 0xA0 0xAC"},
        GatewayFailureCase{"ATtiny85", "exchange", [](const Driver& d, Context& c) { return d.WriteFuseLow(c); }, 1,
                           false, kExec + " 0x46"},
        GatewayFailureCase{"ATtiny26", "calibration, no answer",
                           [](const Driver& d, Context& c) { return d.ReadCalibration(c); }, -1, true,
                           kAnswer + " (SPI paket)"}));

TEST(BusyChip, WaitReadyGivingUpFailsWithoutALineAndKeepsThePort)
{
    ChipBench bench("ATmega8");
    bench.wire->ready = false;
    EXPECT_FALSE(bench.driver().WriteFlashPage(bench.ctx, 62));
    const Trace trace = bench.Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "rdy"), 50);
    EXPECT_TRUE(bench.Lines().empty());
    EXPECT_TRUE(bench.ctx.link.IsOpen());

    bench.Clear();
    EXPECT_FALSE(bench.driver().WriteLockBits(bench.ctx));
    EXPECT_EQ(bench.Lines(), (std::vector<std::string>{"Trying to write lock-bits"}));
    EXPECT_TRUE(bench.ctx.link.IsOpen());
}

TEST(FailedOneByteRead, KeepsTheSlotsItHadNotReachedYet)
{
    ChipBench bench("ATtiny2313");
    bench.ctx.chip.lockFuse = {1, 2, 3, 4};
    bench.wire->bus = {0x64};
    bench.wire->failWriteNumber = 4;  // the fuse high read, after the command's three packets
    EXPECT_FALSE(bench.driver().ReadFuseLockBits(bench.ctx));
    EXPECT_EQ(bench.ctx.chip.lockFuse[0], 0x64);
    EXPECT_EQ(bench.ctx.chip.lockFuse[1], 2);
    EXPECT_EQ(bench.Lines().back(), kExec + " read Fuse High bits");
}

}  // namespace
}  // namespace quillon::test

namespace quillon::test {
namespace {

TEST(OutsideTheImages, PositionsAreRefusedWithoutTraffic)
{
    for (const char* chip : {"ATmega2560", "AT90S8515", "ATtiny85", "ATtiny12"}) {
        ChipBench bench(chip);
        const Driver& d = bench.driver();
        const auto& c = bench.ctx;
        for (std::int32_t pos : {-2, -1, static_cast<std::int32_t>(kFlashImageSize) - 1,
                                 static_cast<std::int32_t>(kFlashImageSize)}) {
            if (d.ReadFlashWord) {
                EXPECT_FALSE(d.ReadFlashWord(bench.ctx, pos, false)) << chip << " " << pos;
                EXPECT_FALSE(d.WriteFlashWord(bench.ctx, pos)) << chip << " " << pos;
            } else if (pos != static_cast<std::int32_t>(kFlashImageSize) - 1) {
                EXPECT_FALSE(d.ReadFlashByte(bench.ctx, pos, true)) << chip << " " << pos;
                EXPECT_FALSE((d.LoadFlashByte ? d.LoadFlashByte : d.WriteFlashByte)(bench.ctx, pos)) << chip << " " << pos;
            }
        }
        for (std::int32_t pos : {-1, static_cast<std::int32_t>(kEepromImageSize)}) {
            EXPECT_FALSE(d.ReadEepromByte(bench.ctx, pos, false)) << chip << " " << pos;
            EXPECT_FALSE((d.LoadEepromByte ? d.LoadEepromByte : d.WriteEepromByte)(bench.ctx, pos)) << chip << " " << pos;
        }
        EXPECT_TRUE(bench.Trace().empty()) << chip;
        EXPECT_TRUE(c.link.IsOpen());
    }
}

}  // namespace
}  // namespace quillon::test
