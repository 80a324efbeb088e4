// Byte traces of the programming primitives against a scripted wire: packets, waits and the
// log lines and port state of every failure.
#include <gtest/gtest.h>

#include "gateway/Bus.h"
#include "programming/Parallel.h"
#include "programming/Serial.h"
#include "support/ScriptedTransport.h"

namespace quillon {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// A context connected to a scripted wire, with waits recorded instead of slept.
struct Wired {
    std::shared_ptr<test::ScriptedWire> wire = std::make_shared<test::ScriptedWire>();
    Bus bus{test::ScriptedOpener(wire)};
    std::vector<std::string> events;  // packets as hex, waits as "sleep N"

    explicit Wired(int delay = 1)
    {
        wire->pending = {0x00};
        bus.link.OpenPort("scripted");
        wire->written.clear();
        wire->writes = 0;
        bus.delay = delay;
        bus.sleep = [this](int ms) {
            Flush();
            events.push_back("sleep " + std::to_string(ms));
        };
    }
    // Moves the packets written so far into the event list, in order with the waits.
    void Flush()
    {
        for (const auto& packet : wire->written) {
            std::string hex;
            for (auto b : packet) {
                char buf[4];
                std::snprintf(buf, sizeof buf, "%02X", b);
                hex += hex.empty() ? "" : " ";
                hex += buf;
            }
            events.push_back(hex);
        }
        wire->written.clear();
    }
    std::vector<std::string> Events()
    {
        Flush();
        return events;
    }
};

TEST(Parallel, LoadStepsAreThreePackets)
{
    struct Case {
        bool (*step)(Bus&, std::uint8_t);
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {LoadCommand, {"11 18 15 14", "0B FF 0D 02", "1D 02"}},
        {LoadAddressLow, {"11 08 15 14", "0B FF 0D 02", "1D 02"}},
        {LoadAddressHigh, {"11 0A 15 14", "0B FF 0D 02", "1D 02"}},
        {LoadAddressExtended, {"11 08 15 94", "0B FF 0D 02", "1D 02"}},
        {LoadDataLow, {"11 08 15 54", "0B FF 0D 02", "1D 02"}},
        {LoadDataHigh, {"11 0A 15 54", "0B FF 0D 02", "1D 02"}},
    };
    for (const auto& c : cases) {
        Wired w;
        EXPECT_TRUE(c.step(w.bus, 0x02));
        EXPECT_EQ(w.Events(), c.events);
    }
}

TEST(Parallel, LoadStepFailuresNameThePacket)
{
    struct Case {
        bool (*step)(Bus&, std::uint8_t);
        int failing;
        std::string line;
    };
    const Case cases[] = {
        {LoadCommand, 0, "Error executing commands:  set XA1, XA0 = 10, BS1, BS2 = 00"},
        {LoadCommand, 1, "Error executing commands:  set Command"},
        {LoadCommand, 2, "Error executing commands:  GiveXtalPosPulse"},
        {LoadAddressLow, 1, "Error executing commands:  Load Address Low Byte"},
        {LoadAddressHigh, 1, "Error executing commands:  0x0D a"},
        {LoadAddressExtended, 0, "Error executing commands:  set XA1, XA0 = 00, BS1, BS2 = 01"},
        {LoadDataLow, 2, "Error executing commands:  0x1D 0x02"},
        {LoadDataHigh, 1, "Error executing commands:  Load Data High Byte"},
    };
    for (const auto& c : cases) {
        Wired w;
        w.wire->failWriteNumber = c.failing;  
        EXPECT_FALSE(c.step(w.bus, 0x55));
        EXPECT_FALSE(w.bus.link.IsOpen());
        EXPECT_EQ(w.bus.log.Lines(), Lines{c.line});
    }
}

TEST(Parallel, EnterProgModeWaitsOneMillisecondPlusTheDelay)
{
    for (int delay : {0, 5}) {
        Wired w(delay);
        ASSERT_TRUE(EnterProgMode(w.bus));
        std::vector<std::string> expected{"0B 00 0D 00", "0F 32 11 00", "13 FC 15 00", "sleep 1"};
        if (delay) expected.push_back("sleep 5");
        expected.push_back("1D 00");
        expected.push_back("sleep 1");
        if (delay) expected.push_back("sleep 5");
        expected.push_back("15 14");
        EXPECT_EQ(w.Events(), expected) << "delay " << delay;
        EXPECT_EQ(w.bus.log.Lines(), (Lines{"Trying to enter Programming Mode", "       Finished with success."}));
    }
}

TEST(Parallel, SteppedEntryPowersUpWithSixXtalPulses)
{
    Wired w(0);
    ASSERT_TRUE(EnterProgMode(w.bus, PowerUp::Stepped));
    EXPECT_EQ(w.Events(), (std::vector<std::string>{"0B 00 0D 00", "0F 32 11 00", "13 FC 15 00", "sleep 1",
                                                    "0F 36", "1D 02", "1D 02", "1D 02", "1D 02", "1D 02",
                                                    "1D 02", "0F 3E 11 08", "sleep 1", "15 14"}));
}

TEST(Parallel, EnterProgModeFailureHasNoFinishedLine)
{
    const std::string texts[] = {" 0x0B 0x0 0x0D 0x0", " 0x0F 0x32 0x11 0x0", " 0x13 0xFC 0x15 0x0", " 0x1D 0x0",
                                 " 0x15 0x14(PD_WORK)"};
    for (int failing = 0; failing < 5; ++failing) {
        Wired w;
        w.wire->failWriteNumber = failing;
        EXPECT_FALSE(EnterProgMode(w.bus));
        EXPECT_FALSE(w.bus.link.IsOpen());
        EXPECT_EQ(w.bus.log.Lines(),
                  (Lines{"Trying to enter Programming Mode", "Error executing commands: " + texts[failing]}));
    }
}

TEST(Parallel, ExitProgModeSwitchesTwelveVoltsOffBeforeReleasingTheSupply)
{
    Wired w(2);
    ASSERT_TRUE(ExitProgMode(w.bus));
    EXPECT_EQ(w.Events(), (std::vector<std::string>{"11 00 0F 32", "sleep 1", "sleep 2"}));
    EXPECT_EQ(w.bus.log.Lines(), (Lines{"Trying to exit Programming Mode", "       Finished with success."}));
}

TEST(Parallel, WaitReadyPollsFiftyTimesThenSaysTheChipStayedBusy)
{
    Wired w;
    w.wire->pending.assign(50, 0xFE);
    EXPECT_FALSE(WaitReady(w.bus));
    EXPECT_TRUE(w.bus.link.IsOpen());  // the gateway answered every poll
    EXPECT_EQ(w.bus.log.Lines(), Lines{"The chip did not become ready after the programming pulse"});
    const auto events = w.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "18"), 50);
    EXPECT_EQ(std::count(events.begin(), events.end(), "sleep 1"), 50);

    Wired ready;
    ready.wire->pending = {0x00, 0x00, 0x01};
    EXPECT_TRUE(WaitReady(ready.bus));
    EXPECT_EQ(ready.Events(), (std::vector<std::string>{"18", "sleep 1", "18", "sleep 1", "18"}));
}

TEST(Parallel, WaitReadyFailures)
{
    Wired silent;
    EXPECT_FALSE(WaitReady(silent.bus));
    EXPECT_FALSE(silent.bus.link.IsOpen());
    EXPECT_EQ(silent.bus.log.Lines(), Lines{"Error reading the answer (PINC)"});

    Wired broken;
    broken.wire->failWriteNumber = 0;
    EXPECT_FALSE(WaitReady(broken.bus));
    EXPECT_EQ(broken.bus.log.Lines(), Lines{"Error executing commands:  PINCRead"});
}

TEST(Parallel, ReadSignatureAssemblesThreeBytesLowFirst)
{
    Wired w;
    // The Read Signature command, then for each byte its address loaded and PINB read back.
    w.wire->Expect({0x11, 0x18, 0x15, 0x14});
    w.wire->Expect({0x0B, 0xFF, 0x0D, 0x08});
    w.wire->Expect({0x1D, 0x02});
    const std::uint8_t signature[] = {0x1E, 0x90, 0x01};
    for (std::uint8_t address = 0; address < 3; ++address) {
        w.wire->Expect({0x11, 0x08, 0x15, 0x14});
        w.wire->Expect({0x0B, 0xFF, 0x0D, address});
        w.wire->Expect({0x1D, 0x02});
        w.wire->Expect({0x0B, 0x00, 0x15, 0x10, 0x17, 0x15, 0x14}, {signature[address]});
    }
    EXPECT_EQ(ReadSignature(w.bus), 0x01901E);
    EXPECT_TRUE(w.wire->Done());
    EXPECT_EQ(w.bus.log.Lines(), (Lines{"Trying to read signature bytes", "       Finished"}));

    Wired missing;
    missing.wire->pending = {0x1E};
    EXPECT_EQ(ReadSignature(missing.bus), 0);
    EXPECT_EQ(missing.bus.log.Lines().back(), "Error reading the answer (PINB)");
    EXPECT_FALSE(missing.bus.link.IsOpen());
}

TEST(Serial, ProgrammingEnableTravelsLastByteFirst)
{
    Wired w(0);
    w.wire->Expect({0x48});
    w.wire->Expect({0x47});
    w.wire->Expect({0x44, 0x00, 0x00, 0x53, 0xAC});
    w.wire->Expect({0x46});
    w.wire->Expect({0x45}, {0x00, 0x53, 0xAC, 0xFF, 0, 0, 0, 0});  // I2 echoed while I3 goes out
    ASSERT_TRUE(EnterSerialProgMode(w.bus, " execute Programming Enable"));
    EXPECT_TRUE(w.wire->Done());
    EXPECT_EQ(w.Events(), (std::vector<std::string>{"48", "47", "sleep 20", "44 00 00 53 AC", "46", "45"}));
    EXPECT_EQ(w.bus.log.Lines(), (Lines{"Trying to execute Programming Enable", "       Finished with success."}));
}

TEST(Serial, OutOfStepChipFailsSilentlyWithThePortOpen)
{
    Wired w;
    w.wire->pending = {0x53, 0x00, 0, 0, 0, 0, 0, 0};  // byte 0 is 0x53, byte 1 is not
    EXPECT_FALSE(EnterSerialProgMode(w.bus, " execute the sinchronization with chip"));
    EXPECT_TRUE(w.bus.link.IsOpen());
    EXPECT_EQ(w.bus.log.Lines(), Lines{"Trying to execute the sinchronization with chip"});
    EXPECT_EQ(w.Events(), (std::vector<std::string>{"48", "sleep 1", "47", "sleep 20", "44 00 00 53 AC", "46",
                                                    "sleep 1", "45"}));
}

TEST(Serial, InstructionWaitsDelayThenProgrammingTime)
{
    Wired w(3);
    ASSERT_TRUE(SpiInstruction(w.bus, 0x40, 0x00, 0x12, 0x34, 5, " 0x44 0x34 a 0x00 0x40"));
    EXPECT_EQ(w.Events(), (std::vector<std::string>{"44 34 12 00 40", "46", "sleep 3", "sleep 5"}));
}

TEST(Serial, FailuresLogAndClose)
{
    struct Case {
        int failing;  // write after the handshake; -1: the read-back answers nothing
        std::string line;
    };
    const Case cases[] = {
        {0, "Error executing commands:  0x44 0x00 b a 0x20"},
        {1, "Error executing commands:  0x46"},
        {2, "Error executing commands:  0x45"},
        {-1, "Error reading the answer (SPI paket)"},
    };
    for (const auto& c : cases) {
        Wired w;
        if (c.failing >= 0) w.wire->failWriteNumber = c.failing;
        EXPECT_FALSE(SpiQuery(w.bus, 0x20, 0x00, 0x01, 0x00, " 0x44 0x00 b a 0x20"));
        EXPECT_FALSE(w.bus.link.IsOpen());
        EXPECT_EQ(w.bus.log.Lines(), Lines{c.line});
    }
}

}  // namespace
}  // namespace quillon
