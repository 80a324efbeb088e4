// quillon-cli against tavro-sim on a pseudo-terminal, run as a user's script would run them:
// files in, files out, the exit status and the log on standard output.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <sstream>

#include "Subprocess.h"
#include "support/ScratchFolder.h"
#include "chips/BitNames.h"
#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "gateway/Bus.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::Finished;
using test::RunProgram;
using test::SimulatedGateway;

void WriteBytes(const std::string& file, std::size_t size, unsigned salt)
{
    std::ofstream out(file, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 29 + salt + (i >> 7)) & 0xFF));
}

// The test's Intel HEX files come from srecord, not from the program under test.
bool BinaryToHex(const std::string& bin, const std::string& hex)
{
    return RunProgram("/usr/bin/srec_cat", {bin, "-binary", "-o", hex, "-intel"}).status == 0;
}

// srec_cmp: the file read back equals the original with the rest of the memory erased.
Finished CompareWithErased(const std::string& original, const std::string& back, std::uint32_t size)
{
    return RunProgram("/usr/bin/srec_cmp", {original, "-intel", "-fill", "0xFF", "0", std::to_string(size),
                                            back, "-intel"});
}

using test::Cli;

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The line of `text` that starts with `prefix`, without its end.
std::string LineStarting(const std::string& text, const std::string& prefix)
{
    std::istringstream lines(text);
    std::string line;
    std::string found;
    while (std::getline(lines, line))
        if (line.rfind(prefix, 0) == 0) found = line;  // the last one
    return found;
}

struct UnitCase {
    const char* unit;
    const char* chip;
};

class EveryUnit : public ::testing::TestWithParam<UnitCase> {};

TEST_P(EveryUnit, WritesVerifiesReadsBackErasesAndHandlesFusesAndCalibration)
{
    const ChipRow* entry = FindChipByName(GetParam().chip);
    ASSERT_NE(entry, nullptr);
    const ChipRow* dispatch = FindChip(entry->signature);
    ASSERT_NE(dispatch, nullptr);
    ASSERT_EQ(dispatch->driver->name, GetParam().unit);

    test::ScratchFolder dir;
    WriteBytes(dir / "program.bin", std::min<std::uint32_t>(entry->flashSize, 384), 3);
    WriteBytes(dir / "data.bin", std::min<std::uint32_t>(entry->eepromSize, 48), 11);
    ASSERT_TRUE(BinaryToHex(dir / "program.bin", dir / "program.hex"));
    ASSERT_TRUE(BinaryToHex(dir / "data.bin", dir / "data.hex"));
    { std::ofstream(dir / "blank.hex") << ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n:00000001FF\r\n"; }

    SimulatedGateway gateway({"--chip", std::string(entry->name)});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    // --force: the fuse flip below changes a serial chip's clock selection, which asks first.
    // The largest chips take half a minute of answers one after the other: on a machine busy
    // enough to hold the simulated gateway off the processor for a second, a missing answer
    // would be reported for one that is only late. A lost answer still fails the run.
    const std::vector<std::string> common = {"--port", gateway.Path(), "--delay", "0", "--chip",
                                             std::string(entry->name), "--yes", "--force",
                                             "--answer-timeout", "10000"};
    auto run = [&](std::vector<std::string> commands) {
        std::vector<std::string> args = common;
        args.insert(args.end(), commands.begin(), commands.end());
        return RunProgram(Cli(), args);
    };

    Finished memory = run({"write-program", dir / "program.hex", "write-data", dir / "data.hex", "verify-program",
                           dir / "program.hex", "verify-data", dir / "data.hex", "read-program",
                           dir / "back.hex", "read-data", dir / "back.eep"});
    EXPECT_EQ(memory.status, 0) << memory.out << memory.err;
    // Each write verifies what it wrote, then come the two verifies asked for.
    EXPECT_EQ(Count(memory.out, "       Finished. No differences found.\n"), 4) << memory.out;
    EXPECT_EQ(CompareWithErased(dir / "program.hex", dir / "back.hex", entry->flashSize).status, 0);
    EXPECT_EQ(CompareWithErased(dir / "data.hex", dir / "back.eep", entry->eepromSize).status, 0);

    // Fuses: flip the lowest bit slot 0 names, other than SPIEN which serial mode cannot change.
    auto slots = BitNamesFor(entry->signature);
    ASSERT_EQ(slots.size(), entry->lockFuseCount);
    int flip = -1;
    for (int b = 0; b < 8 && flip < 0; ++b)
        if (!slots[0].bit[b].empty() && slots[0].bit[b] != "SPIEN" && !(slots[0].greyed & (1 << b))) flip = b;
    ASSERT_GE(flip, 0);
    std::string bytes;
    std::uint8_t slot0 = entry->factoryLockFuse[0] ^ static_cast<std::uint8_t>(1u << flip);
    for (int i = 0; i < entry->lockFuseCount; ++i) {
        char piece[4];
        std::snprintf(piece, sizeof piece, "%02X", i == 0 ? slot0 : entry->factoryLockFuse[i]);
        bytes += (i ? "," : "") + std::string(piece);
    }
    Finished rest = run({"erase", "verify-program", dir / "blank.hex", "read-fuses", "write-fuses", bytes,
                         "read-fuses"});
    EXPECT_EQ(rest.status, 0) << rest.out << rest.err;
    // The chip now reads back slot 0 as written: exactly its named bits that are 0 are programmed.
    std::string expected = std::string(slots[0].caption) + ": 0x";
    std::string names;
    for (int b = 7; b >= 0; --b)
        if (!slots[0].bit[b].empty() && ((slot0 >> b) & 1) == 0) names += " " + std::string(slots[0].bit[b]);
    const std::string after = LineStarting(rest.out, std::string(slots[0].caption) + ": ");
    ASSERT_EQ(after.rfind(expected, 0), 0u) << rest.out;
    EXPECT_EQ(after.substr(after.find("  programmed:") + 13), names.empty() ? " none" : names) << rest.out;

    Finished calibration = run({"read-calibration"});
    if (dispatch->CalibrationUnit() != nullptr) {
        EXPECT_EQ(calibration.status, 0) << calibration.out << calibration.err;
        EXPECT_NE(calibration.out.find("\ncalibration 0 = 0x"), std::string::npos) << calibration.out;
    } else {
        EXPECT_EQ(calibration.status, 1);
        EXPECT_NE(calibration.out.find("\nCommand is not available for this chip\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Units, EveryUnit,
    ::testing::Values(UnitCase{"At90s1200", "AT90S1200"}, UnitCase{"At90s2313", "AT90S2313"},
                      UnitCase{"At90s4414", "AT90S4414"}, UnitCase{"At90s4434", "AT90S4434"},
                      UnitCase{"At90s2333", "AT90S2333"}, UnitCase{"At90s2323", "AT90S2323"},
                      UnitCase{"At90s2343", "AT90S2343"}, UnitCase{"Attiny12", "ATtiny12"},
                      UnitCase{"Attiny13", "ATtiny13"}, UnitCase{"Attiny15", "ATtiny15"},
                      UnitCase{"Attiny22", "ATtiny22"}, UnitCase{"Attiny25", "ATtiny25"},
                      UnitCase{"Attiny26", "ATtiny26"}, UnitCase{"Attiny2313", "ATtiny2313"},
                      UnitCase{"Attiny261", "ATtiny261"}, UnitCase{"At90can32", "AT90CAN32"},
                      UnitCase{"Atmega603", "ATmega603"}, UnitCase{"Atmega48", "ATmega48"},
                      UnitCase{"Atmega8", "ATmega8"}, UnitCase{"Atmega8515", "ATmega8515"},
                      UnitCase{"Atmega16", "ATmega16"}, UnitCase{"Atmega161", "ATmega161"},
                      UnitCase{"Atmega162", "ATmega162"}, UnitCase{"Atmega163", "ATmega163"},
                      UnitCase{"Atmega164", "ATmega164"}, UnitCase{"Atmega169", "ATmega169"},
                      UnitCase{"Atmega323", "ATmega323"}, UnitCase{"Atmega64", "ATmega64"},
                      UnitCase{"Atmega640", "ATmega640"}),
    [](const auto& info) { return std::string(info.param.chip); });

TEST(Gateway, AHangUpDuringAWriteFailsItClosesThePortAndTheNextCommandCannotEnter)
{
    test::ScratchFolder dir;
    WriteBytes(dir / "program.bin", 256, 5);
    ASSERT_TRUE(BinaryToHex(dir / "program.bin", dir / "program.hex"));
    SimulatedGateway gateway({"--chip", "ATmega8", "--hangup-after", "600"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();

    Finished f = RunProgram(Cli(), {"--port", gateway.Path(), "--delay", "0", "--chip", "ATmega8", "--yes",
                                    "write-program", dir / "program.hex", "read-fuses"});
    EXPECT_EQ(f.status, 1) << f.out << f.err;
    // The write: a failed step, the command's fail line, its End time line.
    const auto write = f.out.find("Trying to write the program\n");
    const auto fuses = f.out.find("Trying to enter Programming Mode\n", f.out.find("End time: ", write));
    ASSERT_NE(write, std::string::npos) << f.out;
    ASSERT_NE(fuses, std::string::npos) << f.out;
    const std::string writeLines = f.out.substr(write, fuses - write);
    const auto error = writeLines.find("\nError ");
    ASSERT_NE(error, std::string::npos) << writeLines;
    EXPECT_NE(writeLines.find("\n       Finished with fail.\nEnd time: ", error), std::string::npos) << writeLines;
    // The next command finds the port closed at its first step.
    const std::string fuseLines = f.out.substr(fuses);
    EXPECT_EQ(fuseLines.find("Trying to enter Programming Mode\nError executing commands: "), 0u) << fuseLines;
    EXPECT_NE(fuseLines.find("\n       Finished with fail.\n"), std::string::npos) << fuseLines;
}

TEST(CommandLine, RefusesToChangeTheChipWithoutYesAndSaysWhy)
{
    SimulatedGateway gateway({"--chip", "ATmega8"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    Finished f = RunProgram(Cli(), {"--port", gateway.Path(), "--delay", "0", "--chip", "atmega8", "erase",
                                    "read-calibration"});
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("erase refused"), std::string::npos) << f.err;
    EXPECT_NE(f.err.find("--yes"), std::string::npos) << f.err;
    EXPECT_EQ(f.out.find("erase the chip"), std::string::npos) << f.out;
    EXPECT_NE(f.out.find("\ncalibration 0 = 0x"), std::string::npos) << f.out;  // the rest still runs
    EXPECT_TRUE(f.err.ends_with("quillon-cli: failed: erase\n")) << f.err;
}

TEST(CommandLine, AReaderThatStopsReadingDoesNotStopAWrite)
{
    test::ScratchFolder dir;
    WriteBytes(dir / "program.bin", 512, 9);
    ASSERT_TRUE(BinaryToHex(dir / "program.bin", dir / "program.hex"));
    SimulatedGateway gateway({"--chip", "ATmega48"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    const std::string line = Cli() + " --port " + gateway.Path() + " --delay 0 --chip ATmega48 --yes ";
    // `true` exits at once: every log line after that goes to a pipe nobody reads.
    Finished piped = RunProgram("/bin/bash", {"-c", line + "write-program " + dir / "program.hex" +
                                                        " | true; exit ${PIPESTATUS[0]}"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    Finished verify = RunProgram(Cli(), {"--port", gateway.Path(), "--delay", "0", "--chip", "ATmega48",
                                         "verify-program", dir / "program.hex"});
    EXPECT_EQ(verify.status, 0) << verify.out;
}

// A port that did not open says why on the last line, where a script's log shows it.
TEST(CommandLine, APortThatDoesNotOpenSaysWhyOnTheLastLine)
{
    SimulatedGateway held({"--chip", "ATmega8"});
    SimulatedGateway silent({"--chip", "ATmega8", "--silent-after", "2"});
    ASSERT_FALSE(held.Path().empty()) << held.ErrorText();
    ASSERT_FALSE(silent.Path().empty()) << silent.ErrorText();
    Bus holder;  // another program that has the port open
    holder.link.OpenPort(held.Path());
    ASSERT_TRUE(holder.link.IsOpen());

    struct Case {
        std::string port;
        std::string why;
    };
    const Case cases[] = {
        {held.Path(), "The port " + held.Path() + " is in use by another program: close it there first"},
        {"/dev/quillon-no-such-port", "Cannot open /dev/quillon-no-such-port: No such file or directory"},
        {silent.Path(),
         "No gateway answered on " + silent.Path() +
             ": is the Tavro plugged into this port and powered?"},
    };
    for (const Case& c : cases) {
        Finished f = RunProgram(Cli(), {"--port", c.port, "--delay", "0", "--chip", "ATmega8", "read-fuses"});
        EXPECT_EQ(f.status, 1) << c.port;
        EXPECT_TRUE(f.err.ends_with("quillon-cli: cannot open the port \"" + c.port + "\": " + c.why + "\n"))
            << f.err;
    }
}

TEST(CommandLine, FindsTheChipBySignatureWhenNoneIsNamed)
{
    SimulatedGateway gateway({"--chip", "ATmega16"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    Finished f = RunProgram(Cli(), {"--port", gateway.Path(), "--delay", "0", "read-fuses"});
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_NE(f.out.find("\nSelected chip is  ATmega16\n"), std::string::npos) << f.out;
    EXPECT_NE(f.out.find("\nLow Fuses: 0x"), std::string::npos) << f.out;
}

// A file that did not load completely is never written nor taken as the reference; --force
// accepts data beyond the memory and nothing else.
TEST(CommandLine, FilesThatDidNotLoadCompletelyTouchNothing)
{
    test::ScratchFolder dir;
    const std::string record = ":0100000011EE\r\n";
    const std::string end = ":00000001FF\r\n";
    { std::ofstream(dir / "empty.hex"); }
    { std::ofstream(dir / "only-end.hex") << end; }
    { std::ofstream(dir / "cut.hex") << record; }
    { std::ofstream(dir / "after.hex") << record << end << ":0100010022DC\r\n"; }
    { std::ofstream(dir / "high.hex") << ":02000004FFFFFC\r\n" << record << end; }
    WriteBytes(dir / "long.bin", 8192 + 1, 1);
    ASSERT_EQ(::mkfifo((dir / "fifo.hex").c_str(), 0600), 0);
    ::symlink("/dev/zero", (dir / "zero.bin").c_str());
    struct Case {
        std::vector<std::string> commands;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"write-program", dir / "empty.hex"}, 1, "The file is empty"},
        {{"write-program", dir / "only-end.hex"}, 1, "The file holds no data"},
        {{"write-program", dir / "cut.hex"}, 1, "without an end record"},
        {{"verify-program", dir / "cut.hex"}, 1, "without an end record"},
        {{"write-program", dir / "after.hex"}, 1, "goes on after its end record"},
        {{"write-program", dir / "high.hex"}, 1, "--force takes what fits"},
        {{"write-program", dir / "long.bin"}, 1, "Left out 1 byte beyond the end of the memory"},
        {{"--force", "write-program", dir / "cut.hex"}, 1, "without an end record"},
        {{"write-program", dir / "fifo.hex"}, 1, "(a FIFO, not a regular file)"},
        {{"write-data", dir / "zero.bin"}, 1, "(a device, not a regular file)"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--port", "sim:ATmega8", "--chip", "ATmega8", "--yes", "--delay", "0"};
        args.insert(args.end(), c.commands.begin(), c.commands.end());
        Finished f = RunProgram(Cli(), args, std::chrono::seconds(20));
        EXPECT_EQ(f.status, c.status) << c.commands.back() << f.out << f.err;
        EXPECT_NE((f.err + f.out).find(c.says), std::string::npos) << c.commands.back() << f.err << f.out;
        EXPECT_EQ(f.out.find("Trying to write"), std::string::npos) << f.out;
        EXPECT_EQ(f.out.find("Trying to erase"), std::string::npos) << f.out;
        EXPECT_EQ(f.out.find("Trying to verify"), std::string::npos) << f.out;
        EXPECT_TRUE(f.err.ends_with("quillon-cli: failed: " + c.commands[c.commands.size() - 2] + "\n")) << f.err;
    }
    Finished forced = RunProgram(Cli(), {"--port", "sim:ATmega8", "--chip", "ATmega8", "--yes", "--delay", "0",
                                         "--force", "write-program", dir / "long.bin"});
    EXPECT_EQ(forced.status, 0) << forced.out << forced.err;
    EXPECT_NE(forced.err.find("going on (--force)"), std::string::npos) << forced.err;
}

// Answers that do not line up with the packets fail the command that meets them, whichever
// memory it reads; a short SPI answer with the bytes that matter is taken as it is.
TEST(Gateway, AnswersOutOfStepFailTheCommand)
{
    test::ScratchFolder dir;
    { std::ofstream(dir / "blank.hex") << ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n:00000001FF\r\n"; }
    struct Case {
        std::vector<std::string> gateway;
        std::vector<std::string> commands;
        int status;
    };
    const Case cases[] = {
        {{"--chip", "ATmega8", "--stray", "55@40"}, {"read-program", dir / "p.hex"}, 1},
        {{"--chip", "ATmega8", "--stray-every", "55@2"}, {"read-data", dir / "d.hex"}, 1},
        {{"--chip", "ATmega8", "--stray", "55,AA@3"}, {"read-fuses"}, 1},
        {{"--chip", "ATtiny13", "--stray-every", "00@2"}, {"verify-program", dir / "blank.hex"}, 1},
        {{"--chip", "ATtiny13", "--short-spi", "2"}, {"read-data", dir / "short.hex"}, 0},
    };
    // One read at a time and with answers in flight alike.
    for (const auto& c : cases) for (const std::string inFlight : {"1", "8"}) {
        SimulatedGateway gateway(c.gateway);
        ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
        std::vector<std::string> args = {"--port", gateway.Path(), "--delay", "0", "--chip", c.gateway[1],
                                         "--answers-in-flight", inFlight};
        args.insert(args.end(), c.commands.begin(), c.commands.end());
        Finished f = RunProgram(Cli(), args, std::chrono::seconds(60));
        const std::string what = c.gateway[2] + " " + c.commands[0] + " in flight " + inFlight;
        EXPECT_EQ(f.status, c.status) << what << f.out << f.err;
        EXPECT_EQ(f.out.find("more than asked: the answers are out of step\n") != std::string::npos, c.status != 0)
            << what << f.out;
        if (c.status != 0) {
            EXPECT_TRUE(f.err.ends_with("quillon-cli: failed: " + c.commands[0] + "\n")) << what << f.err;
            if (c.commands.size() > 1 && c.commands[0].starts_with("read"))
                EXPECT_FALSE(fs::exists(c.commands[1])) << what << ": nothing saved";
        }
    }
}

// On a real line: the chip keeps what it held when the file to write did not load completely.
TEST(Gateway, TheChipIsNotTouchedByAFileThatDidNotLoad)
{
    test::ScratchFolder dir;
    WriteBytes(dir / "held.bin", 8192, 7);
    ASSERT_TRUE(BinaryToHex(dir / "held.bin", dir / "held.hex"));
    { std::ofstream(dir / "cut.hex") << ":0100000011EE\r\n"; }
    SimulatedGateway gateway({"--chip", "ATmega8", "--flash", dir / "held.bin"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    Finished f = RunProgram(Cli(), {"--port", gateway.Path(), "--delay", "0", "--chip", "ATmega8", "--yes",
                                    "write-program", dir / "cut.hex", "verify-program", dir / "held.hex"});
    EXPECT_EQ(f.status, 1) << f.out << f.err;
    EXPECT_EQ(Count(f.out, "       Finished. No differences found.\n"), 1) << f.out;
    EXPECT_TRUE(f.err.ends_with("quillon-cli: failed: write-program\n")) << f.err;
}

TEST(CommandLine, BadInputIsRefusedBeforeAnythingIsTouched)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    test::ScratchFolder dir;
    { std::ofstream(dir / "bad.hex") << ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n:0200000Z0000FB\r\n"; }
    const Case cases[] = {
        {{"--port", "sim:ATmega8", "--chip", "ATmega9", "read-fuses"}, 2, "unknown chip \"ATmega9\""},
        {{"--port", "sim:ATmega8", "--chip", "ATmega8", "--yes", "write-program", dir / "bad.hex"}, 1,
         "Wrong file"},
        {{"--port", "sim:ATmega8", "--delay", "9", "read-fuses"}, 2, "0 to 5"},
        {{"--port", "/dev/quillon-no-such-port", "--chip", "ATmega8", "read-fuses"}, 1, "cannot open the port"},
        {{"--port", "sim:ATmega8", "--chip", "ATmega8", "write-fuses", "E1,D9"}, 1, "takes 3 bytes"},
        // A file that cannot be read is never written to the chip.
        {{"--port", "sim:ATmega8", "--chip", "ATmega8", "--yes", "write-program", "/nonexistent/x.hex"}, 1,
         "/nonexistent/x.hex (No such file or directory)"},
    };
    for (const auto& c : cases) {
        Finished f = RunProgram(Cli(), c.args);
        EXPECT_EQ(f.status, c.status) << c.args.back() << f.out << f.err;
        EXPECT_NE((f.err + f.out).find(c.says), std::string::npos) << f.err << f.out;
        EXPECT_EQ(f.out.find("Trying to write"), std::string::npos) << f.out;
    }
    Finished help = RunProgram(Cli(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: quillon-cli --port PORT"), std::string::npos);
}

// SIGINT and SIGTERM mid-command: the command stops as a Cancel would, the last line says so,
// the status is a shell's for the signal, and a file the read would have written is untouched.
struct SignalCase {
    const char* command;
    int signal;
    int status;
    const char* name;
};

class Signalled : public ::testing::TestWithParam<SignalCase> {};

TEST_P(Signalled, StopsTheCommandAndSaysSo)
{
    const SignalCase& c = GetParam();
    test::ScratchFolder dir;
    WriteBytes(dir / "program.bin", 8192, 5);
    ASSERT_TRUE(BinaryToHex(dir / "program.bin", dir / "program.hex"));
    const std::string old = ":00000001FF\r\n";
    { std::ofstream(dir / "out.hex") << old; }

    SimulatedGateway gateway({"--chip", "ATmega8", "--pace"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    const bool write = std::string(c.command) == "write-program";
    const Finished run = test::RunInterrupted(
        Cli(), {"--port", gateway.Path(), "--delay", "0", "--chip", "ATmega8", "--yes", c.command,
                write ? dir / "program.hex" : dir / "out.hex"},
        {write ? "Trying to write the program" : "Trying to read the program", std::chrono::milliseconds(1500), c.signal});

    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_EQ(Count(run.out, "Cancelled by the user\n"), 1) << run.out;
    EXPECT_NE(run.out.find("Trying to exit Programming Mode\n"), std::string::npos);
    std::string err = run.err;
    while (!err.empty() && err.back() == '\n') err.pop_back();
    const std::string last = err.substr(err.rfind('\n') + 1);
    const std::string expected = std::string("quillon-cli: cancelled by ") + c.name + ": " + c.command + " stopped; " +
                                 (write ? "the flash is partly written: " : "the chip is unchanged");
    EXPECT_EQ(last.rfind(expected, 0), 0u) << last;
    // The read's file keeps its old content, and nothing half-written lies beside it.
    std::ifstream in(dir / "out.hex", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), old);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(dir / "out.hex").parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 3);  // program.bin, program.hex, out.hex
}

INSTANTIATE_TEST_SUITE_P(Cli, Signalled,
                         ::testing::Values(SignalCase{"write-program", SIGINT, 130, "SIGINT"},
                                           SignalCase{"read-program", SIGINT, 130, "SIGINT"},
                                           SignalCase{"read-program", SIGTERM, 143, "SIGTERM"},
                                           SignalCase{"write-program", SIGHUP, 129, "SIGHUP"}),
                         [](const auto& info) {
                             return std::string(info.param.name) + "_" +
                                    (std::string(info.param.command) == "write-program" ? "write" : "read");
                         });
// A wrong chip in the socket: nothing is erased or written unless forced, and the log names both
// signatures; the command after it still runs and shows the chip untouched.
TEST(CommandLine, AWrongChipInTheSocketIsNotChangedUnlessForced)
{
    struct Case {
        const char* inSocket;
        const char* selected;
        std::vector<std::string> extra;
        int status;
        const char* says;
    };
    test::ScratchFolder dir;
    WriteBytes(dir / "program.bin", 256, 7);
    ASSERT_TRUE(BinaryToHex(dir / "program.bin", dir / "program.hex"));
    { std::ofstream(dir / "blank.bin") << std::string(16, '\xFF'); }
    ASSERT_TRUE(BinaryToHex(dir / "blank.bin", dir / "blank.hex"));
    const Case cases[] = {
        {"ATmega8", "ATmega88", {}, 1, "\nThe chip in the socket is 1E 93 07 (ATmega8), not the selected ATmega88 (1E 93 0A)\n"},
        {"ATtiny85", "ATtiny45", {}, 1, "\nThe chip in the socket is 1E 93 0B (ATtiny85), not the selected ATtiny45 (1E 92 06)\n"},
        {"ATmega8", "ATmega88", {"--force"}, 0, "\nThe chip in the socket is 1E 93 07 (ATmega8)"},
        {"ATtiny85", "ATtiny45", {"--force"}, 0, "\nThe chip in the socket is 1E 93 0B (ATtiny85)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--port", std::string("sim:") + c.inSocket, "--delay", "0", "--chip",
                                         c.selected, "--yes"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.insert(args.end(), {"write-program", dir / "program.hex", "erase", "read-program", dir / "back.hex"});
        Finished f = RunProgram(Cli(), args);
        const std::string name = std::string(c.inSocket) + " as " + c.selected;
        EXPECT_EQ(f.status, c.status) << name << f.out << f.err;
        EXPECT_NE(f.out.find(c.says), std::string::npos) << name << f.out;
        const bool forced = c.status == 0;
        EXPECT_EQ(Count(f.out, "Nothing was changed on the chip."), forced ? 0 : 2) << name << f.out;
        if (!forced) {
            EXPECT_NE(f.err.find("--force"), std::string::npos) << name << f.err;
            EXPECT_TRUE(f.err.ends_with("failed: write-program, erase\n")) << name << f.err;
        }
        // Unforced, nothing was written; forced, the erase ran last: the chip reads back erased.
        EXPECT_EQ(CompareWithErased(dir / "blank.hex", dir / "back.hex", FindChipByName(c.selected)->flashSize).status, 0)
            << name;
    }
}

TEST(CommandLine, AnEmptySocketSaysNoChipAnswersAndWhy)
{
    Finished f = RunProgram(Cli(), {"--port", "sim:empty", "--delay", "0", "--chip", "ATmega8", "--yes", "erase"});
    EXPECT_EQ(f.status, 1) << f.out << f.err;
    EXPECT_NE(f.out.find("No chip answers in the socket"), std::string::npos) << f.out;
    EXPECT_NE(f.out.find("no supply"), std::string::npos) << f.out;
}

// With the log sent to a file, stderr is all a person watching sees: it says why a command
// failed, once, right before the line naming the failed commands.
TEST(CommandLine, StderrSaysWhyACommandFailed)
{
    test::ScratchFolder dir;
    { std::ofstream(dir / "differs.hex") << ":02000000AA55FF\r\n:00000001FF\r\n"; }
    { std::ofstream(dir / "checksum.hex") << ":020000000C94FF\r\n"; }
    { std::ofstream(dir / "cut.hex") << ":0100000011EE\r\n"; }
    struct Case {
        std::string port;
        std::vector<std::string> command;
        std::string why;  // the line before the last, without "quillon-cli: "
    };
    const Case cases[] = {
        {"sim:empty", {"read-program", dir / "out.hex"}, "read-program: No chip answers in the socket (signature FF FF FF"},
        {"sim:ATmega8", {"verify-program", dir / "differs.hex"}, "verify-program: Finished with fail. Address: 0x0000"},
        {"sim:ATmega8", {"read-program", dir / "no/out.hex"}, "read-program: Error creating the file: "},
        {"sim:ATmega8", {"write-program", dir / "checksum.hex"}, "write-program: Wrong file (line 1: wrong checksum)"},
        // The loader says it itself, so it is said once.
        {"sim:ATmega8", {"write-program", dir / "cut.hex"}, dir / "cut.hex" + ": "},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--port", c.port, "--delay", "0", "--chip", "ATmega8", "--yes"};
        args.insert(args.end(), c.command.begin(), c.command.end());
        Finished f = RunProgram(Cli(), args);
        EXPECT_EQ(f.status, 1) << f.out << f.err;
        EXPECT_EQ(Count(f.err, "\n"), 2) << f.err;
        EXPECT_TRUE(f.err.starts_with("quillon-cli: " + c.why)) << f.err;
        EXPECT_TRUE(f.err.ends_with("quillon-cli: failed: " + c.command[0] + "\n")) << f.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.hex"));
}

// A verify difference names both bytes where a person reads it; the log keeps its line, which
// scripts look for, with the address alone.
TEST(CommandLine, AVerifyDifferenceNamesTheChipsByteAndTheFilesByte)
{
    test::ScratchFolder dir;
    { std::ofstream(dir / "differs.hex") << ":0300B000FF5500F9\r\n:00000001FF\r\n"; }
    Finished f = RunProgram(Cli(), {"--port", "sim:ATmega8", "--delay", "0", "--chip", "ATmega8", "verify-program",
                                    dir / "differs.hex"});
    EXPECT_EQ(f.status, 1) << f.out << f.err;
    EXPECT_TRUE(f.err.starts_with("quillon-cli: verify-program: Finished with fail. Address: 0x00B0; "
                                  "0x00B1: the chip holds 0xFF, the file 0x55\n"))
        << f.err;
    EXPECT_NE(f.out.find("Finished with fail. Address: 0x00B0\n"), std::string::npos) << f.out;
    EXPECT_EQ(f.out.find("the chip holds"), std::string::npos) << f.out;
}

// A command that could not do what it says fails, and standard error says why in the line before
// its last: fuses, lock and calibration of an empty socket, a locked chip's memory (no file
// saved), a fuse write the locked chip did not take (read back, chip as it was).
TEST(CommandLine, ACommandThatCouldNotDoWhatItSaysFailsWithTheReason)
{
    test::ScratchFolder dir;
    struct Case {
        const char* port;
        const char* chip;
        std::vector<std::string> commands;  // the last one fails
        const char* why;                    // a line before the last, without "quillon-cli: "
    };
    const Case cases[] = {
        {"sim:empty", "ATmega8", {"read-fuses"}, "read-fuses: No chip answers in the socket (signature FF FF FF"},
        {"sim:empty", "AT90S2313", {"read-fuses"}, "read-fuses: No chip answers in the socket (signature FF FF FF"},
        {"sim:empty", "ATmega8", {"read-calibration"}, "read-calibration: No chip answers in the socket"},
        {"sim:ATmega8", "ATmega8", {"write-fuses", "E1,D9,FC", "read-program", dir / "out.hex"},
         "read-program: The chip is locked (LB1, LB2 programmed): it reads as 0xFF"},
        {"sim:ATtiny85", "ATtiny85", {"write-fuses", "62,DF,FF,FE", "read-data", dir / "out.eep"},
         "read-data: The chip is locked (LB1 programmed)"},
        {"sim:ATmega8", "ATmega8", {"write-fuses", "E1,D9,FC", "write-fuses", "E4,D9,FC"},
         "write-fuses: The chip does not hold the bytes written:; Low Fuses: written 0xE4, the chip holds 0xE1 "
         "(CKSEL0, CKSEL2); The chip is locked (LB1, LB2 programmed): lock bits block fuse writes"},
        {"sim:ATtiny13", "ATtiny13", {"write-fuses", "6A,FF,FC", "write-fuses", "7A,FF,FF"},
         "write-fuses: The chip does not hold the bytes written:; Low Fuses: written 0x7A, the chip holds 0x6A "
         "(CKDIV8); Lock bits: written 0xFF, the chip holds 0xFC (LB1, LB2)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--port", c.port, "--delay", "0", "--chip", c.chip, "--yes"};
        args.insert(args.end(), c.commands.begin(), c.commands.end());
        Finished f = RunProgram(Cli(), args);
        // The failing command is the last one, with its argument when it takes one.
        const std::string last(std::string(c.why).substr(0, std::string(c.why).find(':')));
        EXPECT_EQ(f.status, 1) << c.why << f.out << f.err;
        EXPECT_NE(f.err.find("quillon-cli: " + std::string(c.why)), std::string::npos) << f.err;
        EXPECT_TRUE(f.err.ends_with("quillon-cli: failed: " + last + "\n")) << f.err;
    }
    EXPECT_FALSE(fs::exists(dir / "out.hex"));
    EXPECT_FALSE(fs::exists(dir / "out.eep"));
}

// With --json, standard output carries the JSON lines only: a file to save there is refused at
// once, before the port is opened.
TEST(CommandLine, JsonRefusesAFileOnStandardOutput)
{
    for (const char* file : {"/dev/stdout", "-", "/proc/self/fd/1"}) {
        Finished f = RunProgram(Cli(), {"--port", "sim:ATmega8", "--chip", "ATmega8", "--json", "read-data", file});
        EXPECT_EQ(f.status, 2) << file << f.out << f.err;
        EXPECT_EQ(f.out.find("COM-port"), std::string::npos) << f.out;
        EXPECT_NE(f.err.find("is standard output, which --json keeps for its lines"), std::string::npos) << f.err;
    }
}

// Without the check every command sends only its own bytes: no signature read before the write.
TEST(CommandLine, TheSignatureCheckCanBeTurnedOff)
{
    Finished f = RunProgram(Cli(), {"--port", "sim:ATmega8", "--delay", "0", "--chip", "ATmega88", "--yes",
                                    "--no-signature-check", "erase"});
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_EQ(f.out.find("read signature bytes"), std::string::npos) << f.out;
}

TEST(CommandLine, FuseWritesThatLockTheToolOutNeedForceAndPlainOnesNeedYes)
{
    struct Case {
        std::vector<std::string> flags;
        const char* bytes;
        int status;
        const char* says;  // on stderr
    };
    // ATtiny85, factory 62 DF FF FF: high 0x5F programs RSTDISBL (bit 7), 0xFF unprograms SPIEN
    // (bit 5); lock FC programs LB1 and LB2.
    const Case cases[] = {
        {{}, "62,DF,FF,FF", 1, "write-fuses refused"},
        {{"--yes"}, "62,5F,FF,FF", 1, "RSTDISBL"},
        {{"--yes"}, "62,FF,FF,FF", 1, "SPIEN"},
        {{"--yes"}, "62,DF,FF,FC", 0, ""},  // lock bits: asked as a data loss, answered by --yes
        {{"--yes", "--force"}, "62,5F,FF,FF", 0, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--port", "sim:ATtiny85", "--delay", "0", "--chip", "ATtiny85"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        args.insert(args.end(), {"write-fuses", c.bytes, "read-fuses"});
        Finished f = RunProgram(Cli(), args);
        EXPECT_EQ(f.status, c.status) << c.bytes << f.out << f.err;
        EXPECT_NE(f.err.find(c.says), std::string::npos) << c.bytes << f.err;
        if (c.status != 0) {
            EXPECT_EQ(f.out.find("write fuse"), std::string::npos) << c.bytes << f.out;
            EXPECT_NE(f.out.find("High Fuses: 0xDF"), std::string::npos) << c.bytes << f.out;
        }
    }
}

TEST(Cli, VerifyComparesTheBytesTheFileGivesAndWholeMemoryComparesAll)
{
    test::ScratchFolder dir;
    WriteBytes(dir / "full.bin", 1024, 5);
    WriteBytes(dir / "head.bin", 512, 5);  // a raw binary covers its length
    ASSERT_TRUE(BinaryToHex(dir / "full.bin", dir / "full.hex"));
    ASSERT_EQ(RunProgram("/usr/bin/srec_cat", {dir / "full.bin", "-binary", "-crop", "0x100", "0x200", "-o",
                                               dir / "part.hex", "-intel"}).status, 0);
    // The same stretch with its byte at 0x180 changed.
    ASSERT_EQ(RunProgram("/usr/bin/srec_cat", {dir / "full.bin", "-binary", "-crop", "0x100", "0x200",
                                               "-exclude", "0x180", "0x181", "-generate", "0x180", "0x181",
                                               "-constant", "0x00", "-o", dir / "changed.hex", "-intel"}).status, 0);
    const std::vector<std::string> common = {"--port", "sim:ATmega8", "--chip", "ATmega8", "--delay", "0", "--yes"};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), common.begin(), common.end());
        return RunProgram(Cli(), args);
    };

    Finished sparse = run({"write-program", dir / "full.hex", "verify-program", dir / "part.hex", "verify-program",
                           dir / "head.bin"});
    EXPECT_EQ(sparse.status, 0) << sparse.out << sparse.err;
    EXPECT_EQ(Count(sparse.out, "       Finished. No differences found.\n"), 3) << sparse.out;  // the write's own too
    EXPECT_EQ(Count(sparse.out, "Compared 1024 bytes, the ones the file gives.\n"), 1) << sparse.out;
    EXPECT_EQ(Count(sparse.out, "Compared 256 bytes, the ones the file gives.\n"), 1) << sparse.out;
    EXPECT_EQ(Count(sparse.out, "Compared 512 bytes, the ones the file gives.\n"), 1) << sparse.out;

    Finished inside = run({"write-program", dir / "full.hex", "verify-program", dir / "changed.hex"});
    EXPECT_EQ(inside.status, 1) << inside.out;
    EXPECT_NE(inside.out.find("with fail. Address: 0x"), std::string::npos) << inside.out;
    EXPECT_NE(inside.out.find("180\n"), std::string::npos) << inside.out;

    // The whole memory against the part padded with 0xFF: the rest of the program differs.
    Finished whole = run({"--whole-memory", "write-program", dir / "full.hex", "verify-program", dir / "part.hex"});
    EXPECT_EQ(whole.status, 1) << whole.out;
    EXPECT_EQ(whole.out.find("Compared"), std::string::npos) << whole.out;
}

}  // namespace
}  // namespace quillon
