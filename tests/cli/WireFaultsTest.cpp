// quillon-cli against tavro-sim with one answer damaged, split or late on the line: what the user
// sees (exit status, last line, the file), what the chip holds afterwards and whether the socket
// still has supply when the command is over.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Subprocess.h"
#include "support/ScratchFolder.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::Finished;
using test::RunProgram;
using test::SimulatedGateway;

std::string Contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string LastLine(const std::string& text)
{
    const auto end = text.find_last_not_of('\n');
    if (end == std::string::npos) return {};
    const auto start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

struct WireCase {
    const char* what;
    const char* chip;
    std::vector<std::string> fault;    // tavro-sim's options
    std::vector<std::string> command;  // quillon-cli's, "@" for the output file
    int status;
    const char* power;  // the socket's supply at the end
    std::vector<std::string> cli = {};
};

// Answer 1 is the handshake's; on a serial chip answer 2 is the programming enable's, 3 the first
// read's, which goes alone: the answers after it are in flight unless one read at a time is asked.
// Reads of the lock byte and the calibration byte are answer 3 of their commands.
TEST(WireFaults, ADamagedAnswerFailsWithTheSocketOffAndAWholeOneSucceedsHoweverItCame)
{
    test::ScratchFolder dir;
    std::string eeprom(512, '\0');
    for (std::size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = static_cast<char>(0x3C ^ (i * 53));
    { std::ofstream(dir / "eeprom.bin", std::ios::binary) << eeprom; }
    const std::vector<std::string> readData = {"read-data", "@"};
    const WireCase cases[] = {
        {"EEPROM data byte lost, one read at a time", "ATtiny85", {"--lose-byte", "0@10"}, readData, 1, "off",
         {"--answers-in-flight", "1"}},
        {"EEPROM data byte doubled", "ATtiny13", {"--double-byte", "0@10"}, readData, 1, "off"},
        {"lock byte lost", "ATtiny13", {"--lose-byte", "0@3"}, {"read-fuses"}, 1, "off"},
        {"calibration byte lost", "ATtiny85", {"--lose-byte", "0@3"}, {"read-calibration"}, 1, "off"},
        {"short gateway's byte lost", "ATtiny85", {"--short-spi", "2", "--lose-byte", "1@10"}, readData, 1, "off"},
        {"answer past the bound, one read at a time", "ATtiny13", {"--late-answer", "1500@10"}, readData, 1, "off",
         {"--answers-in-flight", "1"}},
        {"parallel stray byte", "ATmega8", {"--stray", "55@40"}, readData, 1, "off"},
        {"parallel stray byte, left powered", "ATmega8", {"--stray", "55@40"}, readData, 1, "on: +5V +12V",
         {"--leave-powered"}},
        {"EEPROM answer 0.5 s late", "ATtiny13", {"--late-answer", "500@10"}, readData, 0, "off"},
        {"EEPROM answer split by 30 ms", "ATtiny85", {"--split-answer", "2,30@10"}, readData, 0, "off"},
        {"first answer split by 30 ms", "ATtiny13", {"--split-answer", "1,30@2"}, readData, 0, "off"},
        {"split answer, long bound", "ATtiny85", {"--split-answer", "2,30@10"}, readData, 0, "off",
         {"--answer-timeout", "5000"}},
        {"short gateway", "ATtiny85", {"--short-spi", "2"}, readData, 0, "off"},
        // With reads in flight an answer short of a byte or past the bound is the gateway falling
        // behind: the read goes on one at a time and ends with the chip's bytes.
        {"EEPROM data byte lost, reads in flight", "ATtiny85", {"--lose-byte", "0@10"}, readData, 0, "off"},
        {"answer past the bound, reads in flight", "ATtiny13", {"--late-answer", "1500@10"}, readData, 0, "off"},
    };
    for (const WireCase& c : cases) {
        const fs::path out = dir / (std::string(c.chip) + ".eeprom.bin");
        fs::remove(out);
        std::vector<std::string> sim = {"--chip", c.chip, "--eeprom", dir / "eeprom.bin", "--save-eeprom",
                                        dir / "held.bin", "--save-fuses", dir / "fuses", "--save-power",
                                        dir / "power"};
        sim.insert(sim.end(), c.fault.begin(), c.fault.end());
        std::string before;
        {
            SimulatedGateway gateway(sim);
            ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
            std::vector<std::string> args = {"--port", gateway.Path(), "--delay", "0", "--chip", c.chip};
            args.insert(args.end(), c.cli.begin(), c.cli.end());
            for (const std::string& word : c.command) args.push_back(word == "@" ? out.string() : word);
            const Finished f = RunProgram(test::BinaryPath("src/cli/quillon-cli"), args, std::chrono::seconds(60));
            EXPECT_EQ(f.status, c.status) << c.what << "\n" << f.out << f.err;
            const std::string word = c.command.front();
            EXPECT_EQ(LastLine(f.err), c.status == 0 ? "" : "quillon-cli: failed: " + word) << c.what << "\n" << f.err;
            const bool leftPowered = std::find(c.cli.begin(), c.cli.end(), "--leave-powered") != c.cli.end();
            EXPECT_EQ(f.out.find("The gateway was told to switch the socket off") != std::string::npos,
                      c.status != 0 && !leftPowered)
                << c.what << "\n" << f.out;
            if (c.command.size() > 1) {
                // A failed read leaves no file; a successful one holds what the chip holds.
                if (c.status == 0)
                    EXPECT_EQ(Contents(out), eeprom.substr(0, Contents(out).size())) << c.what;
                else
                    EXPECT_FALSE(fs::exists(out)) << c.what;
                if (c.status == 0) EXPECT_GE(Contents(out).size(), 64u) << c.what;
            }
        }
        // tavro-sim has written what the chip and the socket hold as it ended: a read changes nothing.
        EXPECT_EQ(Contents(dir / "held.bin"), eeprom.substr(0, Contents(dir / "held.bin").size())) << c.what;
        EXPECT_EQ(Contents(dir / "power"), std::string(c.power) + "\n") << c.what;
    }
}

}  // namespace
}  // namespace quillon
