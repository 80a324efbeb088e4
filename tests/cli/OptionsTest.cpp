#include <gtest/gtest.h>

#include "cli/Options.h"

namespace quillon::cli {
namespace {

struct Refused {
    std::vector<std::string> args;
    std::string because;
};

TEST(Options, WrongCommandLinesAreRefusedWithTheReason)
{
    const Refused cases[] = {
        {{"read-fuses"}, "no port"},
        {{"--port", "sim:ATmega8"}, "no command"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "x", "--delay", "6", "erase"}, "0 to 5"},
        {{"--port", "x", "--delay", "1.5", "erase"}, "0 to 5"},
        {{"--port", "x", "--delay=", "erase"}, "0 to 5"},
        {{"--port", "x", "--page", "3", "erase"}, "1 or 2"},
        {{"--port", "x", "--answers-in-flight", "0", "read-fuses"}, "from 1 to 32"},
        {{"--port", "x", "--answers-in-flight", "33", "read-fuses"}, "from 1 to 32"},
        {{"--port", "x", "--answers-in-flight", "4x", "read-fuses"}, "from 1 to 32"},
        {{"--port", "x", "--forced", "erase"}, "unknown option \"--forced\""},
        {{"--port", "x", "format"}, "unknown command \"format\""},
        {{"--port", "x", "write-program"}, "write-program needs a file name"},
        {{"--port", "x", "write-fuses"}, "needs the fuse bytes"},
        {{"--port", "x", "write-fuses", "E1,XY"}, "up to four hex bytes"},
        {{"--port", "x", "write-fuses", "E1,D9,FF,FF,FF"}, "up to four hex bytes"},
        {{"--port", "x", "write-fuses", "E1,,FF"}, "up to four hex bytes"},
        {{"--port", "x", "write-fuses", "1E1"}, "up to four hex bytes"},
        {{"list-chips", "read-fuses"}, "list-chips runs on its own"},
        {{"--port", "x", "read-program", "out.ELF"}, "not ELF"},
        {{"--port", "x", "write-fuses", "app.hex"}, "or an .elf file"},
        {{"--port", "x", "--answer-timeout", "99", "erase"}, "100 to 60000"},
        {{"--port", "x", "--answer-timeout", "1s", "erase"}, "100 to 60000"},
        // The file name forgotten: the next command or option is not taken for it.
        {{"--port", "x", "read-program", "read-fuses"},
         "read-program would take \"read-fuses\" as its file, though it is spelled like a command; give a file "
         "of that name as a path (./read-fuses)"},
        {{"--port", "x", "read-data", "erase"}, "spelled like a command"},
        {{"--port", "x", "verify-program", "list-chips"}, "spelled like a command"},
        {{"--port", "x", "write-program", "--yes"}, "spelled like an option; give a file of that name as a path (./--yes)"},
    };
    for (const auto& c : cases) {
        ParseResult r = ParseOptions(c.args);
        EXPECT_FALSE(r.options) << c.args.back();
        EXPECT_NE(r.error.find(c.because), std::string::npos) << r.error;
    }
}

TEST(Options, AFileNamedLikeACommandIsTakenWrittenAsAPath)
{
    ParseResult r = ParseOptions({"--port", "x", "read-program", "./read-fuses", "write-data", "-", "read-fuses"});
    ASSERT_TRUE(r.options) << r.error;
    ASSERT_EQ(r.options->commands.size(), 3u);
    EXPECT_EQ(r.options->commands[0].argument, "./read-fuses");
    EXPECT_EQ(r.options->commands[1].argument, "-");
}

TEST(Options, ALineIsTakenApartInOrder)
{
    ParseResult r = ParseOptions({"--port=sim:ATtiny85", "--delay", "0", "--chip", "ATtiny85", "-y",
                                  "--force", "--page", "2", "--answers-in-flight=32", "--unbounded-in-flight", "write-program", "a.hex", "erase", "verify-data",
                                  "b.bin", "write-fuses", "0x62,df,FF,ff", "read-calibration"});
    ASSERT_TRUE(r.options) << r.error;
    const Options& o = *r.options;
    EXPECT_EQ(o.port, "sim:ATtiny85");
    EXPECT_EQ(o.delay, 0);
    EXPECT_EQ(o.chip, "ATtiny85");
    EXPECT_TRUE(o.yes);
    EXPECT_TRUE(o.force);
    EXPECT_EQ(o.page, 1);
    EXPECT_EQ(o.answersInFlight, 32);
    EXPECT_TRUE(o.unboundedInFlight);
    ASSERT_EQ(o.commands.size(), 5u);
    EXPECT_EQ(o.commands[0].kind, CommandKind::WriteProgram);
    EXPECT_EQ(o.commands[0].argument, "a.hex");
    EXPECT_EQ(o.commands[1].kind, CommandKind::Erase);
    EXPECT_EQ(o.commands[2].argument, "b.bin");
    EXPECT_EQ(o.commands[3].kind, CommandKind::WriteFuses);
    EXPECT_EQ(*ParseFuseBytes(o.commands[3].argument),
              (std::vector<unsigned char>{0x62, 0xDF, 0xFF, 0xFF}));
    EXPECT_EQ(o.commands[4].kind, CommandKind::ReadCalibration);
}

TEST(Options, DefaultsAreDelayOnePageOneAutosearchAndNoYes)
{
    ParseResult r = ParseOptions({"--port", "COM3", "--chip", "auto", "read-fuses"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->delay, 1);
    EXPECT_EQ(r.options->page, 0);
    EXPECT_EQ(r.options->answersInFlight, kAutoAnswersInFlight) << "reads in flight, within the gateway's input";
    EXPECT_FALSE(r.options->unboundedInFlight);
    EXPECT_TRUE(r.options->chip.empty());
    EXPECT_FALSE(r.options->yes);
    EXPECT_FALSE(r.options->force);
    // The checks that send bytes of their own are on unless turned off.
    EXPECT_TRUE(r.options->verifyWrites);
    EXPECT_TRUE(r.options->confirmAnswers);
    EXPECT_TRUE(r.options->powerDown);
    EXPECT_EQ(r.options->answerTimeoutMs, 1000);
    const ParseResult old = ParseOptions({"--port", "COM3", "--no-verify", "--no-answer-check", "--leave-powered",
                                          "--answer-timeout=5000", "read-fuses"});
    ASSERT_TRUE(old.options) << old.error;
    EXPECT_FALSE(old.options->verifyWrites || old.options->confirmAnswers || old.options->powerDown);
    EXPECT_EQ(old.options->answerTimeoutMs, 5000);
    // --help needs nothing else.
    EXPECT_TRUE(ParseOptions({"--help"}).options->help);
}

}  // namespace
}  // namespace quillon::cli
