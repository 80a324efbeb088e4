// Chip results that a record store on a server could not take when the chip was done: kept on
// this station until the server is back, so a chip is never left without its record.
//
// One SQLite file in the user's data folder ($XDG_DATA_HOME/quillon, else ~/.local/share/quillon),
// not beside the job: the job's folder is often a share that several stations read, or one the
// operator may not write, and what is kept belongs to this station's runs. SQLite rather than a
// plain file, because each result is written in one synced transaction (a power cut leaves it
// whole or absent) and a result sent is taken out without rewriting the rest.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "production/RecordStore.h"

namespace quillon::production {

class UnsentRecords {
public:
    explicit UnsentRecords(std::filesystem::path file = DefaultFile()) : file_(std::move(file)) {}

    static std::filesystem::path DefaultFile();
    const std::filesystem::path& File() const { return file_; }

    struct Kept {
        std::int64_t id = 0;  // the chip's row in the store
        ChipEnd end;
    };

    // Keeps a chip's result for the store at `store` (its Location()); replaces one kept before for
    // the same row. False with `error` when it could not be written.
    bool Keep(const std::string& store, std::int64_t id, const ChipEnd& end, std::string& error);
    // The results kept for `store`, oldest first; none (without making the file) when there is none.
    std::vector<Kept> For(const std::string& store, std::string& error) const;
    // Takes out a result the store has taken.
    bool Forget(const std::string& store, std::int64_t id, std::string& error);

private:
    std::filesystem::path file_;
};

}  // namespace quillon::production
