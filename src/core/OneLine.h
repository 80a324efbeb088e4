#pragma once
// A failure's words as one line, for places that show one line a chip or a command: the log's
// lines, "; "-joined, without their indent.

#include <string>

namespace quillon {

inline std::string OneLine(const std::string& words)
{
    std::string line;
    std::size_t from = 0;
    while (from <= words.size()) {
        std::size_t to = words.find('\n', from);
        if (to == std::string::npos) to = words.size();
        std::string part = words.substr(from, to - from);
        part.erase(0, part.find_first_not_of(' '));
        if (!part.empty()) line += (line.empty() ? "" : "; ") + part;
        from = to + 1;
    }
    return line;
}

}  // namespace quillon
