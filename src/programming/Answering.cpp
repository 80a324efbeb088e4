#include "programming/Answering.h"

#include "gateway/Bus.h"
#include "gateway/Commands.h"
#include "gateway/Step.h"

namespace quillon {

bool ConfirmGatewayAnswers(Bus& bus)
{
    if (!bus.confirmAnswers || !bus.link.IsOpen() || bus.link.PacketsSinceAnswer() == 0) return true;
    // The texts of the ready poll, which sends the same command.
    if (!SendStep(bus, Packet{ReadPINC()}, " PINCRead")) return false;
    return ReadStep(bus, 1, " (PINC)").has_value();
}

}  // namespace quillon
