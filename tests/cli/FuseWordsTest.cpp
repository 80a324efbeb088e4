// The fuses in words on the command line: decoding without a gateway, writing by field name on
// tavro-sim, the errors that name the valid choices, and the rescue of a chip serial
// programmers cannot reach.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "Subprocess.h"

namespace quillon {
namespace {

using test::Finished;
using test::RunProgram;
using test::SimulatedGateway;
using Json = nlohmann::json;

std::string Cli() { return test::BinaryPath("src/cli/quillon-cli"); }

std::vector<Json> JsonLines(const std::string& out)
{
    std::vector<Json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(Json::parse(line));
    return lines;
}

// The slot values a read-fuses run reports, fuses first, the lock byte last.
std::vector<unsigned> ReadBack(const std::string& port, const std::string& chip)
{
    Finished f = RunProgram(Cli(), {"--port", port, "--delay", "0", "--chip", chip, "--json", "read-fuses"});
    EXPECT_EQ(f.status, 0) << f.err;
    std::vector<unsigned> values;
    for (const Json& line : JsonLines(f.out))
        if (line["type"] == "fuses")
            for (const Json& slot : line["slots"]) values.push_back(slot["value"]);
    return values;
}

TEST(FuseWords, ExplainAndSettingsNeedNoGateway)
{
    Finished explain = RunProgram(Cli(), {"explain-fuses", "--chip", "atmega328p", "FF", "DE", "FD"});
    EXPECT_EQ(explain.status, 0) << explain.err;
    for (const char* line : {"Low Fuses: 0xFF", "    clock=xtal-8m-16k-65ms: crystal or resonator, 8 MHz and up",
                             "    boot=256: 256-word boot section", "    bootrst=on", "    bod=2v7: reset below 2.7 V",
                             "[factory: rc8m-6ck-65ms]"})
        EXPECT_NE(explain.out.find(line), std::string::npos) << line << "\n" << explain.out;

    // JSON carries the values: the ATtiny85's factory low byte is the internal 8 MHz RC divided by 8.
    Finished json = RunProgram(Cli(), {"explain-fuses", "--json", "--chip", "ATtiny85", "62,DF,FF"});
    ASSERT_EQ(json.status, 0) << json.err;
    const std::vector<Json> lines = JsonLines(json.out);
    ASSERT_EQ(lines.size(), 1u) << json.out;
    const Json& low = lines[0]["slots"][0];
    EXPECT_EQ(low["value"], 0x62);
    std::map<std::string, Json> fields;
    for (const Json& f : low["fields"]) fields[f["key"]] = f;
    EXPECT_EQ(fields["clock"]["value"], 0x22);
    EXPECT_EQ(fields["clock"]["setting"], "rc8m-6ck-64ms");
    EXPECT_EQ(fields["ckdiv8"]["setting"], "on");
    EXPECT_EQ(fields["ckdiv8"]["factory"], true);

    Finished settings = RunProgram(Cli(), {"fuse-settings", "--chip", "ATmega328P"});
    EXPECT_EQ(settings.status, 0) << settings.err;
    for (const char* line : {"  * rc8m-6ck-65ms", "    xtal-8m-16k-65ms", "  bod=  (BODLEVEL)", "board16:",
                             "clock=xtal-8m-16k-65ms ckdiv8=off bod=2v7 boot=512 bootrst=on"})
        EXPECT_NE(settings.out.find(line), std::string::npos) << line << "\n" << settings.out;
    EXPECT_EQ(settings.out.find("reserved"), std::string::npos) << "a reserved value is offered";

    struct Bad {
        std::vector<std::string> args;
        const char* error;
    };
    for (const Bad& bad : {Bad{{"explain-fuses", "--chip", "ATmega328P", "FF", "DE"}, "has 3 fuse bytes"},
                           Bad{{"explain-fuses", "--chip", "ATmega999", "FF"}, "unknown chip"},
                           Bad{{"explain-fuses", "FF"}, "needs the chip"},
                           Bad{{"explain-fuses", "--chip", "ATmega8", "XY"}, "takes hex bytes"},
                           Bad{{"--port", "sim:ATmega8", "--preset", "crystal", "read-fuses"}, "needs a write-fuses"},
                           Bad{{"--port", "sim:ATmega8", "--preset", "crystal", "write-fuses", "E1,D9,FF"},
                               "not with bytes or a file"},
                           Bad{{"--port", "sim:ATmega8", "write-fuses"}, "write-fuses needs the fuse bytes"}}) {
        Finished f = RunProgram(Cli(), bad.args);
        EXPECT_EQ(f.status, 2) << bad.error;
        EXPECT_NE(f.err.find(bad.error), std::string::npos) << f.err;
    }
}

TEST(FuseWords, WriteByFieldKeepsTheRestAndTypoesNameTheChoices)
{
    // Brown-out on at 4.0 V and EESAVE on, as a user may have set them: a clock change keeps both.
    SimulatedGateway gateway({"--chip", "ATmega8", "--fuses", "21,D1"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    const std::vector<std::string> base{"--port", gateway.Path(), "--delay", "0", "--chip", "ATmega8"};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), base.begin(), base.end());
        return RunProgram(Cli(), args);
    };

    struct Typo {
        std::vector<std::string> args;
        const char* names;
    };
    for (const Typo& t : {Typo{{"write-fuses", "clok=xtal-3m-16k-64ms"}, "its fields are: bod, boden, clock, rstdisbl"},
                          Typo{{"write-fuses", "clock=xtal"}, "its settings are: ext-clock-6ck-0ms,"},
                          Typo{{"write-fuses", "eesave=maybe"}, "eesave takes on or off"},
                          Typo{{"--preset", "board17", "write-fuses"}, "its presets are: factory, crystal, board16"}}) {
        Finished f = run(t.args);
        EXPECT_EQ(f.status, 1) << t.names;
        EXPECT_NE(f.err.find(t.names), std::string::npos) << f.err;
        EXPECT_EQ(f.out.find("Trying to write"), std::string::npos) << f.out;
    }

    Finished refused = run({"write-fuses", "clock=xtal-3m-16k-64ms"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos) << refused.err;

    Finished written = run({"--yes", "write-fuses", "clock=xtal-3m-16k-64ms", "ckopt=on"});
    ASSERT_EQ(written.status, 0) << written.err << written.out;
    EXPECT_NE(written.out.find("clock: rc1m-6ck-64ms -> xtal-3m-16k-64ms"), std::string::npos) << written.out;
    // Low: BODLEVEL 0 and BODEN 0 kept, SUT_CKSEL 11 1111; high: CKOPT programmed, EESAVE kept.
    EXPECT_EQ(ReadBack(gateway.Path(), "ATmega8"), (std::vector<unsigned>{0x3F, 0xC1, 0xFF}));

    // A preset changes only its fields; the board setting on the ATmega8 adds a 512-word boot
    // section with its reset vector and the 2.7 V brown-out.
    Finished board = run({"--yes", "--preset", "board16", "write-fuses"});
    ASSERT_EQ(board.status, 0) << board.err << board.out;
    EXPECT_EQ(ReadBack(gateway.Path(), "ATmega8"), (std::vector<unsigned>{0xBF, 0xC2, 0xFF}));

    Finished same = run({"--yes", "write-fuses", "bootrst=on"});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_NE(same.out.find("already holds these settings"), std::string::npos) << same.out;
}

// The chip a user brings: reset disabled, an external clock selected, both lock bits programmed.
TEST(Rescue, BringsBackAParallelChipAfterAYes)
{
    SimulatedGateway gateway({"--chip", "ATmega8", "--fuses", "E0,59", "--lock", "FC"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    const std::vector<std::string> args{"--port", gateway.Path(), "--delay", "0", "--chip", "ATmega8", "rescue"};

    Finished no = RunProgram(Cli(), args);
    EXPECT_EQ(no.status, 1);
    EXPECT_NE(no.err.find("rescue refused"), std::string::npos) << no.err;
    EXPECT_NE(no.err.find("Chip Erase comes first, which erases the flash and the EEPROM"), std::string::npos)
        << no.err;
    EXPECT_EQ(no.out.find("Trying to write"), std::string::npos) << no.out;
    EXPECT_EQ(no.out.find("Trying to erase"), std::string::npos) << no.out;
    EXPECT_EQ(ReadBack(gateway.Path(), "ATmega8"), (std::vector<unsigned>{0xE0, 0x59, 0xFC}));

    std::vector<std::string> yes = args;
    yes.push_back("--yes");
    Finished f = RunProgram(Cli(), yes);
    ASSERT_EQ(f.status, 0) << f.err << f.out;
    for (const char* line :
         {"Signature 1E 93 07: ATmega8.", "\n  RSTDISBL on: the RESET pin becomes an I/O pin",
          "\n  Clock source: external clock on XTAL1. The chip will not run, and cannot be programmed serially, "
          "until a clock signal is fed to XTAL1 \u2014 a crystal alone will not start it.",
          "\n  Lock bits LB1, LB2 programmed", "Trying to erase the chip", "The factory fuses are restored"})
        EXPECT_NE(f.out.find(line), std::string::npos) << line << "\n" << f.out;
    EXPECT_EQ(ReadBack(gateway.Path(), "ATmega8"), (std::vector<unsigned>{0xE1, 0xD9, 0xFF}));

    // Now nothing keeps serial programmers out, and there is nothing to do.
    Finished again = RunProgram(Cli(), yes);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("  nothing: serial programming should work."), std::string::npos) << again.out;
    EXPECT_EQ(again.out.find("Trying to write"), std::string::npos) << again.out;
}

TEST(Rescue, RefusesASerialChipAndSaysWhy)
{
    SimulatedGateway gateway({"--chip", "ATtiny85", "--fuses", "62,5F,FF"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    Finished f = RunProgram(Cli(), {"--port", gateway.Path(), "--delay", "0", "--chip", "ATtiny85", "--yes", "rescue"});
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.out.find("needs high-voltage serial programming, which the gateway does not offer"),
              std::string::npos)
        << f.out;
    EXPECT_EQ(f.out.find("Trying to"), std::string::npos) << f.out;
}

}  // namespace
}  // namespace quillon
