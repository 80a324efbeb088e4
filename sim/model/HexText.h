// Hexadecimal wording of bytes and addresses in the simulator's notes.
#pragma once

#include <cstdio>
#include <string>

namespace quillon::sim {

inline std::string Hex2(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
    return buf;
}

inline std::string HexAddr(unsigned v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%05X", v);
    return buf;
}

}  // namespace quillon::sim
