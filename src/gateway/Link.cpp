#include "gateway/Link.h"

#include <array>
#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "gateway/PortFailureText.h"
#include "gateway/PortIdentity.h"
#include "log/Log.h"

namespace quillon {

namespace {

constexpr std::size_t kDevicePathBuffer = 100;  // bytes, terminator included

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// "COM12" -> 12; 0 when the name is not COM followed by a decimal number.
int ComNumber(std::string_view name)
{
    if (name.size() < 4 || name.size() > 8) return 0;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    int n = 0;
    for (char c : name.substr(3)) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

std::optional<std::string> DevicePathFor(std::string_view portName)
{
    std::string path;
#ifdef _WIN32
    path = "\\\\.\\" + std::string(portName);
#else
    if (StartsWith(portName, "/") || StartsWith(portName, "sim:") || StartsWith(portName, kSerialNumberPrefix))
        path = std::string(portName);
    else if (int n = ComNumber(portName); n > 0)
        path = "/dev/ttyS" + std::to_string(n - 1);
    else
        path = "/dev/" + std::string(portName);
#endif
    if (portName.empty() || path.size() + 1 > kDevicePathBuffer) return std::nullopt;
    return path;
}

Link::Link(Log& log, PortOpener opener) : log_(log), opener_(std::move(opener)) {}

Link::~Link() = default;

std::string Link::Failure(int index, std::string_view text)
{
    log_.LogMessage(index, text);
    return std::string(LogPrefix(index)) + std::string(text);
}

std::string Link::Explained(std::string failure, const std::vector<std::string>& explanation)
{
    for (const std::string& line : explanation) {
        log_.LogMessage(LogText, line);
        failure += '\n' + line;
    }
    return failure;
}

quillon::Failure Link::OpenPort(const std::string& devicePath)
{
    ClosePort();
    lostStep_ = false;
    auto failed = [](std::string words) { return quillon::Failure(FailureKind::Port, std::move(words)); };
    // An adapter named by its identity is looked up at every opening, so a replug between two
    // connections finds it under its new device name.
    device_ = devicePath;
    if (IsPortIdentity(devicePath)) {
        PortResolution found = ResolvePortIdentity(devicePath);
        if (!found.device) return failed(Explained(Failure(LogPortNotAvailable, ""), found.why));
        device_ = *found.device;
    }
    OpenedPort opened = opener_ ? opener_(device_) : OpenedPort{nullptr, OpenFailure::NotAvailable};
    if (!opened.transport) {
        int index = LogPortNotAvailable;
        if (opened.failure == OpenFailure::GetSettings) index = LogGetParams;
        if (opened.failure == OpenFailure::SetSettings) index = LogSetParams;
        return failed(Explained(Failure(index, ""), WhyPortDidNotOpen(device_, opened)));
    }
    transport_ = std::move(opened.transport);
    // Until the handshake is answered nothing says the other end is a gateway at all, nor that
    // this connection powered anything: a failed handshake sends it nothing more.
    const bool powerDown = std::exchange(powerDownOnFailure_, false);
    struct Restore {
        bool& flag;
        bool value;
        ~Restore() { flag = value; }
    } restore{powerDownOnFailure_, powerDown};

    // The handshake: three packets back to back, then one answer byte whose value is not ours
    // to judge. The third send reports the second's text: log parsers match that line (kept: docs/compatibility.md).
    struct HandshakeStep {
        Packet packet;
        std::string_view failText;
    };
    const HandshakeStep steps[] = {
        {Packet{HandshakeSetup()}, " 0x0A 0x08 0x00"},
        {Packet{HandshakeMode()}, " 0x1E"},
        {Packet{HandshakeProbe()}, " 0x1E"},
    };
    for (const auto& step : steps) {
        if (!SendPacket(step.packet)) {
            std::string failure = Failure(LogExecError, step.failText);
            ClosePort();
            return failed(failure);
        }
    }
    backlog_.Reset();
    const Answer probe = ReadAnswer(1);
    if (probe.count > 0) probeAnswer_ = probe.data[0];
    if (probe.count == 0) {
        std::string failure = Failure(LogAnswerError, " (PINB)");
        ClosePort();
        // Bytes did come, more than the one asked for: something answers, so "nobody there"
        // would send the user looking at the cable instead of at what else talks on the port.
        if (lostStep_)
            return failed(Explained(std::move(failure),
                                    {"The device on " + devicePath +
                                     " answered the handshake with more bytes than the gateway sends: is this the "
                                     "Tavro's port, and is no other program using it?"}));
        // Nothing answered at all, so the bytes went nowhere that speaks the protocol.
        return failed(Explained(std::move(failure), {NoGatewayAnswered(devicePath)}));
    }
    return {};
}

bool Link::SendPacket(const Packet& packet, int owedBytes)
{
    if (!transport_ || packet.length < 1 || packet.length > 32 || owedBytes < 0 || owedBytes > 32) return false;
    // Cheap enough for every packet (one look at the input queue), and it catches bytes that
    // came after the previous answer had been taken.
    if (owed_ == 0 && !InStep(transport_->Queued(), 0)) return false;
    if (owed_ > 0 && inputBound_ > 0) WaitForInputRoom(packet.length);
    // The bytes start on their way somewhere between the two clock readings: a port that
    // returns only once they are out took at least their line time, and a program held up
    // before its write (a busy machine) wrote them later than it looked. The later of the two
    // bounds keeps the gateway's input from looking emptier than it may be.
    const auto before = transport_->Now();
    if (!transport_->Write(packet.Bytes())) return false;
    const auto writing = std::max(before, transport_->Now() - GatewayBacklog::LineTime(packet.length));
    backlog_.Sent(packet.length, static_cast<std::size_t>(owedBytes), writing);
    ++sinceAnswer_;
    if (owedBytes > 0) {
        if (owed_ > 0) inFlight_ = true;
        owed_ += static_cast<std::size_t>(owedBytes);
    }
    return true;
}

Answer Link::ReadAnswer(int count, int used)
{
    Answer answer;
    if (!transport_) return answer;
    const auto wanted = static_cast<std::size_t>(std::clamp(count, 0, 32));
    const auto needed = static_cast<std::size_t>(std::clamp(used, 0, count));
    const std::span buffer(answer.data.data(), wanted);
    const bool whole = inFlight_;
    const bool mayBeShort = needed < wanted && !whole;
    std::size_t got = 0;
    if (!mayBeShort || (answersLearned_ && !shortLength_))
        got = transport_->Read(buffer, answerBound_);
    else if (answersLearned_)
        got = transport_->ReadUntilPause(buffer, std::min(*shortLength_, wanted), answerBound_, kQuietPause);
    else
        got = transport_->ReadUntilPause(buffer, needed, answerBound_, LearningPause());
    answer.count = static_cast<std::int32_t>(got);
    owed_ -= std::min(owed_, wanted);
    if (owed_ == 0) inFlight_ = false;
    if (whole && answer.count > 0 && static_cast<std::size_t>(answer.count) < wanted) {
        // Its missing bytes may be the next answer's first ones, or still on their way: no later
        // answer can be matched to its packet any more.
        const std::string line = "The gateway answered " + std::to_string(answer.count) + " of " +
                                 std::to_string(wanted) +
                                 " bytes while more answers were on their way: the answers are out of step";
        log_.LogMessage(LogText, line);
        lostStep_ = true;
        CloseAfterFailure({FailureKind::Link, line});
        answer.count = 0;
        return answer;
    }
    if (mayBeShort && got > 0 && got < wanted) {
        // Only the gateway's own short length is an answer; anything else lost a byte on the way
        // or has its tail still coming, and its bytes are not where the instruction put them.
        const bool ownLength = answersLearned_ ? shortLength_ == got : got >= needed;
        if (!ownLength) {
            const std::string line = "The gateway answered " + std::to_string(got) + " of " + std::to_string(wanted) +
                                     " bytes: an incomplete answer is not used";
            log_.LogMessage(LogText, line);
            lostStep_ = true;
            CloseAfterFailure({FailureKind::Link, line});
            answer.count = 0;
            return answer;
        }
        answersLearned_ = true;
        shortLength_ = got;
    } else if (mayBeShort && got == wanted) {
        answersLearned_ = true;
    }
    // Only what has already arrived is looked at: waiting here for late bytes would cost every
    // answer a pause. Late ones are caught before the next packet or at the end of the command.
    if (!InStep(transport_->Queued(), owed_)) answer.count = 0;
    if (answer.count > 0) sinceAnswer_ = 0;
    return answer;
}

std::chrono::microseconds Link::LearningPause() const
{
    return std::max<std::chrono::microseconds>(kQuietPause, answerBound_ / 4);
}

bool Link::ConfirmInStep()
{
    if (!transport_) return true;
    return InStep(transport_->Queued(kQuietPause), owed_);
}

bool Link::InStep(std::size_t queued, std::size_t owed)
{
    if (queued <= owed) return true;
    const std::size_t extra = queued - owed;
    const std::string line = "The gateway sent " + std::to_string(extra) + (extra == 1 ? " byte" : " bytes") +
                             " more than asked: the answers are out of step";
    log_.LogMessage(LogText, line);
    // Whatever is queued can no longer be matched to a packet: drop it with the port.
    lostStep_ = true;
    CloseAfterFailure({FailureKind::Link, line});
    return false;
}

void Link::CloseAfterFailure(quillon::Failure why)
{
    if (!transport_) {
        whyClosed_ = std::move(why);
        return;
    }
    transport_->DiscardInput();
    // Both supplies off, +12 V first, as every command ends: the gateway is usually still there
    // when an answer came late, short or doubled, and the chip must not stay at +12 V.
    if (powerDownOnFailure_ && transport_->Write(Packet{SetPORTC(0x00), SetDDRC(0x32)}.Bytes()))
        log_.LogMessage(LogText, "The gateway was told to switch the socket off before the port closed");
    ClosePort();
    whyClosed_ = std::move(why);
}

void Link::ClosePort()
{
    transport_.reset();
    whyClosed_ = {};
    // Nothing more can come for the answers in flight, and the next connection may be another gateway.
    owed_ = 0;
    inFlight_ = false;
    answersLearned_ = false;
    shortLength_.reset();
}

}  // namespace quillon

namespace quillon {

void Link::WaitForInputRoom(std::size_t length)
{
    const auto wait = backlog_.WaitBefore(length, inputBound_, transport_->Now());
    if (wait > GatewayBacklog::Clock::duration::zero()) transport_->WaitFor(wait);
}

Answer Link::CollectOwed(int count)
{
    Answer answer;
    if (!transport_) return answer;
    const auto wanted = static_cast<std::size_t>(std::clamp(count, 0, 32));
    answer.count = static_cast<std::int32_t>(transport_->Read(std::span(answer.data.data(), wanted), answerBound_));
    if (static_cast<std::size_t>(answer.count) < wanted) return answer;
    owed_ -= std::min(owed_, wanted);
    if (owed_ == 0) inFlight_ = false;
    if (!InStep(transport_->Queued(), owed_)) {
        answer.count = 0;
        return answer;
    }
    sinceAnswer_ = 0;
    return answer;
}

bool Link::Resync()
{
    if (!transport_) return false;
    // Whatever the gateway still sends belongs to no answer that can be matched any more.
    // Waiting runs on the gateway's clock, so a simulated one carries out what it still holds.
    const auto quietBound = transport_->Now() + answerBound_;
    do {
        transport_->DiscardInput();
        transport_->WaitFor(kQuietPause);
    } while (transport_->Queued() > 0 && transport_->Now() < quietBound);
    transport_->DiscardInput();
    owed_ = 0;
    inFlight_ = false;
    backlog_.Reset();
    // A lost byte may have left the gateway waiting for the arguments of a command, at most 4:
    // of five probes at least one is read as a command and answers, unless nothing answers.
    const Packet fill{HandshakeProbe(), HandshakeProbe(), HandshakeProbe(), HandshakeProbe(), HandshakeProbe()};
    std::array<std::uint8_t, 8> drop{};
    if (!transport_->Write(fill.Bytes()) || transport_->ReadUntilPause(drop, 1, answerBound_, kQuietPause) == 0)
        return false;
    transport_->DiscardInput();
    // In step now: one probe answers exactly as at the handshake, and nothing after it.
    std::array<std::uint8_t, 2> answer{};
    const Packet probe{HandshakeProbe()};
    if (!transport_->Write(probe.Bytes()) || transport_->ReadUntilPause(answer, 1, answerBound_, kQuietPause) != 1 ||
        (probeAnswer_ && answer[0] != *probeAnswer_))
        return false;
    sinceAnswer_ = 0;
    return true;
}

}  // namespace quillon
