// The primitives against the simulated chip in its socket: the whole trace of a signature read
// and of programming enable, and the chip's answers.
#include <gtest/gtest.h>

#include "programming/Parallel.h"
#include "programming/Serial.h"
#include "support/SimHarness.h"

namespace quillon {
namespace {

using test::BytesOf;
using test::PacketsEqual;
using test::SimHarness;
using Bytes = sim::Bytes;

TEST(SimulatedChip, HandshakeAndSignatureOfAnAt90s1200)
{
    SimHarness h("AT90S1200");
    ASSERT_TRUE(h.Connect());
    EXPECT_TRUE(PacketsEqual(h.Packets(), {{0x0A, 0x08, 0x00}, {0x1E}, {0x04}}));
    h.ClearTrace();

    ASSERT_TRUE(EnterProgMode(h.bus()));
    ASSERT_EQ(ReadSignature(h.bus()), 0x01901E);
    ASSERT_TRUE(ExitProgMode(h.bus()));

    std::vector<Bytes> expected = {
        {0x0B, 0x00, 0x0D, 0x00}, {0x0F, 0x32, 0x11, 0x00}, {0x13, 0xFC, 0x15, 0x00}, {0x1D, 0x00}, {0x15, 0x14},
        {0x11, 0x18, 0x15, 0x14}, {0x0B, 0xFF, 0x0D, 0x08}, {0x1D, 0x02},  // LoadCommand 0x08
    };
    for (std::uint8_t address = 0; address < 3; ++address) {
        expected.push_back({0x11, 0x08, 0x15, 0x14});
        expected.push_back({0x0B, 0xFF, 0x0D, address});
        expected.push_back({0x1D, 0x02});
        expected.push_back({0x0B, 0x00, 0x15, 0x10, 0x17, 0x15, 0x14});
    }
    expected.push_back({0x11, 0x00, 0x0F, 0x32});
    EXPECT_TRUE(PacketsEqual(h.Packets(), expected));
    EXPECT_EQ(h.Answers(), (std::vector<Bytes>{{0x1E}, {0x90}, {0x01}}));
    EXPECT_TRUE(h.ProtocolErrors().empty());
    EXPECT_EQ(h.LogLines(), (std::vector<std::string>{
                                "Trying to enter Programming Mode", "       Finished with success.",
                                "Trying to read signature bytes", "       Finished",
                                "Trying to exit Programming Mode", "       Finished with success."}));
}

TEST(SimulatedChip, SteppedEntryReachesProgrammingModeToo)
{
    SimHarness h("ATmega640");
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(EnterProgMode(h.bus(), PowerUp::Stepped));
    EXPECT_EQ(ReadSignature(h.bus()), 0x08961E);
}

TEST(SimulatedChip, AnEmptySocketReadsTheFloatingBus)
{
    SimHarness h("");
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(EnterProgMode(h.bus()));
    const std::int32_t signature = ReadSignature(h.bus());
    EXPECT_TRUE(signature == 0 || signature == 0xFFFFFF) << std::hex << signature;
}

TEST(SimulatedChip, ProgrammingEnableEchoes0x53)
{
    SimHarness h("ATtiny13");
    ASSERT_TRUE(h.Connect());
    h.ClearTrace();
    h.bus().delay = 0;
    ASSERT_TRUE(EnterSerialProgMode(h.bus(), " execute the sinchronization with chip"));
    EXPECT_TRUE(PacketsEqual(h.Packets(), {{0x48}, {0x47}, {0x44, 0x00, 0x00, 0x53, 0xAC}, {0x46}, {0x45}}));
    EXPECT_EQ(h.Sleeps(), std::vector<int>{20});
    ASSERT_FALSE(h.Answers().empty());
    EXPECT_EQ(h.Answers().back().at(1), 0x53);

    // A parallel-only chip in the socket never answers in step: silent failure, port open.
    SimHarness parallel("ATmega8");
    ASSERT_TRUE(parallel.Connect());
    EXPECT_FALSE(EnterSerialProgMode(parallel.bus(), " execute Programming Enable"));
    EXPECT_TRUE(parallel.bus().link.IsOpen());
    EXPECT_EQ(parallel.LogLines(), std::vector<std::string>{"Trying to execute Programming Enable"});
}

}  // namespace
}  // namespace quillon
