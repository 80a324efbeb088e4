// tavro-sim end to end: started on a pseudo-terminal and reached through the real serial link.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "gateway/Bus.h"
#include "programming/Parallel.h"
#include "programming/Serial.h"
#include "support/TavroSimProcess.h"

namespace quillon {
namespace {

using test::TavroSimProcess;

TEST(TavroSim, HandshakeSignatureAndReopen)
{
    TavroSimProcess sim({"--chip", "ATmega8"});
    ASSERT_FALSE(sim.Path().empty()) << "tavro-sim did not start";

    // The program closes and opens the port again between sessions; the simulator keeps serving.
    for (int session = 0; session < 2; ++session) {
        Bus bus;
        bus.link.OpenPort(sim.Path());
        ASSERT_TRUE(bus.link.IsOpen()) << (bus.log.Lines().empty() ? "" : bus.log.Lines().back());
        ASSERT_TRUE(EnterProgMode(bus));
        EXPECT_EQ(ReadSignature(bus), 0x07931E);
        bus.link.ClosePort();
    }
    EXPECT_TRUE(sim.Running());
}

TEST(TavroSim, InitialContentsFaultsAndTrace)
{
    const std::string dir = ::testing::TempDir();
    const std::string flash = dir + "/tavro-flash.bin";
    const std::string trace = dir + "/tavro-trace.txt";
    std::ofstream(flash, std::ios::binary) << "\x12\x34";
    {
        TavroSimProcess sim({"--chip", "ATtiny85", "--flash", flash, "--short-spi", "2", "--trace", trace});
        ASSERT_FALSE(sim.Path().empty());
        Bus bus;
        bus.delay = 0;
        bus.link.OpenPort(sim.Path());
        ASSERT_TRUE(bus.link.IsOpen());
        ASSERT_TRUE(EnterSerialProgMode(bus, " sync"));
        auto r = SpiQuery(bus, 0x28, 0x00, 0x00, 0x00, " q");  // high byte of word 0
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->byte0, 0x34);
        bus.link.ClosePort();
        EXPECT_EQ(sim.Stop(), 0);
    }
    std::stringstream text;
    text << std::ifstream(trace).rdbuf();
    EXPECT_NE(text.str().find("-> 44 00 00 53 AC"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("<- 00 53\n"), std::string::npos) << text.str();  // cut to 2 bytes
}

TEST(TavroSim, StrayBytesFollowTheChosenAnswers)
{
    // Bytes after the handshake's answer: the link sees them waiting behind it.
    TavroSimProcess once({"--chip", "ATmega8", "--stray", "55,AA@1"});
    ASSERT_FALSE(once.Path().empty());
    Bus bus;
    bus.link.OpenPort(once.Path());
    EXPECT_FALSE(bus.link.IsOpen());
    EXPECT_EQ(bus.log.Lines().front(), "The gateway sent 2 bytes more than asked: the answers are out of step");

    // From the second answer on, one byte after each: the handshake is sound, the first poll is not.
    TavroSimProcess every({"--chip", "ATmega8", "--stray-every", "55@2"});
    ASSERT_FALSE(every.Path().empty());
    Bus later;
    later.link.OpenPort(every.Path());
    ASSERT_TRUE(later.link.IsOpen());
    ASSERT_TRUE(EnterProgMode(later));
    EXPECT_FALSE(WaitReady(later));
    EXPECT_FALSE(later.link.IsOpen());
    const auto lines = later.log.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "The gateway sent 1 byte more than asked: the answers are out of step");
}

// An adapter's latency timer: what the gateway answers is held until the timer runs out after
// its first byte, unless a USB packet's worth (62 bytes) gathers first, which goes at once.
TEST(TavroSim, AdapterLatencyHoldsAnswersUntilItsTimerOrAFullPacket)
{
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    constexpr milliseconds kTimer{300};
    TavroSimProcess sim({"--chip", "ATtiny85", "--adapter-latency-us", std::to_string(kTimer.count() * 1000)});
    ASSERT_FALSE(sim.Path().empty()) << "tavro-sim did not start";
    OpenedPort port = OpenSerialPort(sim.Path());
    ASSERT_NE(port.transport, nullptr);
    Transport& line = *port.transport;
    std::uint8_t answer[64];

    // The handshake's one answer byte: alone, it waits out the timer.
    auto start = Clock::now();
    ASSERT_TRUE(line.Write(std::vector<std::uint8_t>{0x0A, 0x08, 0x00, 0x1E, 0x04}));
    EXPECT_EQ(line.Read(std::span(answer, 1), milliseconds(2000)), 1u);
    EXPECT_GE(Clock::now() - start, kTimer - milliseconds(20));

    // Eight read-backs answer 64 bytes: the first 62 fill a USB packet and come long before the
    // timer; the last two wait for it.
    const std::vector<std::uint8_t> readBacks(8, 0x45);
    start = Clock::now();
    ASSERT_TRUE(line.Write(readBacks));
    EXPECT_EQ(line.Read(std::span(answer, 62), milliseconds(2000)), 62u);
    EXPECT_LT(Clock::now() - start, kTimer - milliseconds(100));
    EXPECT_EQ(line.Queued(), 0u) << "the rest came before the timer";
    EXPECT_EQ(line.Read(std::span(answer, 2), milliseconds(2000)), 2u);
    EXPECT_GE(Clock::now() - start, kTimer - milliseconds(20));
}

TEST(TavroSim, EmptySocketByEitherName)
{
    for (const char* name : {"none", "empty", "NONE"}) {
        TavroSimProcess sim({"--chip", name});
        ASSERT_FALSE(sim.Path().empty()) << name << ": tavro-sim did not start";
        Bus bus;
        bus.delay = 0;
        bus.link.OpenPort(sim.Path());
        ASSERT_TRUE(bus.link.IsOpen()) << name;
        ASSERT_TRUE(EnterProgMode(bus)) << name;
        const auto signature = ReadSignature(bus);
        EXPECT_TRUE(signature == 0 || signature == 0xFFFFFF) << name << ": no chip answers";
        bus.link.ClosePort();
    }
}

TEST(TavroSim, RefusesBadOptions)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"--chip", "ATmega9999"},
                                          std::vector<std::string>{"--fuses", "XYZ"},
                                          std::vector<std::string>{"--bogus"}}) {
        TavroSimProcess sim(args);
        EXPECT_TRUE(sim.Path().empty());  // it printed no device path and exited
    }
}

}  // namespace
}  // namespace quillon
