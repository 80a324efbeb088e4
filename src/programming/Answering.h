// Proof that the gateway still answers, for step sequences that send and never read: a gateway
// that stopped answering with the line still open would otherwise go unnoticed.
#pragma once

namespace quillon {

class Bus;

// When the bus asks for the proof and packets went out since the gateway last answered: one
// ReadPINC, the cheapest command with an answer, whose value nobody judges. A missing answer
// fails as any other does ("Error reading the answer (PINC)", port closed): false. True at once
// when nothing needs proving.
bool ConfirmGatewayAnswers(Bus& bus);

}  // namespace quillon
