#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "gateway/Bus.h"
#include "support/ScriptedTransport.h"

namespace quillon {
namespace {

using test::ScriptedOpener;
using test::ScriptedWire;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

TEST(DevicePath, NamesBecomePaths)
{
    struct Case {
        std::string name;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM10", "/dev/ttyS9"},
        {"COM12", "/dev/ttyS11"},
        {"com3", "/dev/ttyS2"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/pts/7", "/dev/pts/7"},
        {"sim:ATmega8", "sim:ATmega8"},
        {"serial:A50285BI", "serial:A50285BI"},  // found among the adapters when it opens
        {"COM", "/dev/COM"},
        {"", std::nullopt},
        {std::string(94, 'x'), "/dev/" + std::string(94, 'x')},  // 99 bytes + terminator fit
        {std::string(95, 'x'), std::nullopt},
        {"/" + std::string(98, 'p'), "/" + std::string(98, 'p')},
        {"/" + std::string(99, 'p'), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(DevicePathFor(c.name), c.path) << c.name;
}

TEST(OpenPort, HandshakeIsThreePacketsThenOneAnswerByte)
{
    auto wire = std::make_shared<ScriptedWire>();
    wire->pending = {0x5A};
    Bus bus(ScriptedOpener(wire));
    bus.link.OpenPort("/dev/ttyS0");
    EXPECT_TRUE(bus.link.IsOpen());
    EXPECT_EQ(wire->written, (std::vector<Bytes>{{0x0A, 0x08, 0x00}, {0x1E}, {0x04}}));
    EXPECT_TRUE(bus.log.Lines().empty());  // success logs nothing here; Connect logs the path
}

TEST(OpenPort, EveryFailureLogsItsLineThenWhatExplainsItAndLeavesThePortClosed)
{
    struct Case {
        OpenFailure openFailure;
        int systemError;
        int failWrite;
        bool answer;
        Lines lines;
    };
    const Case cases[] = {
        {OpenFailure::NotAvailable, ENOENT, -1, true,
         {"Error. The COM-port is not available", "Cannot open /dev/ttyS0: No such file or directory"}},
        {OpenFailure::NotAvailable, 0, -1, true, {"Error. The COM-port is not available", "Cannot open /dev/ttyS0"}},
        {OpenFailure::InUse, EBUSY, -1, true,
         {"Error. The COM-port is not available",
          "The port /dev/ttyS0 is in use by another program: close it there first"}},
        {OpenFailure::GetSettings, ENOTTY, -1, true,
         {"Error getting the COM-port parameters",
          "Cannot read the line settings of /dev/ttyS0: Inappropriate ioctl for device (is it a serial port?)"}},
        {OpenFailure::SetSettings, EINVAL, -1, true,
         {"Error setting the COM-port parameters", "Cannot set the line settings of /dev/ttyS0: Invalid argument"}},
        {OpenFailure::None, 0, 0, true, {"Error executing commands:  0x0A 0x08 0x00"}},
        {OpenFailure::None, 0, 1, true, {"Error executing commands:  0x1E"}},
        {OpenFailure::None, 0, 2, true, {"Error executing commands:  0x1E"}},
        {OpenFailure::None, 0, -1, false,
         {"Error reading the answer (PINB)",
          "No gateway answered on /dev/ttyS0: is the Tavro plugged into this port and powered?"}},
    };
    for (const auto& c : cases) {
        auto wire = std::make_shared<ScriptedWire>();
        wire->failWriteNumber = c.failWrite;
        if (c.answer) wire->pending = {0x00};
        Bus bus(ScriptedOpener(wire, c.openFailure, c.systemError));
        const std::string words = bus.link.OpenPort("/dev/ttyS0").words;
        EXPECT_FALSE(bus.link.IsOpen()) << c.lines.front();
        EXPECT_EQ(bus.log.Lines(), c.lines);
        // The caller gets the same lines, for a last line that explains.
        std::string joined;
        for (const auto& line : c.lines) joined += (joined.empty() ? "" : "\n") + line;
        EXPECT_EQ(words, joined);
    }
}

TEST(Link, ShortAnswerIsAcceptedAndNeverOverfillsTheRecord)
{
    auto wire = std::make_shared<ScriptedWire>();
    wire->pending = {0x01};
    Bus bus(ScriptedOpener(wire));
    bus.link.OpenPort("x");
    ASSERT_TRUE(bus.link.IsOpen());

    wire->pending = {1, 2, 3, 4};
    Answer a = bus.link.ReadAnswer(8);
    EXPECT_EQ(a.count, 4);
    EXPECT_EQ(Bytes(a.data.begin(), a.data.begin() + 4), (Bytes{1, 2, 3, 4}));

    // Stray bytes beyond what was asked stay queued: they are the next answer's first bytes.
    wire->pending = {9, 8, 7};
    EXPECT_EQ(bus.link.ReadAnswer(1).count, 1);
    EXPECT_EQ(bus.link.ReadAnswer(1).data[0], 8);

    wire->pending.assign(64, 0xEE);
    EXPECT_EQ(bus.link.ReadAnswer(1000).count, 32);
}

TEST(Link, BytesNobodyAskedForPutTheStreamOutOfStep)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> queued;
        std::function<bool(Link&)> step;  // true when the step succeeded
        bool ok;
        std::string line;
    };
    const auto readOne = [](Link& l) { return l.ReadAnswer(1).count == 1; };
    const auto send = [](Link& l) { return l.SendPacket(Packet{ReadPINC()}); };
    const auto confirm = [](Link& l) { return l.ConfirmInStep(); };
    const Case cases[] = {
        {"answer alone", {0x01}, readOne, true, ""},
        {"one byte behind the answer", {0x01, 0x55}, readOne, false,
         "The gateway sent 1 byte more than asked: the answers are out of step"},
        {"bytes before a packet", {0x55, 0xAA}, send, false,
         "The gateway sent 2 bytes more than asked: the answers are out of step"},
        {"quiet end of a command", {}, confirm, true, ""},
        {"bytes at the end of a command", {0x55, 0xAA, 0x00}, confirm, false,
         "The gateway sent 3 bytes more than asked: the answers are out of step"},
    };
    for (const auto& c : cases) {
        auto wire = std::make_shared<ScriptedWire>();
        wire->pending = {0x5A};
        Bus bus(ScriptedOpener(wire));
        bus.link.OpenPort("x");
        ASSERT_TRUE(bus.link.IsOpen());
        wire->pendingIsQueued = true;
        wire->pending.assign(c.queued.begin(), c.queued.end());
        const std::size_t writes = wire->written.size();
        EXPECT_EQ(c.step(bus.link), c.ok) << c.what;
        EXPECT_EQ(bus.link.IsOpen(), c.ok) << c.what;
        EXPECT_EQ(bus.log.Lines(), c.line.empty() ? Lines{} : Lines{c.line}) << c.what;
        if (!c.ok) {
            EXPECT_TRUE(wire->pending.empty()) << c.what << ": the input is dropped";
            EXPECT_EQ(wire->written.size(), writes) << c.what << ": nothing sent after the fault";
        }
    }
}

TEST(Link, AnswersInFlightAreCountedAndMustComeWhole)
{
    // Three packets sent with their 8-byte answers in flight, then the answers as queued.
    struct Case {
        const char* what;
        std::vector<std::uint8_t> queued;
        int whole;  // answers collected before the fault
        std::string line;
    };
    const std::vector<std::uint8_t> answer(8, 0x11);
    auto join = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> all;
        for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Case cases[] = {
        {"three whole answers", join({answer, answer, answer}), 3, ""},
        // One at a time, a 4-byte answer is taken as it is; in flight its missing bytes would
        // be the next answer's first, so the stream is out of step at the last one.
        {"one answer short", join({answer, {1, 2, 3, 4}, answer}), 2,
         "The gateway answered 4 of 8 bytes while more answers were on their way: the answers are out of step"},
        {"one byte more", join({answer, answer, answer, {0x55}}), 0,
         "The gateway sent 1 byte more than asked: the answers are out of step"},
        {"silence after the first", answer, 1, ""},
    };
    for (const auto& c : cases) {
        auto wire = std::make_shared<ScriptedWire>();
        wire->pending = {0x5A};
        Bus bus(ScriptedOpener(wire));
        bus.link.OpenPort("x");
        ASSERT_TRUE(bus.link.IsOpen());
        wire->pendingIsQueued = true;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(bus.link.SendPacket(Packet{SpiReadBack()}, 8)) << c.what;
        EXPECT_EQ(bus.link.Owed(), 24u);
        wire->pending.assign(c.queued.begin(), c.queued.end());
        int collected = 0;
        while (collected < 3 && bus.link.ReadAnswer(8, 2).count == 8) ++collected;
        EXPECT_EQ(collected, c.whole) << c.what;
        // A missing answer is the caller's to log; bytes out of step close the port here, and
        // nothing is owed on a closed port.
        EXPECT_EQ(bus.link.IsOpen(), c.line.empty()) << c.what;
        EXPECT_EQ(bus.link.Owed(), c.line.empty() ? 8u * static_cast<unsigned>(3 - c.whole - (c.whole < 3)) : 0u) << c.what;
        EXPECT_EQ(bus.log.Lines(), c.line.empty() ? Lines{} : Lines{c.line}) << c.what;
        EXPECT_EQ(bus.link.LostStep(), !c.line.empty()) << c.what;
        if (c.whole == 3) EXPECT_TRUE(bus.link.ConfirmInStep()) << c.what;
    }
}

TEST(Link, AnAnswerSentAloneMayStillComeShort)
{
    // The first of two in flight and a lone one are different: only the lone one ends at a pause.
    auto wire = std::make_shared<ScriptedWire>();
    wire->pending = {0x5A};
    Bus bus(ScriptedOpener(wire));
    bus.link.OpenPort("x");
    wire->pendingIsQueued = true;
    ASSERT_TRUE(bus.link.SendPacket(Packet{SpiReadBack()}, 8));
    wire->pending = {1, 2, 3, 4};
    EXPECT_EQ(bus.link.ReadAnswer(8, 2).count, 4);
    EXPECT_TRUE(bus.link.IsOpen());
    EXPECT_EQ(bus.link.Owed(), 0u);
    // Bytes waiting before a packet while answers are owed are theirs, not strays.
    ASSERT_TRUE(bus.link.SendPacket(Packet{SpiReadBack()}, 8));
    wire->pending.assign(8, 0x22);
    EXPECT_TRUE(bus.link.SendPacket(Packet{SpiReadBack()}, 8));
    EXPECT_TRUE(bus.log.Lines().empty());
}

TEST(Link, AClosedPortSendsNothing)
{
    auto wire = std::make_shared<ScriptedWire>();
    wire->pending = {0x01};
    Bus bus(ScriptedOpener(wire));
    EXPECT_FALSE(bus.link.SendPacket(Packet{ReadPINC()}));
    bus.link.OpenPort("x");
    bus.link.ClosePort();
    EXPECT_FALSE(bus.link.IsOpen());
    EXPECT_FALSE(bus.link.SendPacket(Packet{ReadPINC()}));
    EXPECT_EQ(bus.link.ReadAnswer(1).count, 0);
}

Bytes ToBytes(const Packet& p)
{
    return {p.Bytes().begin(), p.Bytes().end()};
}

// The scripted wire of these tests: an answer comes only for the packet it was promised to, and
// Done() names the first packet that went wrong or was never sent.
TEST(ScriptedWire, AnswersExpectedPacketsAndNamesTheFirstMismatch)
{
    struct Case {
        std::vector<Bytes> sent;
        const char* done;  // empty when every expectation was met
    };
    const Case cases[] = {
        {{{0x18}, {0x17}}, ""},
        {{{0x18}, {0x17}, {0x04}}, "packet 3 [04] sent after the last expected one"},
        {{{0x18}, {0x15, 0x14}, {0x17}}, "packet 2 was [15 14], expected [17]"},
        {{{0x18}}, "1 expected packet(s) never sent, the first [17] after 1 that were"},
    };
    for (const Case& c : cases) {
        auto wire = std::make_shared<ScriptedWire>();
        wire->Expect({0x18}, {0x01});
        wire->Expect({0x17}, {0xA5, 0x5A});
        auto opened = ScriptedOpener(wire)("scripted");
        std::vector<std::uint8_t> answers(8);
        std::size_t received = 0;
        for (const Bytes& packet : c.sent) {
            ASSERT_TRUE(opened.transport->Write(packet));
            received += opened.transport->Read(std::span(answers).subspan(received), {});
        }
        const ::testing::AssertionResult done = wire->Done();
        EXPECT_EQ(std::string(done ? "" : done.message()), c.done);
        // Answers only for the packets that matched, in order.
        const Bytes expected = c.sent.size() >= 2 && c.sent[1] == Bytes{0x17} ? Bytes{0x01, 0xA5, 0x5A} : Bytes{0x01};
        EXPECT_EQ(Bytes(answers.begin(), answers.begin() + static_cast<std::ptrdiff_t>(received)), expected) << c.done;
    }
}

// Waits take their place in the list like packets: a wait of another length, or a packet sent
// before the wait, is named as the first mismatch.
TEST(ScriptedWire, WaitsAreStepsOfTheList)
{
    struct Case {
        int slept;  // -1: no wait before the second packet
        const char* done;
    };
    const Case cases[] = {
        {2, ""},
        {3, "step 2 was (sleep 3 ms), expected (sleep 2 ms)"},
        {-1, "packet 2 was [17], expected (sleep 2 ms)"},
    };
    for (const Case& c : cases) {
        auto wire = std::make_shared<ScriptedWire>();
        wire->Expect({0x18}, {0x01});
        wire->ExpectSleep(2);
        wire->Expect({0x17});
        wire->Check({0x18});
        if (c.slept >= 0) wire->Slept(c.slept);
        wire->Check({0x17});
        const ::testing::AssertionResult done = wire->Done();
        EXPECT_EQ(std::string(done ? "" : done.message()), c.done);
    }
}

TEST(Commands, BuildersReadLikeTheWire)
{
    EXPECT_EQ(ToBytes(Packet{SetPORTC(0x18), SetPORTD(0x14)}), (Bytes{0x11, 0x18, 0x15, 0x14}));
    EXPECT_EQ(ToBytes(Packet{SpiLoad(0xAC, 0x53, 0x00, 0x00)}), (Bytes{0x44, 0x00, 0x00, 0x53, 0xAC}));
    EXPECT_EQ(ToBytes(Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(PD_WORK)}),
              (Bytes{0x0B, 0x00, 0x15, 0x10, 0x17, 0x15, 0x14}));
}

}  // namespace
}  // namespace quillon
