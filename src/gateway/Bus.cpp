#include "gateway/Bus.h"

#include <chrono>
#include <thread>

namespace quillon {

void RealSleep(int milliseconds)
{
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace quillon
