// The simulated chip's serial programming interface, each generation with its own instructions.
#include <gtest/gtest.h>

#include "programming/Serial.h"
#include "support/SimHarness.h"

namespace quillon {
namespace {

using test::SimHarness;

struct SerialFixture {
    explicit SerialFixture(std::string_view chip) : h(chip)
    {
        EXPECT_TRUE(h.Connect());
        EXPECT_TRUE(EnterSerialProgMode(h.bus(), " sync"));
    }
    std::uint8_t Query(std::uint8_t i1, std::uint8_t i2, std::uint8_t i3, std::uint8_t i4 = 0)
    {
        auto r = SpiQuery(h.bus(), i1, i2, i3, i4, " q");
        EXPECT_TRUE(r.has_value());
        return r ? r->byte0 : 0;
    }
    void Do(std::uint8_t i1, std::uint8_t i2, std::uint8_t i3, std::uint8_t i4, int wait = 10)
    {
        EXPECT_TRUE(SpiInstruction(h.bus(), i1, i2, i3, i4, wait, " i"));
    }
    SimHarness h;
};

TEST(SerialModel, ProgrammingEnableEchoesAndSignatureReads)
{
    SerialFixture f("ATtiny85");
    EXPECT_TRUE(f.h.chip().InSerialMode());
    EXPECT_EQ(f.Query(0x30, 0, 0), 0x1E);
    EXPECT_EQ(f.Query(0x30, 0, 1), 0x93);
    EXPECT_EQ(f.Query(0x30, 0, 2), 0x0B);
    // The answer carries the received bytes last first, then filler up to 8.
    auto answers = f.h.Answers();
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers.back().size(), 8u);
    EXPECT_EQ(answers.back()[0], 0x0B);  // received during I4: the data
    EXPECT_EQ(answers.back()[1], 0x00);  // received during I3: the echo of I2
    EXPECT_EQ(answers.back()[2], 0x30);  // received during I2: the echo of I1
}

TEST(SerialModel, NoEchoWithoutSync)
{
    SimHarness h("ATtiny13");
    ASSERT_TRUE(h.Connect());
    // Programming Enable without SpiBegin/SpiSync: the chip is not listening.
    auto r = SpiQuery(h.bus(), 0xAC, 0x53, 0x00, 0x00, " q");
    ASSERT_TRUE(r.has_value());
    EXPECT_NE(r->byte1, 0x53);
    EXPECT_FALSE(h.chip().InSerialMode());
}

TEST(SerialModel, Tiny85PagedFlashAndEeprom)
{
    SerialFixture f("ATtiny85");
    f.Do(0xAC, 0x80, 0, 0);
    // One 64-byte page: 32 words loaded, committed at once.
    for (int w = 0; w < 32; ++w) {
        f.Do(0x40, 0x00, static_cast<std::uint8_t>(0x20 + w), static_cast<std::uint8_t>(w), 0);
        f.Do(0x48, 0x00, static_cast<std::uint8_t>(0x20 + w), static_cast<std::uint8_t>(0x80 + w), 0);
    }
    f.Do(0x4C, 0x00, 0x3F, 0x00);
    EXPECT_EQ(f.h.chip().flash[0x40], 0);
    EXPECT_EQ(f.h.chip().flash[0x7F], 0x80 + 31);
    EXPECT_EQ(f.Query(0x28, 0x00, 0x3F), 0x80 + 31);
    EXPECT_EQ(f.h.chip().flash[0x3F], 0xFF);

    for (std::uint8_t i = 0; i < 4; ++i) f.Do(0xC1, 0x00, i, static_cast<std::uint8_t>(0x50 + i), 0);
    f.Do(0xC2, 0x01, 0xFC, 0x00);
    EXPECT_EQ(f.Query(0xA0, 0x01, 0xFF), 0x53);
    EXPECT_EQ(f.h.chip().eeprom[0x1FC], 0x50);
}

TEST(SerialModel, FuseLockAndCalibrationEncodingsPerChip)
{
    {
        SerialFixture f("ATtiny25");
        f.Do(0xAC, 0xA4, 0x00, 0xFE);  // extended fuse
        EXPECT_EQ(f.Query(0x50, 0x08, 0x00), 0xFE);
        f.Do(0xAC, 0xA8, 0x00, 0xFF);  // SPIEN cannot be unprogrammed over SPI
        EXPECT_EQ(f.Query(0x58, 0x08, 0x00), 0xDF);
        f.Do(0xAC, 0xE0, 0x00, 0xFE);
        EXPECT_EQ(f.Query(0x58, 0x00, 0x00), 0xFE);
        EXPECT_EQ(f.Query(0x38, 0x00, 0x01), f.h.chip().calibration[1]);
    }
    {
        SerialFixture f("ATtiny12");
        f.Do(0xAC, 0xA0, 0x00, 0x70);  // fuse byte in I4; SPIEN (bit 5) stays
        EXPECT_EQ(f.Query(0x50, 0x00, 0x00), 0x50);
        f.Do(0xAC, 0xFD, 0x00, 0x00);  // 1111 1101: LB1 programmed
        EXPECT_EQ(f.Query(0x58, 0x00, 0x00), 0xFD);
    }
    {
        // The AT90S2323's FSTRT write is 1010 1100 1011 111F; 100x xxxx would erase.
        SerialFixture f("AT90S2323");
        f.h.chip().flash[0] = 0x00;
        f.Do(0xAC, 0xBF, 0x00, 0x00);
        EXPECT_EQ(f.h.chip().flash[0], 0x00);
        EXPECT_EQ(f.h.chip().fuses[0] & 0x01, 0x01);
        // Fuse and lock read as one byte: LB1 LB2 SPIEN ... FSTRT.
        EXPECT_EQ(f.Query(0x58, 0x00, 0x00), 0xDF);
        f.Do(0xAC, 0x9F, 0x00, 0x00);
        EXPECT_EQ(f.h.chip().flash[0], 0xFF);
    }
}

TEST(SerialModel, OldPartsNeedResetAfterEraseAndProgramByteWise)
{
    SerialFixture f("AT90S2343");
    f.h.chip().eeprom[3] = 0x00;
    f.Do(0xAC, 0x80, 0, 0, 20);
    // The erase cycle ends only with a RESET pulse: until then the chip ignores instructions.
    f.Do(0x48, 0x03, 0xFF, 0x5A, 9);
    EXPECT_EQ(f.h.chip().flash[0x7FF], 0xFF);
    ASSERT_TRUE(EnterSerialProgMode(f.h.bus(), " again"));
    f.Do(0x48, 0x03, 0xFF, 0x5A, 9);
    // EEPROM writes over SPI erase the cell first.
    f.Do(0xC0, 0x00, 0x03, 0xA5, 9);
    f.Do(0xC0, 0x00, 0x03, 0x5A, 9);
    EXPECT_EQ(f.Query(0xA0, 0x00, 0x03), 0x5A);
    EXPECT_EQ(f.Query(0x28, 0x03, 0xFF), 0x5A);
    EXPECT_EQ(f.h.chip().flash[0x7FF], 0x5A);
}

}  // namespace
}  // namespace quillon
