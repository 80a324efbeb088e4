// The frame every chip command shares, on chips it cannot talk to: no chip, a chip no unit
// serves, a declined question. None of them may touch the gateway.
#include <gtest/gtest.h>

#include <functional>

#include "Recorder.h"
#include "support/ScriptedTransport.h"
#include "chips/Catalogue.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "support/Answers.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

using test::Yes;

struct CommandCase {
    const char* name;
    std::function<Result(Session&)> run;
    Lines noChip;  // with "No chip selected" where the lookup fails
};

const Lines kRead = {"<window>", "Trying to read the program", "Start time: 10:0:3", "No chip selected",
                     "End time: 10:0:3", "</window>"};

std::vector<CommandCase> Commands()
{
    auto framed = [](const char* trying) {
        return Lines{"<window>", std::string("Trying to") + trying, "Start time: 10:0:3", "No chip selected",
                     "End time: 10:0:3", "</window>"};
    };
    const Lines bare = {"<window>", "No chip selected", "</window>"};
    return {
        {"ReadProgram", ReadProgram, framed(" read the program")},
        {"ReadData", ReadData, framed(" read the EEPROM")},
        {"VerifyProgram", VerifyProgram, framed(" verify the program")},
        {"VerifyData", VerifyData, framed(" verify the EEPROM")},
        {"WriteProgram", [](Session& c) { return WriteProgram(c, Yes); }, framed(" write the program")},
        {"WriteData", [](Session& c) { return WriteData(c, Yes); }, framed(" write the EEPROM")},
        {"ChipErase", [](Session& c) { return ChipErase(c, Yes); }, bare},
        {"ReadCalibration", ReadCalibration, bare},
        {"ReadLockFuses",
         [](Session& c) {
             LockFusesDialog d = OpenLockFusesDialog(c.chip);
             return ReadLockFuses(c, d);
         },
         bare},
        {"WriteLockFuses",
         [](Session& c) {
             LockFusesDialog d = OpenLockFusesDialog(c.chip);
             return WriteLockFuses(c, d, Yes);
         },
         bare},
    };
}

class Frame : public ::testing::Test {
protected:
    Frame()
    {
        wire = std::make_shared<test::ScriptedWire>();
        ctx.bus.link.SetOpener(test::ScriptedOpener(wire));
    }

    // An open port, so that a stray packet would show on the wire.
    std::size_t Open()
    {
        wire->pending.push_back(0x00);  // the handshake's answer
        ctx.bus.link.OpenPort("sim");
        EXPECT_TRUE(ctx.bus.link.IsOpen());
        return wire->written.size();
    }

    std::shared_ptr<test::ScriptedWire> wire;
    Session ctx;
    test::Timeline timeline{ctx};
};

TEST_F(Frame, WithoutAChipEveryCommandSaysSoAndSendsNothing)
{
    const std::size_t handshake = Open();
    for (const auto& c : Commands()) {
        timeline.events.clear();
        const Result result = c.run(ctx);
        EXPECT_EQ(result.ending, Ending::Failed) << c.name;
        EXPECT_EQ(result.failure, FailureKind::NoChip) << c.name;
        EXPECT_EQ(result.Words(), "No chip selected") << c.name;
        EXPECT_EQ(timeline.events, c.noChip) << c.name;
    }
    EXPECT_EQ(wire->written.size(), handshake);

    // The question comes first, chip or no chip.
    int asked = 0;
    Confirm yes = [&asked](const Question&) { return ++asked, true; };
    WriteProgram(ctx, yes);
    WriteData(ctx, yes);
    ChipErase(ctx, yes);
    EXPECT_EQ(asked, 3);
}

TEST_F(Frame, AChipNoUnitServesIsUnknownAndGetsNoTraffic)
{
    const std::size_t handshake = Open();
    ctx.chip.signature = 0x7F951E;  // read from a socket, not in any table
    for (const auto& c : Commands()) {
        timeline.events.clear();
        const Result result = c.run(ctx);
        EXPECT_EQ(result.failure, FailureKind::UnknownChip) << c.name;
        EXPECT_EQ(result.Words(), "Selected chip is  unknown") << c.name;
        Lines expected = c.noChip;
        for (auto& line : expected)
            if (line == "No chip selected") line = "Selected chip is  unknown";
        EXPECT_EQ(timeline.events, expected) << c.name;
    }
    EXPECT_EQ(wire->written.size(), handshake);
}

TEST_F(Frame, ADeclinedQuestionLeavesEverythingAsItWas)
{
    SelectChip(ctx, 0x07931E);  // ATmega8
    const std::size_t handshake = Open();
    ctx.chip.flash[0] = 0x0F;  // what a write would take
    const auto flashBefore = ctx.chip.flash;
    const std::size_t logBefore = ctx.bus.log.Size();
    timeline.events.clear();

    std::vector<std::string> asked;
    Confirm no = [&](const Question& q) {
        asked.push_back(std::string(q.caption) + ": " + std::string(q.text));
        return false;
    };
    EXPECT_EQ(WriteProgram(ctx, no).ending, Ending::Refused);
    EXPECT_EQ(WriteData(ctx, no).ending, Ending::Refused);
    EXPECT_EQ(ChipErase(ctx, no).ending, Ending::Refused);
    EXPECT_EQ(ChipErase(ctx, nullptr).ending, Ending::Refused);  // no one to answer is not a Yes

    EXPECT_EQ(asked, (Lines{
                         "Warning: All previous chip data will be lost (Flash, EEPROM, Lock Bits). Are you sure?",
                         "Warning: All previous chip data will be lost (EEPROM). Are you sure?",
                         "Warning: All previous chip data will be lost (Flash, EEPROM, Lock Bits). Are you sure?",
                     }));
    EXPECT_TRUE(timeline.events.empty());
    EXPECT_EQ(ctx.bus.log.Size(), logBefore);
    EXPECT_TRUE(ctx.chip.flash == flashBefore);
    EXPECT_EQ(wire->written.size(), handshake);
}

TEST_F(Frame, ChipsWithoutACalibrationReadAreToldSoWithoutTraffic)
{
    const std::size_t handshake = Open();
    for (const char* name : {"AT90S8515", "AT90S1200", "AT90S2323", "ATtiny22", "ATmega161", "ATmega103"}) {
        SelectChip(ctx, FindChipByName(name)->signature);
        timeline.events.clear();
        EXPECT_EQ(ReadCalibration(ctx).failure, FailureKind::NotOffered) << name;
        EXPECT_EQ(timeline.events, (Lines{"<window>", "Command is not available for this chip", "</window>"}))
            << name;
    }
    EXPECT_EQ(wire->written.size(), handshake);
}

}  // namespace
}  // namespace quillon
