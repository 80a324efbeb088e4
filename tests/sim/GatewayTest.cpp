// The simulated gateway's firmware: command framing, register order within a packet, answers,
// tolerance of any byte stream, the transport's faults and opening by name.
#include <gtest/gtest.h>

#include <random>

#include "gateway/Step.h"
#include "programming/Parallel.h"
#include "programming/Serial.h"
#include "support/SimHarness.h"

namespace quillon {
namespace {

using sim::Bytes;
using test::SimHarness;

TEST(GatewayFirmware, SeveralCommandsInOnePacketRunInWireOrder)
{
    SimHarness h("ATmega8");
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(EnterProgMode(h.bus()));
    ASSERT_TRUE(h.chip().InParallelMode());
    // PORTC 0x00 first drops +12 V (programming mode ends) while +5 V is still on...
    h.gateway().Feed(Bytes{0x11, 0x00});
    EXPECT_FALSE(h.chip().InParallelMode());
    // ...and the read packet answers the bus as it was with OE low, OE back high at the end.
    ASSERT_TRUE(EnterProgMode(h.bus()));
    LoadCommand(h.bus(), 0x08);
    LoadAddressLow(h.bus(), 1);
    h.ClearTrace();
    auto b = ReadBusStep(h.bus(), Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(0x14)}, "");
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(*b, 0x93);
    EXPECT_EQ(h.gateway().Regs().portd, 0x14);
    EXPECT_TRUE(test::PacketsEqual(h.Packets(), {Bytes{0x0B, 0x00, 0x15, 0x10, 0x17, 0x15, 0x14}}));
}

TEST(GatewayFirmware, HandshakeAnswersOneByteAndUnknownBytesAreReported)
{
    SimHarness h("ATmega8");
    ASSERT_TRUE(h.Connect());
    EXPECT_TRUE(test::PacketsEqual(h.Packets(), {Bytes{0x0A, 0x08, 0x00}, Bytes{0x1E}, Bytes{0x04}}));
    ASSERT_EQ(h.Answers().size(), 1u);
    EXPECT_EQ(h.Answers()[0].size(), 1u);
    EXPECT_TRUE(h.ProtocolErrors().empty());

    h.gateway().Feed(Bytes{0x99, 0x1D, 0x07, 0x17});
    const auto errors = h.ProtocolErrors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("0x99"), std::string::npos);
    EXPECT_NE(errors[1].find("pulse code 0x07"), std::string::npos);
    EXPECT_EQ(h.gateway().Output().size(), 1u);  // the ReadPINB after them still answered
}

TEST(GatewayFirmware, CommandCutAcrossWritesCompletesWithTheNext)
{
    SimHarness h("ATmega8");
    h.gateway().Feed(Bytes{0x44, 0x00, 0x00});
    h.gateway().Feed(Bytes{0x53, 0xAC, 0x17});
    EXPECT_EQ(h.gateway().Output().size(), 1u);
    EXPECT_EQ(h.ProtocolErrors().size(), 1u);  // the cut is reported once
}

TEST(GatewayFirmware, AnyByteStreamIsSurvived)
{
    std::mt19937 random(12345);
    for (const auto& d : sim::AllChipDescriptions()) {
        SimHarness h(d.name);
        for (int round = 0; round < 40; ++round) {
            Bytes bytes(1 + random() % 40);
            for (auto& b : bytes) {
                // Mostly real command bytes, so that the chip's state machines get exercised.
                static constexpr std::uint8_t kCommands[] = {0x0B, 0x0D, 0x0F, 0x11, 0x13, 0x15, 0x17,
                                                             0x18, 0x1D, 0x44, 0x45, 0x46, 0x47, 0x48};
                b = random() % 3 ? kCommands[random() % std::size(kCommands)]
                                 : static_cast<std::uint8_t>(random());
            }
            h.device().Write(bytes);
            h.gateway().Advance(random() % 20);
            std::uint8_t sink[64];
            h.device().Read(sink);
        }
    }
}

TEST(SimFaults, SilentAfterAndHangupAfter)
{
    {
        sim::Faults f;
        f.silentAfter = 2;
        SimHarness h("ATmega8", f);
        EXPECT_FALSE(h.Connect());  // the probe is the third packet: no answer
        const auto lines = h.LogLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "Error reading the answer (PINB)");
        EXPECT_TRUE(lines.back().starts_with("No gateway answered on ")) << lines.back();
    }
    {
        sim::Faults f;
        f.hangupAfter = 3;
        SimHarness h("ATmega8", f);
        ASSERT_TRUE(h.Connect());
        EXPECT_FALSE(EnterProgMode(h.bus()));
        EXPECT_FALSE(h.bus().link.IsOpen());
        EXPECT_TRUE(h.device().HungUp());
    }
}

TEST(SimFaults, ShortSpiAnswerAndStrayBytes)
{
    {
        sim::Faults f;
        f.shortSpi = 1;
        SimHarness h("ATtiny13", f);
        ASSERT_TRUE(h.Connect());
        // Byte 1 (the echo) never comes: an answer too short to hold it is no answer.
        EXPECT_FALSE(EnterSerialProgMode(h.bus(), " sync"));
        EXPECT_FALSE(h.bus().link.IsOpen());
        EXPECT_EQ(h.Answers().back().size(), 1u);
    }
    {
        // Once, after the first ReadPINC; or after it and every later answer.
        for (bool every : {false, true}) {
            sim::Faults f;
            f.stray = {0xEE, 0xEF};
            f.strayAfterAnswer = 2;
            f.strayEveryAnswer = every;
            SimHarness h("ATmega8", f);
            ASSERT_TRUE(h.Connect());
            auto& device = h.device();
            ASSERT_TRUE(device.Write(std::vector<std::uint8_t>{0x18}));
            EXPECT_EQ(device.Queued(), 3u) << every;  // the answer and the two stray bytes
            device.DiscardOutput();
            ASSERT_TRUE(device.Write(std::vector<std::uint8_t>{0x18}));
            EXPECT_EQ(device.Queued(), every ? 3u : 1u);
        }
    }
}

TEST(SimFaults, PacingAdvancesVirtualTimeLikeTheLine)
{
    sim::Faults f;
    f.pace = true;
    f.latencyUs = 1000;
    SimHarness h("ATmega8", f);
    ASSERT_TRUE(h.Connect());
    // Three packets of 3 + 1 + 1 bytes and one answer byte: 6 bytes of 44 us and 4 transfers.
    EXPECT_NEAR(h.Now(), 6 * 0.044 + 4 * 1.0, 1e-9);
}

TEST(OpenByName, SimPathsAndUnknownChips)
{
    for (const char* path : {"sim:ATmega8", "sim:atmega8", "SIM:ATtiny85", "sim:", "sim:empty", "sim:none", "sim:None"}) {
        OpenedPort p = sim::OpenSimPort(path);
        EXPECT_TRUE(p.transport) << path;
    }
    for (const char* path : {"sim:ATmega9", "ATmega8", "/dev/ttyS0"}) {
        OpenedPort p = sim::OpenSimPort(path);
        EXPECT_FALSE(p.transport) << path;
        EXPECT_EQ(p.failure, OpenFailure::NotAvailable);
    }
    EXPECT_FALSE(sim::OpenAnyPort("/dev/no-such-port").transport);

    // Opened by name, the model follows the clock, as a program that really sleeps needs.
    Bus bus(sim::OpenAnyPort);
    bus.link.OpenPort("sim:ATmega8");
    ASSERT_TRUE(bus.link.IsOpen());
    bus.delay = 0;
    ASSERT_TRUE(EnterProgMode(bus));
    EXPECT_EQ(ReadSignature(bus), 0x07931E);
    LoadCommand(bus, 0x80);
    SendStep(bus, Packet{Pulse(GiveWRNegPulse)}, "");
    EXPECT_TRUE(WaitReady(bus));  // the 9 ms erase ends within the 50 real 1 ms polls
}

TEST(ChipDescriptions, EveryChipHasItsOwnSignature)
{
    const auto chips = sim::AllChipDescriptions();
    for (const auto& d : chips) {
        SCOPED_TRACE(std::string(d.name));
        EXPECT_EQ(sim::FindChipDescription(d.name), &d);
        EXPECT_EQ(d.signature[0], 0x1E);
        if (d.flashPageWords) {
            EXPECT_EQ(d.FlashWords() % d.flashPageWords, 0u);
        }
        if (d.eepromPageBytes) {
            EXPECT_EQ(d.eepromBytes % d.eepromPageBytes, 0u);
        }
        for (const auto& other : chips) {
            if (&other != &d) {
                EXPECT_NE(other.signature, d.signature);
            }
        }
    }
    // Page sizes the datasheets give where it matters most.
    EXPECT_EQ(sim::FindChipDescription("ATtiny25")->flashPageWords, 16);
    EXPECT_EQ(sim::FindChipDescription("ATtiny45")->flashPageWords, 32);
    EXPECT_EQ(sim::FindChipDescription("ATtiny85")->flashPageWords, 32);
    EXPECT_EQ(sim::FindChipDescription("ATtiny84")->flashPageWords, 32);
    EXPECT_EQ(sim::FindChipDescription("ATmega328P")->flashPageWords, 64);
    EXPECT_EQ(sim::FindChipDescription("ATmega1284P")->flashPageWords, 128);
}

TEST(SocketMethods, SerialOnlyChipsShowNothingOnTheParallelBus)
{
    SimHarness tiny85("ATtiny85");
    ASSERT_TRUE(tiny85.Connect());
    ASSERT_TRUE(EnterProgMode(tiny85.bus()));
    EXPECT_EQ(ReadSignature(tiny85.bus()), 0xFFFFFF);

    // The ATtiny26 has both interfaces.
    SimHarness tiny26("ATtiny26");
    ASSERT_TRUE(tiny26.Connect());
    ASSERT_TRUE(EnterProgMode(tiny26.bus()));
    EXPECT_EQ(ReadSignature(tiny26.bus()), 0x09911E);
    EXPECT_TRUE(EnterSerialProgMode(tiny26.bus(), " sync"));

    // And a parallel chip does not answer SPI.
    SimHarness mega8("ATmega8");
    ASSERT_TRUE(mega8.Connect());
    EXPECT_FALSE(EnterSerialProgMode(mega8.bus(), " sync"));
}

}  // namespace
}  // namespace quillon
