// Running an outside tool (the srecord tools read the file formats independently of this
// program) on files a test wrote.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace quillon::test {

// The shell's exit status; what the tool prints goes to the test's output.
inline int RunTool(const std::string& command)
{
    return std::system((command + " 2>&1").c_str());
}

inline std::string Quoted(const std::filesystem::path& p)
{
    return "'" + p.string() + "'";
}

}  // namespace quillon::test
