// Connect, Disconnect, a changed port name and Autosearch, as the window and the command line
// run them.
#include <gtest/gtest.h>

#include <algorithm>

#include "Recorder.h"
#include "SimSocket.h"
#include "support/ScriptedTransport.h"
#include "operations/Connection.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

TEST(Connection, ConnectLogsThePathOrWhyNot)
{
    struct Case {
        std::string port;
        OpenFailure failure;
        bool gatewayAnswers;  // to the handshake
        Lines lines;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", OpenFailure::None, true, {"The COM-port is open: /dev/ttyUSB0"}},
        {"COM3", OpenFailure::None, true, {"The COM-port is open: /dev/ttyS2"}},
        {"/dev/ttyUSB9", OpenFailure::NotAvailable, true,
         {"Error. The COM-port is not available", "Cannot open /dev/ttyUSB9"}},
        {"/dev/ttyUSB0", OpenFailure::None, false,
         {"Error reading the answer (PINB)",
          "No gateway answered on /dev/ttyUSB0: is the Tavro plugged into this port and powered?"}},
        // A name too long for a device path is not tried at all.
        {std::string(120, 'x'), OpenFailure::None, true,
         {"Error. The COM-port is not available", "The port name is too long for a device path"}},
        {"", OpenFailure::None, true, {"Error. The COM-port is not available", "No port name was given"}},
    };
    for (const Case& c : cases) {
        auto wire = std::make_shared<test::ScriptedWire>();
        if (c.gatewayAnswers) wire->pending.push_back(0x5A);
        Session ctx(test::ScriptedOpener(wire, c.failure));
        const bool open = c.lines[0].starts_with("The COM-port is open");
        const Result result = Connect(ctx, c.port);
        EXPECT_EQ(result.Succeeded(), open) << c.port;
        std::string joined;
        for (const std::string& line : c.lines) joined += (joined.empty() ? "" : "\n") + line;
        if (!open) EXPECT_EQ(result.Words(), joined) << c.port;
        EXPECT_EQ(ctx.bus.link.IsOpen(), open) << c.port;
        EXPECT_EQ(ctx.bus.log.Lines(), c.lines) << c.port;
    }
}

TEST(Connection, APortChangeDisconnectsOnlyAnOpenPort)
{
    test::SimSocket s("ATmega8");
    const std::size_t before = s.ctx.bus.log.Size();
    EXPECT_TRUE(PortChanged(s.ctx));
    EXPECT_FALSE(s.ctx.bus.link.IsOpen());
    EXPECT_FALSE(PortChanged(s.ctx));  // already closed: nothing happens
    Disconnect(s.ctx);                 // Disconnect does not ask
    Lines lines = s.ctx.bus.log.Lines();
    EXPECT_EQ(Lines(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()),
              (Lines{"The COM-port is closed", "The COM-port is closed"}));
}

TEST(Connection, AutosearchSelectsTheChipInTheSocket)
{
    test::SimSocket s("AT90S4433", false);
    test::Timeline timeline(s.ctx);
    EXPECT_TRUE(Autosearch(s.ctx));
    EXPECT_EQ(timeline.events, (Lines{"Trying to enter Programming Mode", "       Finished with success.",
                                      "Trying to read signature bytes", "       Finished",
                                      "Trying to exit Programming Mode", "       Finished with success.",
                                      "Selected chip is  AT90S4433"}));
    EXPECT_EQ(s.ctx.chip.name, "AT90S4433");
    EXPECT_EQ(s.ctx.chip.signature, 0x03921E);
}

// Autosearch reads signatures by the parallel method, so it finds every chip that has one; the
// serial-only chips need a serial search of their own.
TEST(Connection, AutosearchFindsEveryParallelChipByItsSignature)
{
    for (const ChipRow& row : Catalogue()) {
        if (row.family == Family::Serial) continue;
        SCOPED_TRACE(std::string(row.name));
        test::SimSocket s(std::string(row.name), false);
        ASSERT_TRUE(Autosearch(s.ctx));
        EXPECT_EQ(s.ctx.chip.signature, row.signature);
        EXPECT_EQ(s.ctx.bus.log.Lines().back(), "Selected chip is  " + std::string(row.name));
    }
}

TEST(Connection, AutosearchOnAnEmptySocketKeepsTheChipSelectedBefore)
{
    test::SimSocket s("", false);
    SelectChip(s.ctx, 0x07931E);  // ATmega8
    test::Timeline timeline(s.ctx);
    // The search ran, but found no chip it knows: that is no success.
    const Result result = Autosearch(s.ctx);
    EXPECT_EQ(result.failure, FailureKind::UnknownChip);
    EXPECT_EQ(result.Words(), "Selected chip is  unknown");
    EXPECT_EQ(timeline.events.back(), "Selected chip is  unknown");
    EXPECT_EQ(s.ctx.chip.name, "ATmega8");
}

// With the serial search on, the chips that answer only serially are found too, and an empty
// socket still ends as before, with a line that says why.
TEST(Connection, AutosearchFallsBackToTheSerialReadForSerialChips)
{
    for (const char* chip : {"ATtiny85", "ATtiny13", "AT90S2343", ""}) {
        SCOPED_TRACE(chip);
        test::SimSocket s(chip, false);
        s.ctx.serialAutosearch = true;
        const Result result = Autosearch(s.ctx);
        const Lines& lines = s.ctx.bus.log.Lines();
        if (*chip != 0) {
            EXPECT_TRUE(result);
            EXPECT_EQ(s.ctx.chip.name, chip);
            EXPECT_EQ(lines.back(), "Selected chip is  " + std::string(chip));
            EXPECT_NE(std::find(lines.begin(), lines.end(), "Trying to execute Programming Enable"), lines.end());
        } else {
            EXPECT_EQ(result.failure, FailureKind::UnknownChip);
            ASSERT_GE(lines.size(), 2u);
            EXPECT_EQ(lines[lines.size() - 2], "Selected chip is  unknown");
            EXPECT_EQ(lines.back().rfind("No chip answers in the socket, in parallel or serial mode", 0), 0u);
        }
        EXPECT_TRUE(s.ctx.bus.link.IsOpen());
    }
}

TEST(Connection, AutosearchOnAClosedPortFailsAtItsFirstStep)
{
    test::SimSocket s("ATmega8", false);
    s.ctx.bus.link.ClosePort();
    test::Timeline timeline(s.ctx);
    EXPECT_EQ(Autosearch(s.ctx).failure, FailureKind::Link);
    ASSERT_EQ(timeline.events.size(), 3u);
    EXPECT_EQ(timeline.events[0], "Trying to enter Programming Mode");
    EXPECT_EQ(timeline.events[1].rfind("Error executing commands: ", 0), 0u);
    EXPECT_EQ(timeline.events[2], "       Finished with fail.");
    EXPECT_EQ(s.ctx.chip.signature, 0);
}

}  // namespace
}  // namespace quillon
