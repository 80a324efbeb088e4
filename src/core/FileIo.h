// Reading a file whole and writing one without ever destroying the old file on failure: the new
// content goes to a temporary file beside it, which replaces the old one only once complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// ok, or a message that names the file and the system's reason, e.g.
// "Error opening the file: prog.hex (No such file or directory)".
struct FileStatus {
    bool ok = true;
    std::string message;
    explicit operator bool() const { return ok; }
};

// Reads at most `limit` bytes from the start of the file into `head` and tells how many bytes the
// file holds in all (counted up to 1 GiB for files that never end, such as devices).
FileStatus ReadFileHead(const std::string& path, std::size_t limit, std::string& head,
                        std::uint64_t& fileSize);

// Reads the whole file; a file larger than `limit` bytes is refused.
FileStatus ReadWholeFile(const std::string& path, std::string& contents,
                         std::size_t limit = std::size_t{64} << 20);

// Replaces (or creates) the file with `data`. On any failure the file keeps its old content and
// no temporary file is left behind. An existing file's permissions carry over.
FileStatus WriteFileSafely(const std::string& path, std::string_view data);

}  // namespace quillon
