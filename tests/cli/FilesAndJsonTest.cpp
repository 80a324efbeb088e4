// quillon-cli with the compiler's ELF files, S-records and --json: what a production line's
// script runs, checked against avr-objcopy's and srecord's reading of the same files.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Subprocess.h"
#include "support/ScratchFolder.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::Finished;
using test::RunProgram;
using test::SimulatedGateway;
using Json = nlohmann::json;

using test::Cli;

std::string Fixture(const std::string& name)
{
    return test::BinaryPath("fixtures/avr/" + name);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every line of standard output as a JSON object; a line that is not one fails the test.
std::vector<Json> JsonLines(const std::string& out)
{
    std::vector<Json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        Json object = Json::parse(line, nullptr, false);
        EXPECT_TRUE(object.is_object()) << "not a JSON object: " << line;
        if (object.is_object()) lines.push_back(std::move(object));
    }
    return lines;
}

std::vector<Json> OfType(const std::vector<Json>& lines, const std::string& type)
{
    std::vector<Json> found;
    for (const Json& line : lines)
        if (line.value("type", "") == type) found.push_back(line);
    return found;
}

TEST(Json, AnAttiny85WriteThroughTavroSimReportsItsStepsAsJson)
{
    test::ScratchFolder dir;
    ASSERT_EQ(RunProgram("/usr/bin/srec_cat", {"-generate", "0", "0x300", "-repeat-string", "quillon", "-o",
                                               dir / "prog.hex", "-intel"})
                  .status,
              0);
    SimulatedGateway gateway({"--chip", "ATtiny85"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    Finished f = RunProgram(Cli(), {"--json", "--port", gateway.Path(), "--delay", "0", "--chip", "ATtiny85",
                                    "--yes", "write-program", dir / "prog.hex", "verify-program", dir / "prog.hex"});
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    const std::vector<Json> lines = JsonLines(f.out);
    ASSERT_FALSE(lines.empty());

    int highest = -1;
    for (const Json& step : OfType(lines, "progress")) {
        ASSERT_TRUE(step["percent"].is_number_integer()) << step;
        EXPECT_GE(step["percent"].get<int>(), 0);
        EXPECT_LE(step["percent"].get<int>(), 100);
        if (step["command"] == "write-program") highest = std::max(highest, step["percent"].get<int>());
    }
    EXPECT_EQ(highest, 100);
    EXPECT_FALSE(OfType(lines, "log").empty());
    const std::vector<Json> results = OfType(lines, "result");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0], (Json{{"type", "result"}, {"command", "write-program"}, {"argument", dir / "prog.hex"}, {"ok", true}}));
    EXPECT_EQ(results[1]["ok"], true);
    EXPECT_EQ(lines.back(), (Json{{"type", "exit"}, {"status", 0}, {"failed", Json::array()}}));
}

TEST(Json, FailuresAndWrongLinesEndWithTheirExitStatus)
{
    test::ScratchFolder dir;
    { std::ofstream(dir / "other.hex") << ":0100000000FF\r\n:00000001FF\r\n"; }
    Finished verify = RunProgram(Cli(), {"--json", "--port", "sim:ATmega8", "--chip", "ATmega8", "--delay", "0",
                                         "verify-program", dir / "other.hex", "read-fuses"});
    EXPECT_EQ(verify.status, 1);
    const std::vector<Json> lines = JsonLines(verify.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(OfType(lines, "result")[0]["ok"], false);
    const std::vector<Json> fuses = OfType(lines, "fuses");
    ASSERT_EQ(fuses.size(), 1u);
    EXPECT_EQ(fuses[0]["slots"][0]["name"], "Low Fuses");
    EXPECT_TRUE(fuses[0]["slots"][0]["value"].is_number_integer());
    EXPECT_EQ(lines.back(), (Json{{"type", "exit"}, {"status", 1}, {"failed", {"verify-program"}}}));

    Finished usage = RunProgram(Cli(), {"--json", "--port", "sim:ATmega8", "frobnicate"});
    EXPECT_EQ(usage.status, 2);
    const std::vector<Json> wrong = JsonLines(usage.out);
    ASSERT_EQ(wrong.size(), 2u) << usage.out;
    EXPECT_EQ(wrong[0]["type"], "error");
    EXPECT_EQ(wrong[1], (Json{{"type", "exit"}, {"status", 2}, {"failed", Json::array()}}));

    Finished version = RunProgram(Cli(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quillon-cli ", 0), 0u) << version.out;
    Finished help = RunProgram(Cli(), {"--help"});
    for (const char* status : {"  0 ", "  1 ", "  2 ", "  129 ", " 130 ", " 143 "})
        EXPECT_NE(help.out.find(status), std::string::npos) << status;
}

TEST(Json, ListChipsGivesOneObjectAChip)
{
    Finished f = RunProgram(Cli(), {"list-chips", "--json"});
    EXPECT_EQ(f.status, 0) << f.err;
    const std::vector<Json> chips = JsonLines(f.out);
    ASSERT_GT(chips.size(), 40u);
    EXPECT_EQ(OfType(chips, "chip").size(), chips.size());
    bool found = false;
    for (const Json& chip : chips)
        if (chip["name"] == "ATtiny85") {
            found = true;
            EXPECT_EQ(chip["signature"], "1E 93 0B");
            EXPECT_EQ(chip["flash"], 8192);
            EXPECT_EQ(chip["mode"], "serial");
        }
    EXPECT_TRUE(found);
}

// The 90 KiB program and its EEPROM written from the compiler's ELF file and read back as the
// formats a user keeps: the same bytes avr-objcopy extracts.
TEST(ElfFiles, ABigProgramWrittenFromItsElfFileReadsBackAsObjcopyExtractsIt)
{
    if (!fs::exists(Fixture("big2560.elf"))) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    test::ScratchFolder dir;
    const std::string elf = Fixture("big2560.elf");
    Finished f = RunProgram(Cli(), {"--port", "sim:ATmega2560", "--chip", "ATmega2560", "--delay", "0", "--yes",
                                    "write-program", elf, "write-data", elf, "read-program", dir / "back.bin",
                                    "read-data", dir / "back.s19"});
    ASSERT_EQ(f.status, 0) << f.out << f.err;
    const std::string flash = ReadFile(Fixture("big2560.flash.bin"));
    const std::string back = ReadFile(dir / "back.bin");
    ASSERT_EQ(back.size(), 262144u);
    EXPECT_TRUE(back.compare(0, flash.size(), flash) == 0);
    EXPECT_EQ(back.find_first_not_of('\xFF', flash.size()), std::string::npos);
    // The EEPROM as srecord reads the saved S-record: objcopy's bytes at 0, the rest erased.
    EXPECT_EQ(RunProgram("/usr/bin/srec_cmp", {dir / "back.s19", Fixture("big2560.eeprom.bin"), "-binary", "-fill",
                                               "0xFF", "0", "4096"})
                  .status,
              0);
}

TEST(ElfFiles, FuseBytesAreWrittenFromTheFileOnlyByWriteFusesWithYes)
{
    if (!fs::exists(Fixture("app168.elf"))) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    const std::string elf = Fixture("app168.elf");
    const std::vector<std::string> common = {"--port", "sim:ATmega168", "--chip", "ATmega168", "--delay", "0"};
    auto run = [&](std::vector<std::string> commands) {
        std::vector<std::string> args = common;
        args.insert(args.end(), commands.begin(), commands.end());
        return RunProgram(Cli(), args);
    };
    // Loading the program tells of the bytes and writes none of them.
    Finished program = run({"--yes", "write-program", elf});
    EXPECT_EQ(program.status, 0) << program.out << program.err;
    EXPECT_NE(program.out.find("fuses (low first) E2 D9 FD, lock FE"), std::string::npos) << program.out;
    EXPECT_EQ(program.out.find("Trying to write fuse"), std::string::npos) << program.out;

    Finished refused = run({"write-fuses", elf});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("add --yes"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out.find("Trying to write fuse"), std::string::npos) << refused.out;

    // Each run starts a fresh simulated chip, so the write and the read share one run.
    Finished written = run({"--yes", "write-fuses", elf, "read-fuses"});
    EXPECT_EQ(written.status, 0) << written.out << written.err;
    EXPECT_NE(written.out.find("\nLow Fuses: 0xE2 "), std::string::npos) << written.out;
    EXPECT_NE(written.out.find("\nHigh Fuses: 0xD9 "), std::string::npos) << written.out;
    EXPECT_NE(written.out.find("\nExtended Fuses: 0xFD "), std::string::npos) << written.out;
    EXPECT_NE(written.out.find("\nLock bits: 0xFE "), std::string::npos) << written.out;

    // A program for a chip with another number of fuse bytes writes nothing.
    Finished other = RunProgram(Cli(), {"--port", "sim:ATtiny13", "--chip", "ATtiny13", "--delay", "0", "--yes",
                                        "write-fuses", elf});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("the file holds 3 fuse bytes, the ATtiny13 has 2"), std::string::npos) << other.err;
    EXPECT_EQ(other.out.find("Trying to write"), std::string::npos) << other.out;
}

// A program without a lock byte writes its fuses and no lock byte at all: the chip keeps its own
// lock, not one read from it and written back. The fuses are read back.
TEST(ElfFiles, AFileWithoutALockByteSendsNoLockWrite)
{
    if (!fs::exists(Fixture("big2560.elf"))) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    Finished f = RunProgram(Cli(), {"--port", "sim:ATmega2560", "--chip", "ATmega2560", "--delay", "0", "--yes",
                                    "write-fuses", Fixture("big2560.elf"), "read-fuses"});
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_NE(f.out.find("Fuse and lock bytes from " + Fixture("big2560.elf") + ": fuses FF D8 FC\n"),
              std::string::npos) << f.out;
    EXPECT_EQ(f.out.find("Trying to write lock-bits"), std::string::npos) << f.out;
    EXPECT_NE(f.out.find("Trying to write fuse extended byte"), std::string::npos) << f.out;
    EXPECT_NE(f.out.find("\nHigh Fuses: 0xD8 "), std::string::npos) << f.out;
    EXPECT_NE(f.out.find("\nLock bits: 0xFF "), std::string::npos) << f.out;
}

TEST(SRecordFiles, WrittenFromOneWidthAndReadBackInAnotherTheBytesStay)
{
    test::ScratchFolder dir;
    ASSERT_EQ(RunProgram("/usr/bin/srec_cat", {"-generate", "0x40", "0x1C0", "-repeat-data", "1", "2", "3", "5", "8",
                                               "-o", dir / "prog.s19", "-motorola"})
                  .status,
              0);
    Finished f = RunProgram(Cli(), {"--port", "sim:ATmega8", "--chip", "ATmega8", "--delay", "0", "--yes",
                                    "write-program", dir / "prog.s19", "read-program", dir / "back.s28"});
    ASSERT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_EQ(ReadFile(dir / "back.s28").substr(ReadFile(dir / "back.s28").find('\n') + 1, 2), "S2");
    EXPECT_EQ(RunProgram("/usr/bin/srec_cmp", {dir / "prog.s19", "-fill", "0xFF", "0", "8192", dir / "back.s28"}).status,
              0);

    // One damaged record: nothing is written and the line is named.
    std::string text = ReadFile(dir / "prog.s19");
    text[text.find('\n', text.find('\n') + 1) - 1] ^= 1;  // the first data record's checksum
    { std::ofstream(dir / "bad.s19", std::ios::binary) << text; }
    Finished bad = RunProgram(Cli(), {"--port", "sim:ATmega8", "--chip", "ATmega8", "--delay", "0", "--yes",
                                      "write-program", dir / "bad.s19"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("line 2: checksum mismatch; nothing was loaded"), std::string::npos) << bad.out;
    EXPECT_EQ(bad.out.find("Trying to"), std::string::npos) << bad.out;
}

// compare-program lists every range that differs, where verify-program names only the first.
TEST(Compare, EveryDifferingRangeIsPrintedAndAnyDifferenceEndsWithStatusOne)
{
    test::ScratchFolder dir;
    std::string program(1024, '\0');
    for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<char>(i % 199);  // never 0xFF, the erased value
    std::string changed = program;
    changed[0] ^= 1;
    for (std::size_t i = 0x100; i <= 0x10F; ++i) changed[i] = '\x55';
    changed[0x3FF] ^= 0x40;
    { std::ofstream(dir / "prog.bin", std::ios::binary) << program; }
    { std::ofstream(dir / "changed.bin", std::ios::binary) << changed; }
    { std::ofstream(dir / "head.bin", std::ios::binary) << program.substr(0, 16); }
    const std::vector<std::string> common = {"--port", "sim:ATmega8", "--chip", "ATmega8", "--delay", "0", "--yes",
                                             "write-program", dir / "prog.bin"};
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = common;
        args.insert(args.end(), more.begin(), more.end());
        return RunProgram(Cli(), args);
    };

    Finished differs = run({"compare-program", dir / "changed.bin"});
    EXPECT_EQ(differs.status, 1);
    EXPECT_NE(differs.out.find("Trying to compare the program\n"), std::string::npos) << differs.out;
    EXPECT_NE(differs.out.find("       Finished. 18 bytes differ in 3 ranges:\n  0x0000 (1 byte)\n"
                               "  0x0100-0x010F (16 bytes)\n  0x03FF (1 byte)\nEnd time: "),
              std::string::npos)
        << differs.out;
    EXPECT_NE(differs.err.find("failed: compare-program"), std::string::npos) << differs.err;

    Finished same = run({"compare-program", dir / "prog.bin"});
    EXPECT_EQ(same.status, 0) << same.out << same.err;
    EXPECT_NE(same.out.find("       Finished. No differences found.\nCompared 1024 bytes.\n"), std::string::npos)
        << same.out;

    // The bytes a file gives, unless the whole memory is asked for: then the rest counts as 0xFF.
    EXPECT_EQ(run({"compare-program", dir / "head.bin"}).status, 0);
    Finished whole = run({"--whole-memory", "compare-program", dir / "head.bin"});
    EXPECT_EQ(whole.status, 1);
    EXPECT_NE(whole.out.find("Finished. 1008 bytes differ in 1 range:\n  0x0010-0x03FF (1008 bytes)\n"),
              std::string::npos)
        << whole.out;

    Finished data = RunProgram(Cli(), {"--port", "sim:ATmega8", "--chip", "ATmega8", "--delay", "0", "--json",
                                       "compare-data", dir / "head.bin"});
    EXPECT_EQ(data.status, 1);
    EXPECT_NE(data.out.find("Trying to compare the EEPROM"), std::string::npos) << data.out;
    EXPECT_EQ(JsonLines(data.out).back(), (Json{{"type", "exit"}, {"status", 1}, {"failed", {"compare-data"}}}));

    Finished help = RunProgram(Cli(), {"--help"});
    EXPECT_NE(help.out.find("compare-program FILE"), std::string::npos);
    EXPECT_NE(help.out.find("and N more ranges"), std::string::npos);
}

}  // namespace
}  // namespace quillon
