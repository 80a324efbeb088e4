// One socket's production run: chip after chip, each checked, erased, written with its serial
// number, verified, fused, locked, read back and recorded. The run holds all its state itself, so
// several runs (one a gateway) can go on side by side, each with its own session.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "production/Job.h"
#include "production/RecordStore.h"
#include "production/UnsentRecords.h"

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
    // The failure closed the gateway's port (unplugged, silent, out of step) or the port would
    // not open: the socket can program no more chips, unlike after a chip that only failed.
    bool gatewayLost = false;
};

// Why a socket stops after `outcome` when its gateway was lost; empty when it was not.
std::string GatewayLostReason(const ChipOutcome& outcome);

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
    // What the operator must know about the record store: it cannot be reached and the run waits
    // for it, it is back, a chip's record is kept on this station until it is back, or was sent.
    std::function<void(const std::string& line)> onNotice;

    // While a store on a server cannot be reached, the run waits for it and tries again this often.
    // A new chip needs a number only that store may give, so no chip is begun without it; the
    // operator ends the wait with Ctrl-C (the session's cancel).
    std::chrono::milliseconds storeRetry{2000};
    // How the operator ends that wait, in the front end's words.
    std::string howToStop = "Ctrl-C ends the run";
    // Where the results the store could not take are kept until it is back.
    void SetUnsentRecords(UnsentRecords unsent) { unsent_ = std::move(unsent); }

    // Sends the records a run before kept on this station while the store was away, then closes
    // the rows a crashed run of this station left open. The error is empty on success.
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

    UnsentRecords unsent_;
    bool keptAny_ = false;  // results may wait in unsent_ for this store

    std::string EnsureConnected();
    void Notice(const std::string& line);
    // Runs `attempt` (false with `error` set on failure) until it succeeds, fails for another
    // reason than an unreachable store, or the operator stops the run while it waits.
    template <class Attempt>
    bool UntilStoreAnswers(Attempt attempt, std::string& error);
    // Sends the kept results; false with `error` when the store failed.
    bool SendKept(std::string& error);
    // The chip's result to the store, or kept here when the store cannot be reached; a text for
    // the outcome's storeError when neither worked.
    std::string Record(std::int64_t id, const ChipEnd& end);
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
