#include "gateway/PortFailureText.h"

#include <cerrno>
#include <cstring>
#include <optional>

#ifdef __linux__
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#endif

namespace quillon {

namespace {

std::string Reason(int error)
{
    return error != 0 ? std::string(": ") + std::strerror(error) : std::string();
}

#ifdef __linux__
std::string GroupName(gid_t gid)
{
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(gid);
}

// Whether the group database lists the user in `gid`, for the memberships a login takes up.
bool ListedInGroup(gid_t gid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* user = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &user) != 0 || user == nullptr) return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

bool InGroupNow(gid_t gid)
{
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Serial devices belong to a group (dialout on Debian, uucp elsewhere) whose members may open
// them; a user outside it is refused, and one added to it is refused until the next login.
std::optional<std::string> GroupAdvice(const std::string& devicePath)
{
    struct stat node {};
    if (::stat(devicePath.c_str(), &node) != 0 || node.st_gid == 0) return std::nullopt;
    if (InGroupNow(node.st_gid)) return std::nullopt;  // the group has no read and write right
    const std::string name = GroupName(node.st_gid);
    if (ListedInGroup(node.st_gid))
        return "The user was added to the group \"" + name + "\" that owns " + devicePath +
               " after this login began: log out and in again";
    return "Only members of the group \"" + name + "\" may open " + devicePath +
           ": add the user to it (sudo usermod -aG " + name + " $USER) and log in again";
}
#endif

}  // namespace

std::vector<std::string> WhyPortDidNotOpen(const std::string& devicePath, const OpenedPort& opened)
{
    std::vector<std::string> lines;
    switch (opened.failure) {
    case OpenFailure::None: break;
    case OpenFailure::InUse:
        lines.push_back("The port " + devicePath + " is in use by another program: close it there first");
        break;
    case OpenFailure::GetSettings:
        lines.push_back("Cannot read the line settings of " + devicePath + Reason(opened.systemError) +
                        " (is it a serial port?)");
        break;
    case OpenFailure::SetSettings:
        lines.push_back("Cannot set the line settings of " + devicePath + Reason(opened.systemError));
        break;
    case OpenFailure::NotAvailable:
        lines.push_back("Cannot open " + devicePath + Reason(opened.systemError));
#ifdef __linux__
        if (opened.systemError == EACCES || opened.systemError == EPERM)
            if (std::optional<std::string> advice = GroupAdvice(devicePath)) lines.push_back(std::move(*advice));
#endif
        break;
    }
    return lines;
}

std::string NoGatewayAnswered(const std::string& devicePath)
{
    return "No gateway answered on " + devicePath + ": is the Tavro plugged into this port and powered?";
}

}  // namespace quillon
