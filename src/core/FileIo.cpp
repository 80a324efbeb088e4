#include "core/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quillon {

namespace {

namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FileStatus Failure(std::string_view what, const std::string& path, int error)
{
    return {false, std::string(what) + path + " (" + std::generic_category().message(error) + ")"};
}

FileStatus Failure(std::string_view what, const std::string& path, const std::string& reason)
{
    return {false, std::string(what) + path + " (" + reason + ")"};
}

constexpr std::uint64_t kCountLimit = std::uint64_t{1} << 30;

// A name beside the target that nobody else uses.
std::string TemporaryName(const fs::path& target)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::random_device random;
    std::string suffix = ".tmp-";
    for (int i = 0; i < 8; ++i) suffix += kDigits[random() & 0x0F];
    return target.string() + suffix;
}

}  // namespace

FileStatus ReadFileHead(const std::string& path, std::size_t limit, std::string& head,
                        std::uint64_t& fileSize)
{
    head.clear();
    fileSize = 0;
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) return Failure("Error opening the file: ", path, errno ? errno : ENOENT);

    std::error_code ec;
    if (fs::is_regular_file(path, ec)) {
        const auto size = fs::file_size(path, ec);
        if (!ec) head.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(size, limit)));
    }
    char buffer[65536];
    while (fileSize < kCountLimit) {
        errno = 0;
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        if (got == 0) break;
        if (head.size() < limit) head.append(buffer, std::min(got, limit - head.size()));
        fileSize += got;
    }
    if (std::ferror(file.get())) return Failure("Error reading the file: ", path, errno ? errno : EIO);
    return {};
}

FileStatus ReadWholeFile(const std::string& path, std::string& contents, std::size_t limit)
{
    std::uint64_t size = 0;
    FileStatus status = ReadFileHead(path, limit, contents, size);
    if (status && size > limit) {
        contents.clear();
        return Failure("Error reading the file: ", path,
                       "larger than " + std::to_string(limit >> 20) + " MiB");
    }
    return status;
}

FileStatus WriteFileSafely(const std::string& path, std::string_view data)
{
    std::error_code ec;
    fs::path target(path);
    // Replace what a link points to, not the link.
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::canonical(target, ec);
        if (!ec) target = resolved;
    }

    std::string temporary;
    FilePtr file;
    for (int attempt = 0; attempt < 8 && !file; ++attempt) {
        temporary = TemporaryName(target);
        errno = 0;
        file.reset(std::fopen(temporary.c_str(), "wbx"));  // x: never reuse an existing file
        if (!file && errno != EEXIST) break;
    }
    if (!file) return Failure("Error creating the file: ", path, errno ? errno : EACCES);

    auto discard = [&](FileStatus status) {
        file.reset();
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return status;
    };
    errno = 0;
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file.get()) != data.size())
        return discard(Failure("Error writing the file: ", path, errno ? errno : EIO));
    if (std::fflush(file.get()) != 0)
        return discard(Failure("Error writing the file: ", path, errno ? errno : EIO));
#ifndef _WIN32
    // The data must be on disk before the rename makes it the file.
    if (::fsync(::fileno(file.get())) != 0 && errno != EINVAL)
        return discard(Failure("Error writing the file: ", path, errno));
#endif
    std::FILE* raw = file.release();
    if (std::fclose(raw) != 0) return discard(Failure("Error writing the file: ", path, errno ? errno : EIO));

    if (fs::exists(target, ec)) {
        const fs::perms old = fs::status(target, ec).permissions();
        if (!ec) fs::permissions(temporary, old, ec);
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return Failure("Error creating the file: ", path, ec.message());
    }
    return {};
}

}  // namespace quillon
