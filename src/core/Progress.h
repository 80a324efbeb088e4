// The progress window as the core sees it: created by a command, moved from 0 to 100, freed on
// every way out. The window and the command line implement it; nullptr in the context means none.
#pragma once

namespace quillon {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void Create() = 0;
    virtual void SetPosition(int percent) = 0;  // 0 to 100
    virtual void Free() = 0;
};

}  // namespace quillon
