// One socket's production run: chip after chip, each checked, erased, written with its serial
// number, verified, fused, locked, read back and recorded. The run holds all its state itself, so
// several runs (one a gateway) can go on side by side, each with its own session.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "production/Job.h"
#include "production/RecordStore.h"

namespace quillon {
struct Session;
}

namespace quillon::production {

inline constexpr const char* kNoNumbersLeft = "no serial numbers left: the job's rule has given all its numbers";

// How one chip ended; Stopped means the run cannot go on (no chip was touched by this call).
enum class ChipEnding { Passed, Failed, Cancelled, Stopped };

struct ChipOutcome {
    ChipEnding ending = ChipEnding::Stopped;
    std::int64_t id = 0;  // the chip's row; 0 when Stopped
    std::optional<std::uint64_t> serial;
    std::string reason;  // why it failed, was cancelled or why the run stopped
    std::string fuses;   // as read back
    double seconds = 0;
    // The run must stop after this chip: its record could not be written, or the numbers ran out.
    std::string storeError;
};

class ProductionRun {
public:
    // `session` must outlive the run; its chip is selected here, its port opened per chip.
    ProductionRun(Session& session, const Job& job, RecordStore& store, std::string port);
    ~ProductionRun();
    ProductionRun(const ProductionRun&) = delete;
    ProductionRun& operator=(const ProductionRun&) = delete;

    // A step began (`done` false) or ended (`done` true, with `ok`); for a front end's events.
    std::function<void(std::int64_t chip, const std::string& step, bool done, bool ok)> onStep;
    // Every log line of the chip under way, as it is written.
    std::function<void(const std::string& line)> onLog;

    // Closes the rows a crashed run of this station left open. The error is empty on success.
    std::string Prepare();

    // Programs the chip in the socket now. Stays connected afterwards when `keepConnected`
    // (socket detection polls through one connection); otherwise the port is closed at the end.
    ChipOutcome ProgramChip(bool keepConnected = false);

    // A read of the socket's signature with the socket powered only for the read: for detecting
    // a chip put in. Nullopt when the gateway failed (`error` says why); 0 or 0xFFFFFF: empty.
    std::optional<std::int32_t> ReadSocket(std::string& error);
    static bool Empty(std::int32_t signature) { return signature == 0 || signature == 0xFFFFFF; }

    // The serial number the next chip would get (none without a rule or when run out).
    std::optional<std::uint64_t> NextSerial(std::string& error);

    void Disconnect();

    const Job& TheJob() const { return job_; }
    RecordStore& Store() { return store_; }

private:
    Session& session_;
    const Job& job_;
    RecordStore& store_;
    std::string port_;
    std::string station_;
    std::vector<std::string> chipLog_;
    std::int64_t chipId_ = 0;

    std::string EnsureConnected();
};

// One memory as a chip of the job gets it: the job's image with the serial number patched in, and
// the bytes to verify (those the job gives, the number's included). For the EEPROM, `keptEeprom`
// (what the chip held before its erase) fills the bytes the job does not give.
struct ChipImage {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> covered;
};
ChipImage ImageForChip(const Job& job, bool flash, std::optional<std::uint64_t> serial,
                       const std::vector<std::uint8_t>& keptEeprom = {});

// "1E 95 0F"
std::string SignatureHex(std::int32_t signature);

}  // namespace quillon::production
