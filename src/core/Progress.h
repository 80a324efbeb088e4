// The progress window as the core sees it: created by a command, moved from 0 to 100, freed on
// every way out. The window and the command line implement it; nullptr in the context means none.
#pragma once

#include <cstdint>

namespace quillon {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void Create() = 0;
    virtual void SetPosition(int percent) = 0;  // 0 to 100
    virtual void Free() = 0;
    // How far a command is, in its own units (bytes of a memory, lines of a file), for sinks
    // that tell the rate and the time left; `percent` is what SetPosition would get.
    virtual void SetCount(std::uint32_t /*done*/, std::uint32_t /*total*/, int percent) { SetPosition(percent); }
};

}  // namespace quillon
