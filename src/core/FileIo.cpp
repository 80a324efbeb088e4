#include "core/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quillon {

namespace {

namespace fs = std::filesystem;

#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

Failure Refused(std::string_view what, const std::string& path, int error)
{
    return quillon::Failure(FailureKind::File, std::string(what) + path + " (" + std::generic_category().message(error) + ")");
}

Failure Refused(std::string_view what, const std::string& path, const std::string& reason)
{
    return quillon::Failure(FailureKind::File, std::string(what) + path + " (" + reason + ")");
}

// A descriptor that closes itself.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Reset(int fd)
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and tells whether the close reported an error (a write that failed late).
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_ = -1;
};

// Why a file of this type is no input file; empty for a regular file.
std::string NotARegularFile(unsigned mode)
{
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return std::generic_category().message(EISDIR);
#ifdef S_ISFIFO
    if (S_ISFIFO(mode)) return "a FIFO, not a regular file";
#endif
    if (S_ISCHR(mode)) return "a device, not a regular file";
    return "not a regular file";
}

// Opens an input without waiting: O_NONBLOCK keeps open() of a FIFO from waiting for a writer,
// and whatever is no regular file, or is larger than `limit`, is refused before the first read.
Failure OpenInput(const std::string& path, std::uint64_t limit, Descriptor& fd, std::uint64_t& size)
{
    errno = 0;
    fd.Reset(::open(path.c_str(), O_RDONLY | O_BINARY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) return Refused("Error opening the file: ", path, errno ? errno : ENOENT);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return Refused("Error reading the file: ", path, errno ? errno : EIO);
    if (std::string why = NotARegularFile(static_cast<unsigned>(st.st_mode)); !why.empty())
        return Refused("Error reading the file: ", path, why);
    size = static_cast<std::uint64_t>(st.st_size);
    if (size > limit)
        return Refused("Error reading the file: ", path, "larger than " + std::to_string(limit >> 20) + " MiB");
    return {};
}

// Reads up to `limit` bytes into `out`; a regular file never blocks, whatever the flags.
Failure ReadUpTo(int fd, const std::string& path, std::size_t limit, std::string& out)
{
    char buffer[65536];
    while (out.size() < limit) {
        errno = 0;
        const auto want = static_cast<unsigned>(std::min(sizeof buffer, limit - out.size()));
        const auto got = ::read(fd, buffer, want);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return Refused("Error reading the file: ", path, errno ? errno : EIO);
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return {};
}

Failure WriteAll(int fd, const std::string& path, std::string_view data)
{
    while (!data.empty()) {
        errno = 0;
        const auto n = ::write(fd, data.data(), static_cast<unsigned>(std::min<std::size_t>(data.size(), 1u << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Refused("Error writing the file: ", path, errno ? errno : EIO);
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

// A name beside the target that nobody else uses.
std::string TemporaryName(const fs::path& target)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::random_device random;
    std::string suffix = ".tmp-";
    for (int i = 0; i < 8; ++i) suffix += kDigits[random() & 0x0F];
    return target.string() + suffix;
}

struct OutputTarget {
    fs::path path;         // what is replaced: the end of any chain of symbolic links
    bool inPlace = false;  // written through the name as it stands, never replaced
    std::string refused;   // why the name must not be followed; empty when it may
};

// A link in a sticky, world-writable folder (/tmp) that neither we nor the folder's owner made:
// anyone may have planted it there to have our save overwrite a file of ours. The kernel refuses
// to follow such a link itself (protected symlinks); since the links are followed here by hand,
// the same rule is applied here. Empty when the link may be followed.
std::string PlantedLink(const fs::path& link)
{
#ifdef _WIN32
    (void)link;
    return {};
#else
    struct stat linkStat {};
    struct stat folderStat {};
    const fs::path folder = link.has_parent_path() ? link.parent_path() : fs::path(".");
    if (::lstat(link.string().c_str(), &linkStat) != 0 || ::stat(folder.string().c_str(), &folderStat) != 0)
        return {};
    const bool shared = (folderStat.st_mode & S_ISVTX) != 0 && (folderStat.st_mode & S_IWOTH) != 0;
    if (!shared || linkStat.st_uid == ::geteuid() || linkStat.st_uid == folderStat.st_uid) return {};
    return "a symbolic link of another user in the shared folder " + folder.string() + "; not followed";
#endif
}

// Follows the links one by one, so that a link to a file not yet there still names the file to
// create. A link into /proc (/dev/stdout, /dev/fd/N) stands for an open descriptor: it is
// written in place, whatever it leads to.
OutputTarget ResolveOutput(const std::string& path)
{
    OutputTarget out{fs::path(path), false, {}};
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(out.path, ec); ++hops) {
        if (std::string why = PlantedLink(out.path); !why.empty()) {
            out.refused = std::move(why);
            return out;
        }
        fs::path next = fs::read_symlink(out.path, ec);
        if (ec) break;
        if (next.is_relative()) next = out.path.parent_path() / next;
        if (next.string().rfind("/proc/", 0) == 0) return {fs::path(path), true, {}};
        out.path = next;
    }
    struct stat st {};
    if (::stat(out.path.string().c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        out.inPlace = true;
    return out;
}

Failure WriteInPlace(const std::string& path, std::string_view data)
{
    // O_NONBLOCK: a FIFO nobody reads fails at once (ENXIO) instead of waiting for ever.
    errno = 0;
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_BINARY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_APPEND));
    if (!fd && errno == ENXIO) return Refused("Error creating the file: ", path, "a FIFO nobody reads from");
    if (!fd) return Refused("Error creating the file: ", path, errno ? errno : EACCES);
#ifndef _WIN32
    // Once open, a slow reader is waited for like any writer would.
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags >= 0) (void)::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
#endif
    if (Failure status = WriteAll(fd.Get(), path, data); status.Failed()) return status;
    if (!fd.Close()) return Refused("Error writing the file: ", path, errno ? errno : EIO);
    return {};
}

}  // namespace

Failure ReadFileHead(const std::string& path, std::size_t limit, std::string& head,
                        std::uint64_t& fileSize)
{
    head.clear();
    fileSize = 0;
    Descriptor fd;
    if (Failure status = OpenInput(path, kLargestInputFile, fd, fileSize); status.Failed()) return status;
    head.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, limit)));
    if (Failure status = ReadUpTo(fd.Get(), path, limit, head); status.Failed()) {
        head.clear();
        return status;
    }
    // A file that grew while it was read holds at least what came.
    fileSize = std::max<std::uint64_t>(fileSize, head.size());
    return {};
}

Failure ReadWholeFile(const std::string& path, std::string& contents, std::size_t limit)
{
    contents.clear();
    Descriptor fd;
    std::uint64_t size = 0;
    if (Failure status = OpenInput(path, std::min<std::uint64_t>(limit, kLargestInputFile), fd, size); status.Failed())
        return status;
    contents.reserve(static_cast<std::size_t>(size));
    // One byte over the limit tells a file that grew past it while being read.
    if (Failure status = ReadUpTo(fd.Get(), path, limit + 1, contents); status.Failed()) {
        contents.clear();
        return status;
    }
    if (contents.size() > limit) {
        contents.clear();
        return Refused("Error reading the file: ", path, "larger than " + std::to_string(limit >> 20) + " MiB");
    }
    return {};
}

Failure WriteFileSafely(const std::string& path, std::string_view data)
{
    const OutputTarget target = ResolveOutput(path);
    if (!target.refused.empty()) return Refused("Error creating the file: ", path, target.refused);
    if (target.inPlace) return WriteInPlace(path, data);

    std::string temporary;
    Descriptor file;
    for (int attempt = 0; attempt < 8 && !file; ++attempt) {
        temporary = TemporaryName(target.path);
        errno = 0;
        // O_EXCL: never reuse an existing file.
        file.Reset(::open(temporary.c_str(), O_WRONLY | O_BINARY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!file && errno != EEXIST) break;
    }
    if (!file) return Refused("Error creating the file: ", path, errno ? errno : EACCES);

    auto discard = [&](Failure status) {
        file.Reset(-1);
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return status;
    };
    if (Failure status = WriteAll(file.Get(), path, data); status.Failed()) return discard(status);
#ifndef _WIN32
    // The data must be on disk before the rename makes it the file.
    if (::fsync(file.Get()) != 0 && errno != EINVAL)
        return discard(Refused("Error writing the file: ", path, errno));
#endif
    if (!file.Close()) return discard(Refused("Error writing the file: ", path, errno ? errno : EIO));

    std::error_code ec;
    if (fs::exists(target.path, ec)) {
        const fs::perms old = fs::status(target.path, ec).permissions();
        if (!ec) fs::permissions(temporary, old, ec);
    }
    fs::rename(temporary, target.path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return Refused("Error creating the file: ", path, ec.message());
    }
    return {};
}

}  // namespace quillon
