// A production job: one file that says everything done to every chip of a run (the chip, the
// program and data files, erase, fuses, lock, the serial number rule). It is read and checked
// whole before any chip is touched; what comes out is plain data with the images already loaded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "production/SerialNumber.h"

namespace quillon {
struct ChipRow;
}

namespace quillon::production {

// A file the job names, with the digest it had when the job was read.
struct NamedFile {
    std::string key;   // "program", "data", "serial.values"
    std::string path;  // as the job names it, made relative to the job file's folder
    std::string sha256;
};

struct Job {
    std::string path;  // the job file as given
    std::string name;
    const ChipRow* chip = nullptr;
    std::string programFile;  // empty when the job writes no program
    std::string dataFile;     // empty when the job writes no data (an ELF program may still give some)
    std::string recordsFile;  // the job's own choice of record store; empty: the default
    bool erase = true;
    // Take the EEPROM's contents over the erase: read before, written back after (unless the
    // job writes data of its own).
    bool keepEeprom = false;
    std::vector<std::uint8_t> fuses;   // low first; empty: fuses are not written
    std::optional<std::uint8_t> lock;  // written last
    std::optional<SerialRule> serial;

    // The memories as the files give them, and which bytes they give (1 a byte): the serial
    // number is patched into a copy of these for every chip; only the given bytes are verified.
    bool writesProgram = false;
    bool writesData = false;
    std::vector<std::uint8_t> program, programCovered;
    std::vector<std::uint8_t> data, dataCovered;

    std::vector<NamedFile> files;  // the job file first
    std::string hash;              // SHA-256 over the digests of `files`, in hex
};

struct JobCheck {
    std::optional<Job> job;
    std::string error;  // "job.toml:7: serial.length: ..." when the job is refused
};

// Reads and checks the job file: every key known and of its type, the chip known, every file
// there and loading completely, the serial number fitting its field and lying on no byte the
// program or data gives. Touches nothing but the files.
JobCheck ReadJob(const std::string& path);

// Checks that the files of a job read earlier still hold what they held then; the error names
// the first that changed.
std::string CheckJobUnchanged(const Job& job);

// The job file's default record store: "<name>.records.sqlite" beside the job file.
std::string DefaultRecordsFile(const Job& job);

// "FF DE FD" (also with commas, "0x" prefixes) into bytes; nullopt when a piece is no hex byte.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(const std::string& text);

// SHA-256 of `bytes`, in lower-case hex.
std::string Sha256Hex(const std::string& bytes);

// Fuses given as a table of settings by field (`[fuses]` with `BODLEVEL = "2V7"` and so on).
// Until fuse fields are known by name, no reader is set and such a table is refused; a reader
// turns the settings into the chip's fuse bytes (low first), or says what is wrong with one.
struct FuseSetting {
    std::string field;
    std::string value;  // the setting as written: a string as is, numbers and booleans as text
    int line = 0;
};
using FuseTableReader = std::function<std::string(const ChipRow& chip, const std::vector<FuseSetting>& settings,
                                                  std::vector<std::uint8_t>& fuses)>;
void SetFuseTableReader(FuseTableReader reader);

}  // namespace quillon::production
