// The simulated chip's parallel interface against what the datasheets say the silicon does:
// latches, page buffers, AND-only programming, erase, fuses, lock bits and RDY/BSY timing.
#include <gtest/gtest.h>

#include <vector>

#include "gateway/Step.h"
#include "programming/Parallel.h"
#include "support/SimHarness.h"

namespace quillon {
namespace {

using test::SimHarness;

// Reads one byte from the data bus with the selector lines given (PORTC, PORTD with OE low).
std::uint8_t ReadBus(SimHarness& h, std::uint8_t portc, std::uint8_t portd)
{
    auto b = ReadBusStep(h.bus(), Packet{SetPORTC(portc), SetDDRB(0x00), SetPORTD(portd), ReadPINB()}, " test");
    EXPECT_TRUE(b.has_value());
    SendStep(h.bus(), Packet{SetPORTD(PD_WORK)}, " test");
    return b.value_or(0);
}

bool Pulse(SimHarness& h, std::uint8_t code)
{
    return SendStep(h.bus(), Packet{quillon::Pulse(code)}, " pulse");
}

std::uint8_t ReadFlashByte(SimHarness& h, std::uint32_t byteAddress)
{
    const std::uint32_t word = byteAddress / 2;
    LoadCommand(h.bus(), 0x02);
    LoadAddressExtended(h.bus(), static_cast<std::uint8_t>(word >> 16));
    LoadAddressHigh(h.bus(), static_cast<std::uint8_t>(word >> 8));
    LoadAddressLow(h.bus(), static_cast<std::uint8_t>(word));
    return ReadBus(h, byteAddress & 1 ? 0x0A : 0x08, 0x10);
}

class ParallelModel : public ::testing::Test {
protected:
    void Enter(PowerUp how = PowerUp::BuiltIn)
    {
        ASSERT_TRUE(h.Connect());
        ASSERT_TRUE(EnterProgMode(h.bus(), how));
        ASSERT_TRUE(h.chip().InParallelMode());
    }
    SimHarness h{"ATmega8"};
};

TEST_F(ParallelModel, SignatureReadsByBothPowerUps)
{
    for (PowerUp how : {PowerUp::BuiltIn, PowerUp::Stepped}) {
        Enter(how);
        EXPECT_EQ(ReadSignature(h.bus()), 0x07931E);
    }
    EXPECT_TRUE(h.ProtocolErrors().empty());
}

TEST_F(ParallelModel, EntryNeedsProgEnableLinesLow)
{
    ASSERT_TRUE(h.Connect());
    // +12 V with XA1 high: the chip stays in normal mode and drives nothing.
    SendStep(h.bus(), Packet{SetDDRC(0x32), SetPORTC(0x00), SetDDRD(0xFC), SetPORTD(0x00)}, "");
    SendStep(h.bus(), Packet{SetDDRC(0x36)}, "");
    SendStep(h.bus(), Packet{SetPORTC(0x10)}, "");
    SendStep(h.bus(), Packet{SetDDRC(0x3E), SetPORTC(0x18)}, "");
    EXPECT_FALSE(h.chip().InParallelMode());
    EXPECT_FALSE(h.Diagnostics().empty());
}

TEST_F(ParallelModel, FlashPageWriteReadBackAndRdyBsy)
{
    Enter();
    ASSERT_TRUE(LoadCommand(h.bus(), 0x80));
    ASSERT_TRUE(Pulse(h, GiveWRNegPulse));
    ASSERT_TRUE(WaitReady(h.bus()));

    // Load the first page (32 words) and commit it.
    ASSERT_TRUE(LoadCommand(h.bus(), 0x10));
    for (int w = 0; w < 32; ++w) {
        LoadAddressLow(h.bus(), static_cast<std::uint8_t>(w));
        LoadDataLow(h.bus(), static_cast<std::uint8_t>(w));
        LoadDataHigh(h.bus(), static_cast<std::uint8_t>(0xA0 + w));
        Pulse(h, GivePagelPosPulse);
    }
    LoadAddressHigh(h.bus(), 0);
    SendStep(h.bus(), Packet{SetPORTC(0x08), quillon::Pulse(GiveWRNegPulse)}, "");
    // RDY/BSY is low for the page programming time and comes back as time passes.
    h.ClearTrace();
    ASSERT_TRUE(WaitReady(h.bus()));
    EXPECT_GE(h.Sleeps().size(), 4u);  // 4.5 ms of 1 ms polls

    EXPECT_EQ(h.chip().flash[0], 0x00);
    EXPECT_EQ(h.chip().flash[1], 0xA0);
    EXPECT_EQ(h.chip().flash[63], 0xA0 + 31);
    EXPECT_EQ(h.chip().flash[64], 0xFF);  // next page untouched
    EXPECT_EQ(ReadFlashByte(h, 62), 31);
    EXPECT_EQ(ReadFlashByte(h, 63), 0xA0 + 31);
}

TEST_F(ParallelModel, ProgrammingOnlyClearsBitsUntilErase)
{
    Enter();
    h.chip().flash[0] = 0xF0;
    h.chip().flash[1] = 0x0F;
    LoadCommand(h.bus(), 0x10);
    LoadAddressLow(h.bus(), 0);
    LoadDataLow(h.bus(), 0x3C);
    LoadDataHigh(h.bus(), 0x3C);
    Pulse(h, GivePagelPosPulse);
    LoadAddressHigh(h.bus(), 0);
    Pulse(h, GiveWRNegPulse);
    h.bus().Sleep(10);
    EXPECT_EQ(h.chip().flash[0], 0x30);
    EXPECT_EQ(h.chip().flash[1], 0x0C);
    EXPECT_FALSE(h.Diagnostics().empty());  // programming over unerased cells is reported

    h.chip().eeprom[5] = 0x12;
    h.chip().lock = 0xFC;
    LoadCommand(h.bus(), 0x80);
    Pulse(h, GiveWRNegPulse);
    EXPECT_EQ(h.gateway().PinC() & 1, 0);  // busy erasing
    h.bus().Sleep(10);
    EXPECT_EQ(h.gateway().PinC() & 1, 1);
    EXPECT_EQ(h.chip().flash[0], 0xFF);
    EXPECT_EQ(h.chip().eeprom[5], 0xFF);
    EXPECT_EQ(h.chip().lock, 0xFF);
    EXPECT_EQ(h.chip().fuses[0], 0xE1);  // fuses survive an erase
}

TEST_F(ParallelModel, EepromPagesLatchedByPagelWithoutAutoErase)
{
    Enter();
    auto writePage = [&](std::uint8_t base, std::uint8_t value) {
        LoadCommand(h.bus(), 0x11);
        LoadAddressHigh(h.bus(), 0x01);
        for (std::uint8_t i = 0; i < 4; ++i) {
            LoadAddressLow(h.bus(), static_cast<std::uint8_t>(base + i));
            LoadDataLow(h.bus(), static_cast<std::uint8_t>(value + i));
            Pulse(h, GivePagelPosPulse);
        }
        Pulse(h, GiveWRNegPulse);
        EXPECT_EQ(h.gateway().PinC() & 1, 0);
        ASSERT_TRUE(WaitReady(h.bus()));
    };
    writePage(0xFC, 0xF0);
    EXPECT_EQ(h.chip().eeprom[0x1FC], 0xF0);
    EXPECT_EQ(h.chip().eeprom[0x1FF], 0xF3);
    EXPECT_EQ(h.chip().eeprom[0x1FB], 0xFF);
    // Parallel programming does not erase EEPROM cells: a second write keeps the common 0 bits.
    writePage(0xFC, 0x0F);
    EXPECT_EQ(h.chip().eeprom[0x1FC], 0x00);
    EXPECT_FALSE(h.Diagnostics().empty());
}

TEST_F(ParallelModel, FusesTakeTheWrittenValueLockBitsOnlyProgram)
{
    Enter();
    struct Case {
        std::uint8_t portc, portd;  // selector at the WR pulse
        int fuse;
        std::uint8_t value;
    };
    for (const Case& c : {Case{0x08, 0x14, 0, 0x3F}, Case{0x0A, 0x14, 1, 0xC9}}) {
        LoadCommand(h.bus(), 0x40);
        LoadDataLow(h.bus(), c.value);
        SendStep(h.bus(), Packet{SetPORTC(c.portc), SetPORTD(c.portd), quillon::Pulse(GiveWRNegPulse)}, "");
        ASSERT_TRUE(WaitReady(h.bus()));
        EXPECT_EQ(h.chip().fuses[static_cast<std::size_t>(c.fuse)], c.value);
    }
    // A fuse bit goes back to 1 when written as 1.
    LoadCommand(h.bus(), 0x40);
    LoadDataLow(h.bus(), 0xFF);
    Pulse(h, GiveWRNegPulse);
    ASSERT_TRUE(WaitReady(h.bus()));
    EXPECT_EQ(h.chip().fuses[0], 0xFF);

    for (std::uint8_t v : {std::uint8_t{0xFE}, std::uint8_t{0xFD}}) {
        LoadCommand(h.bus(), 0x20);
        LoadDataLow(h.bus(), v);
        Pulse(h, GiveWRNegPulse);
        ASSERT_TRUE(WaitReady(h.bus()));
    }
    EXPECT_EQ(h.chip().lock, 0xFC);

    LoadCommand(h.bus(), 0x04);
    EXPECT_EQ(ReadBus(h, 0x08, 0x10), 0xFF);  // fuse low
    EXPECT_EQ(ReadBus(h, 0x0A, 0x90), 0xC9);  // fuse high (BS1 = 1, BS2 = 1)
    EXPECT_EQ(ReadBus(h, 0x0A, 0x10), 0xFC);  // lock (BS1 = 1)
}

TEST_F(ParallelModel, LockBitsForbidProgrammingThenVerification)
{
    Enter();
    h.chip().flash[0] = 0x42;
    auto writeLock = [&](std::uint8_t v) {
        LoadCommand(h.bus(), 0x20);
        LoadDataLow(h.bus(), v);
        Pulse(h, GiveWRNegPulse);
        ASSERT_TRUE(WaitReady(h.bus()));
    };
    auto writeFuseLow = [&](std::uint8_t v) {
        LoadCommand(h.bus(), 0x40);
        LoadDataLow(h.bus(), v);
        Pulse(h, GiveWRNegPulse);
        ASSERT_TRUE(WaitReady(h.bus()));
    };
    writeLock(0xFE);  // LB1: no more programming, fuses locked too
    writeFuseLow(0x00);
    EXPECT_EQ(h.chip().fuses[0], 0xE1);
    EXPECT_EQ(ReadFlashByte(h, 0), 0x42);  // still readable
    writeLock(0xFC);  // LB1 and LB2: no verification either
    EXPECT_EQ(ReadFlashByte(h, 0), 0xFF);
    // Only a chip erase clears them, and the fuses are writable again.
    LoadCommand(h.bus(), 0x80);
    Pulse(h, GiveWRNegPulse);
    ASSERT_TRUE(WaitReady(h.bus()));
    writeFuseLow(0x00);
    EXPECT_EQ(h.chip().fuses[0], 0x00);
}

TEST_F(ParallelModel, CalibrationBytesBehindBs1)
{
    Enter();
    LoadCommand(h.bus(), 0x08);
    for (std::uint8_t i = 0; i < 4; ++i) {
        LoadAddressLow(h.bus(), i);
        EXPECT_EQ(ReadBus(h, 0x0A, 0x10), h.chip().calibration[i]);
    }
}

TEST_F(ParallelModel, NeverReadyKeepsRdyLow)
{
    h.faults().neverReady = true;
    Enter();
    h.ClearTrace();
    EXPECT_FALSE(WaitReady(h.bus()));
    EXPECT_TRUE(h.bus().link.IsOpen());
    EXPECT_EQ(h.Sleeps().size(), 50u);
}

TEST(LargeFlash, ExtendedAddressByteSelectsTheUpperHalf)
{
    SimHarness h{"ATmega2560"};
    std::vector<std::uint8_t> image(262144, 0xFF);
    image[0x00010] = 0x11;
    image[0x20010] = 0x22;
    h.PreloadFlash(image);
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(EnterProgMode(h.bus(), PowerUp::Stepped));
    EXPECT_EQ(ReadFlashByte(h, 0x00010), 0x11);
    EXPECT_EQ(ReadFlashByte(h, 0x20010), 0x22);
}

TEST(ClassicParallelModel, At90s1200WordAtATimeAndCombinedFuseRead)
{
    SimHarness h{"AT90S1200"};
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(EnterProgMode(h.bus()));
    EXPECT_EQ(ReadSignature(h.bus()), 0x01901E);

    // A short WR pulse does not erase these parts; the long one does.
    h.chip().flash[10] = 0x00;
    LoadCommand(h.bus(), 0x80);
    Pulse(h, GiveWRNegPulse);
    EXPECT_EQ(h.chip().flash[10], 0x00);
    Pulse(h, GiveWR100NegPulse);
    EXPECT_EQ(h.chip().flash[10], 0xFF);

    LoadCommand(h.bus(), 0x10);
    LoadAddressHigh(h.bus(), 0x01);
    LoadAddressLow(h.bus(), 0x00);
    LoadDataLow(h.bus(), 0x12);
    Pulse(h, GiveWRNegPulse);
    ASSERT_TRUE(WaitReady(h.bus()));
    LoadDataHigh(h.bus(), 0x34);
    Pulse(h, GiveWRNegPulse);
    ASSERT_TRUE(WaitReady(h.bus()));
    EXPECT_EQ(h.chip().flash[512], 0x12);
    EXPECT_EQ(h.chip().flash[513], 0x34);

    // Both lock bits and SPIEN programmed read back as 0x3F... with the unused bits 1.
    LoadCommand(h.bus(), 0x20);
    LoadDataLow(h.bus(), 0xF9);
    Pulse(h, GiveWRNegPulse);
    ASSERT_TRUE(WaitReady(h.bus()));
    LoadCommand(h.bus(), 0x04);
    EXPECT_EQ(ReadBus(h, 0x0A, 0x10), 0x1F);  // LB1, LB2, SPIEN programmed; RCEN not
}

TEST(EmptySocket, FloatingBusReadsFF)
{
    SimHarness h;
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(EnterProgMode(h.bus()));
    EXPECT_EQ(ReadSignature(h.bus()), 0xFFFFFF);
    EXPECT_FALSE(WaitReady(h.bus()));
}

}  // namespace
}  // namespace quillon
