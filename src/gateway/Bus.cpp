#include "gateway/Bus.h"

#include <chrono>
#include <thread>

namespace quillon {

void RealSleep(int milliseconds)
{
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void Bus::LogFailure(int index, std::string_view text)
{
    log.LogMessage(index, text);
    lastFailure_ = std::string(LogPrefix(index)) + std::string(text);
}

}  // namespace quillon
