// Reading a file whole and writing one without ever destroying the old file on failure: the new
// content goes to a temporary file beside it, which replaces the old one only once complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Failure.h"

namespace quillon {

// Each of these gives no failure, or a File failure whose words name the file and the
// system's reason, e.g. "Error opening the file: prog.hex (No such file or directory)".

// No input file of ours is sanely larger; a larger one is refused before it is read.
inline constexpr std::uint64_t kLargestInputFile = std::uint64_t{64} << 20;

// Inputs must be regular files: a directory, FIFO or device is refused at once, without ever
// waiting in open() or read(), and so is a file larger than kLargestInputFile.

// Reads at most `limit` bytes from the start of the file into `head` and tells how many bytes the
// file holds in all.
Failure ReadFileHead(const std::string& path, std::size_t limit, std::string& head,
                        std::uint64_t& fileSize);

// Reads the whole file; a file larger than `limit` bytes is refused.
Failure ReadWholeFile(const std::string& path, std::string& contents,
                         std::size_t limit = kLargestInputFile);

// Replaces (or creates) the file with `data`. On any failure the file keeps its old content and
// no temporary file is left behind. An existing file's permissions carry over. A symbolic link
// is followed: what it points to is replaced, never the link; but a link in a sticky,
// world-writable folder (/tmp) owned by neither the user nor the folder's owner is refused, as
// the kernel refuses to follow one. A target that exists and is no
// regular file (a device, a FIFO, standard output through /dev/stdout) is written in place.
Failure WriteFileSafely(const std::string& path, std::string_view data);

}  // namespace quillon
