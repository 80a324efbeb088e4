// The whole log of each command on one chip of each family, line by line: the command's own
// frame around the driver's steps, in the order a user reads them.
#include <gtest/gtest.h>

#include <functional>

#include "Recorder.h"
#include "SimSocket.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "support/Answers.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

using test::Yes;

struct LogCase {
    const char* chip;
    const char* command;
    std::function<Result(Session&)> run;
    Lines expected;
};

Result ReadFuses(Session& ctx)
{
    LockFusesDialog d = OpenLockFusesDialog(ctx.chip);
    return ReadLockFuses(ctx, d);
}

Result WriteFuses(Session& ctx)
{
    LockFusesDialog d = OpenLockFusesDialog(ctx.chip);
    return WriteLockFuses(ctx, d, Yes);
}

TEST(LogLines, EachCommandLogsItsFrameAroundTheDriversSteps)
{
    const LogCase cases[] = {
        {"ATmega8", "ReadProgram", ReadProgram, {
             "<window>",
             "Trying to read the program",
             "Start time: 10:0:3",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "</window>",
             "       Finished",
             "End time: 10:0:3",
         }},
        {"ATmega8", "VerifyData", VerifyData, {
             "<window>",
             "Trying to verify the EEPROM",
             "Start time: 10:0:3",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "</window>",
             "       Finished. No differences found.",
             "End time: 10:0:3",
         }},
        {"ATmega8", "WriteProgram", [](Session& c) { return WriteProgram(c, Yes); }, {
             "<window>",
             "Trying to write the program",
             "Start time: 10:0:3",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "Trying to erase the chip",
             "       Finished with success.",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "</window>",
             "       Finished",
             "End time: 10:0:3",
         }},
        {"ATmega8", "ChipErase", [](Session& c) { return ChipErase(c, Yes); }, {
             "<window>",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "Trying to erase the chip",
             "       Finished with success.",
             "</window>",
         }},
        {"ATmega8", "ReadCalibration", ReadCalibration, {
             "<window>",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "Trying to read calibration bytes",
             "       Finished",
             "</window>",
             "calibration 0 = 0xA7calibration 1 = 0x9Bcalibration 2 = 0x8Ecalibration 3 = 0x83",
         }},
        {"ATmega8", "ReadLockFuses", ReadFuses, {
             "<window>",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "Trying to read lock-bits",
             "       Finished with success.",
             "Trying to read fuse high byte",
             "       Finished with success.",
             "Trying to read fuse low byte",
             "       Finished with success.",
             "</window>",
         }},
        {"ATmega8", "WriteLockFuses", WriteFuses, {
             "<window>",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "Trying to write fuse high byte",
             "       Finished with success.",
             "Trying to write fuse low byte",
             "       Finished with success.",
             "Trying to write lock-bits",
             "       Finished with success.",
             "</window>",
         }},
        {"ATtiny85", "ReadData", ReadData, {
             "<window>",
             "Trying to read the EEPROM",
             "Start time: 10:0:3",
             "Trying to execute the sinchronization with chip",
             "       Finished with success.",
             "</window>",
             "       Finished",
             "End time: 10:0:3",
         }},
        {"ATtiny85", "WriteData", [](Session& c) { return WriteData(c, Yes); }, {
             "<window>",
             "Trying to write the EEPROM",
             "Start time: 10:0:3",
             "Trying to execute the sinchronization with chip",
             "       Finished with success.",
             "</window>",
             "       Finished",
             "End time: 10:0:3",
         }},
        {"ATtiny12", "ChipErase", [](Session& c) { return ChipErase(c, Yes); }, {
             "<window>",
             "Trying to execute the sinchronization with chip",
             "       Finished with success.",
             "Trying to erase the chip",
             "       Finished with success.",
             "Trying to execute the sinchronization with chip",
             "       Finished with success.",
             "Trying to erase the chip",
             "       Finished with success.",
             "</window>",
         }},
        {"AT90S2313", "VerifyProgram", VerifyProgram, {
             "<window>",
             "Trying to verify the program",
             "Start time: 10:0:3",
             "Trying to enter Programming Mode",
             "       Finished with success.",
             "</window>",
             "       Finished. No differences found.",
             "End time: 10:0:3",
         }},
    };
    for (const auto& c : cases) {
        test::SimSocket s(c.chip);
        test::Timeline timeline(s.ctx);
        EXPECT_TRUE(c.run(s.ctx)) << c.chip << " " << c.command;
        EXPECT_EQ(timeline.events, c.expected) << c.chip << " " << c.command;
    }
}

}  // namespace
}  // namespace quillon
