// Job files: a good one comes out as plain data with its images; every kind of bad one is refused
// with its file, line and key.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "chips/ChipTable.h"
#include "production/Job.h"
#include "support/ScratchFolder.h"

namespace quillon::production {
namespace {

using quillon::test::ScratchFolder;

void Write(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Intel HEX of `count` bytes 0, 1, 2, ... from address `at`.
std::string Hex(unsigned at, unsigned count)
{
    std::string text;
    char line[80];
    for (unsigned off = 0; off < count; off += 16) {
        const unsigned n = std::min(16u, count - off);
        const unsigned addr = at + off;
        unsigned sum = n + (addr >> 8) + (addr & 0xFF);
        std::snprintf(line, sizeof line, ":%02X%04X00", n, addr & 0xFFFF);
        text += line;
        for (unsigned i = 0; i < n; ++i) {
            const unsigned b = (off + i) & 0xFF;
            sum += b;
            std::snprintf(line, sizeof line, "%02X", b);
            text += line;
        }
        std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\n";
}

class JobFiles : public ::testing::Test {
protected:
    ScratchFolder dir{"quillon-job"};
    void SetUp() override
    {
        Write(dir / "fw.hex", Hex(0, 256));
        Write(dir / "cal.eep", Hex(0, 8));
    }
    JobCheck Read(const std::string& text)
    {
        Write(dir / "job.toml", text);
        return ReadJob(dir / "job.toml");
    }
};

constexpr const char* kGood = R"(name = "blink"
chip = "ATmega328P"
program = "fw.hex"
data = "cal.eep"
fuses = "FF DE FD"
lock = "FC"
[serial]
memory = "eeprom"
address = 0x10
length = 4
order = "little"
format = "binary"
first = 1000
step = 1
last = 1999
)";

TEST_F(JobFiles, AGoodJobComesOutWithItsImagesAndAHashOfEveryFile)
{
    const JobCheck check = Read(kGood);
    ASSERT_TRUE(check.job) << check.error;
    const Job& job = *check.job;
    EXPECT_EQ(job.name, "blink");
    EXPECT_EQ(job.chip->name, "ATmega328P");
    EXPECT_EQ(job.fuses, (std::vector<std::uint8_t>{0xFF, 0xDE, 0xFD}));
    EXPECT_EQ(job.lock, 0xFC);
    ASSERT_TRUE(job.serial);
    EXPECT_EQ(job.serial->address, 0x10u);
    EXPECT_EQ(job.serial->last, 1999u);
    ASSERT_EQ(job.program.size(), 32768u);
    EXPECT_EQ(job.program[255], 255);
    EXPECT_EQ(job.program[256], 0xFF);
    EXPECT_EQ(job.programCovered[255], 1);
    EXPECT_EQ(job.programCovered[256], 0);
    EXPECT_EQ(job.dataCovered[7], 1);
    EXPECT_EQ(job.dataCovered[8], 0);
    ASSERT_EQ(job.files.size(), 3u);  // the job, the program, the data
    EXPECT_EQ(job.hash.size(), 64u);
    EXPECT_EQ(DefaultRecordsFile(job), dir / "blink.records.sqlite");

    // The hash follows every file the job names, not only the job file.
    const std::string before = job.hash;
    Write(dir / "cal.eep", Hex(0, 9));
    EXPECT_NE(CheckJobUnchanged(job), "");
    const JobCheck again = ReadJob(dir / "job.toml");
    ASSERT_TRUE(again.job);
    EXPECT_NE(again.job->hash, before);
    EXPECT_EQ(CheckJobUnchanged(*again.job), "");
}

TEST_F(JobFiles, FilesAreNamedRelativeToTheJobFile)
{
    std::filesystem::create_directory(dir.path() / "firmware");
    Write(dir / "firmware/fw.hex", Hex(0, 16));
    Write(dir / "firmware/job.toml", "name = \"x\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\n");
    const JobCheck check = ReadJob(dir / "firmware/job.toml");
    ASSERT_TRUE(check.job) << check.error;
    EXPECT_EQ(check.job->programFile, dir / "firmware/fw.hex");
}

TEST_F(JobFiles, ASerialNumberWithoutAFileIsWrittenIntoAnErasedImage)
{
    const JobCheck check = Read("name = \"s\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"flash\"\naddress = 0x1F00\n"
                                "length = 2\nformat = \"bcd\"\nfirst = 1\n");
    ASSERT_TRUE(check.job) << check.error;
    EXPECT_TRUE(check.job->writesProgram);
    EXPECT_FALSE(check.job->writesData);
    EXPECT_EQ(check.job->serial->last, 9999u);  // the largest two BCD bytes hold
}

TEST_F(JobFiles, BadJobsAreRefusedWithFileLineAndKey)
{
    Write(dir / "serials.txt", "# numbers\n10\n0x20\nabc\n");
    Write(dir / "big.txt", "5\n70000\n");
    Write(dir / "beyond.hex", Hex(0x8000, 16));
    const std::string job = dir / "job.toml";
    const struct {
        const char* text;
        std::string message;
    } cases[] = {
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\ncolour = 3\n", job + ":4: colour: unknown key"},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\nerase = \"yes\"\n",
         job + ":4: erase: must be true or false, not a string"},
        {"name = 5\nchip = \"ATmega8\"\n", job + ":1: name: must be a string, not a whole number"},
        {"chip = \"ATmega8\"\nprogram = \"fw.hex\"\n", job + ": name: missing"},
        {"name = \"a\"\nchip = \"ATmega9\"\nprogram = \"fw.hex\"\n", job + ":2: chip: unknown chip \"ATmega9\""},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"gone.hex\"\n", job + ":3: program: "},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"beyond.hex\"\n", job + ":3: program: "},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\nfuses = \"FF\"\n",
         job + ":4: fuses: the ATmega8 has 2 fuse bytes, not 1"},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\nfuses = \"FF XX\"\n", job + ":4: fuses: \"FF XX\" is not hex"},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\n[fuses]\nBODLEVEL = \"2V7\"\n",
         job + ":4: fuses: give the fuse bytes in hex"},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\nlock = \"FC FC\"\n", job + ":4: lock: must be one hex byte"},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\nname = \"b\"\n", job + ":4: "},  // TOML's own
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 9\nfirst = 1\n",
         job + ":6: serial.length: must be from 1 to 8, not 9"},
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 510\nlength = 4\nfirst = 1\n",
         job + ":5: serial.address: the number's 4 bytes at 0x01FE do not fit the 512 bytes of the EEPROM"},
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 2\nfirst = 1\n"
         "last = 70000\n",
         job + ":8: serial.last: 70000 does not fit the serial number's field (2 bytes binary, largest 65535)"},
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 3\nformat = \"decimal\"\n"
         "first = 1000\n",
         job + ":8: serial.first: 1000 does not fit the serial number's field (3 bytes decimal, largest 999)"},
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 2\nformat = \"octal\"\n"
         "first = 1\n",
         job + ":7: serial.format: must be \"binary\", \"bcd\", \"decimal\" or \"hex\", not \"octal\""},
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 2\nfirst = 1\nsize = 2\n",
         job + ":8: serial.size: unknown key"},
        {"name = \"a\"\nchip = \"ATmega8\"\ndata = \"cal.eep\"\n[serial]\nmemory = \"eeprom\"\naddress = 6\nlength = 4\n"
         "first = 1\n",
         job + ":6: serial.address: the serial number's bytes 0x0006-0x0009 lie on data that " + (dir / "cal.eep") +
             " gives (at 0x0006)"},
        {"name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\n[serial]\nmemory = \"flash\"\naddress = 0x80\n"
         "length = 4\nfirst = 1\n",
         job + ":6: serial.address: the serial number's bytes 0x0080-0x0083 lie on data that"},
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 2\nvalues = \"serials.txt\"\n",
         (dir / "serials.txt") + ":4: \"abc\" is not a serial number"},
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 2\nvalues = \"big.txt\"\n",
         (dir / "big.txt") + ":2: 70000 does not fit the serial number's field"},
        {"name = \"a\"\nchip = \"ATmega8\"\n[serial]\nmemory = \"eeprom\"\naddress = 0\nlength = 2\nvalues = \"big.txt\"\n"
         "first = 1\n",
         job + ":8: serial.first: not with serial.values"},
        {"name = \"a\"\nchip = \"ATmega8\"\n", job + ": program: the job writes nothing"},
    };
    for (const auto& c : cases) {
        const JobCheck check = Read(c.text);
        EXPECT_FALSE(check.job) << c.text;
        EXPECT_EQ(check.error.substr(0, c.message.size()), c.message) << c.text;
    }
}

TEST_F(JobFiles, AnElfProgramGivesItsEepromAndOnRequestItsFusesAndLock)
{
    const std::string elf = std::string(QUILLON_BINARY_DIR) + "/fixtures/avr/app328.elf";
    if (!std::filesystem::exists(elf)) GTEST_SKIP() << "no AVR compiler: " << elf << " was not made";
    const JobCheck check = Read("name = \"e\"\nchip = \"ATmega328P\"\nprogram = \"" + elf +
                                "\"\nfuses = \"program\"\nlock = \"program\"\n");
    ASSERT_TRUE(check.job) << check.error;
    EXPECT_TRUE(check.job->writesData);
    EXPECT_EQ(std::count(check.job->dataCovered.begin(), check.job->dataCovered.end(), 1), 8);  // 6 + 2 bytes
    EXPECT_EQ(check.job->fuses, (std::vector<std::uint8_t>{0xE2, 0xD9, 0xFD}));
    EXPECT_TRUE(check.job->lock);

    const JobCheck hex = Read("name = \"e\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\nfuses = \"program\"\n");
    EXPECT_NE(hex.error.find(":4: fuses: " + (dir / "fw.hex") + " holds no fuse bytes"), std::string::npos) << hex.error;
}

TEST(JobFile, AMissingJobFileNamesIt)
{
    const JobCheck check = ReadJob("/nonexistent/job.toml");
    EXPECT_FALSE(check.job);
    EXPECT_NE(check.error.find("/nonexistent/job.toml"), std::string::npos);
}

TEST_F(JobFiles, AFuseTableGoesThroughTheReaderOnceThereIsOne)
{
    SetFuseTableReader([](const ChipRow&, const std::vector<FuseSetting>& settings, std::vector<std::uint8_t>& fuses) {
        if (settings.size() != 1 || settings[0].field != "CKSEL" || settings[0].line != 5) return std::string("bad");
        fuses = {0xE1, 0xD9};
        return std::string();
    });
    const JobCheck check = Read("name = \"a\"\nchip = \"ATmega8\"\nprogram = \"fw.hex\"\n[fuses]\nCKSEL = 1\n");
    SetFuseTableReader({});
    ASSERT_TRUE(check.job) << check.error;
    EXPECT_EQ(check.job->fuses, (std::vector<std::uint8_t>{0xE1, 0xD9}));
}

}  // namespace
}  // namespace quillon::production
