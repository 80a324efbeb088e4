// The one connection to the gateway (Portfunctions): open with the handshake, send command
// packets, collect answers, close. Every failure is logged here or by the step that sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Failure.h"
#include "gateway/Commands.h"
#include "gateway/GatewayBacklog.h"
#include "gateway/Transport.h"

namespace quillon {

class Log;

// Device path for a port name: on Linux "/dev/..." as it stands, "COMn" as /dev/ttyS(n-1),
// "sim:..." and "serial:..." (an adapter's serial number, found when the port opens) as they
// stand, anything else under /dev/; on Windows "\\.\" and the name.
// Empty when the path would not fit the 100-byte device path buffer (terminator included).
std::optional<std::string> DevicePathFor(std::string_view portName);

class Link {
public:
    static constexpr std::chrono::milliseconds kAnswerBound{1000};
    // How long the line must stay quiet before a short answer counts as complete, or before the
    // stream counts as in step at the end of a command. A character takes 44 us at 250000 baud,
    // but a USB serial adapter hands bytes over in frames up to 16 ms apart, and splitting a
    // sound answer across two frames must not look like a fault.
    static constexpr std::chrono::milliseconds kQuietPause{20};

    Link(Log& log, PortOpener opener);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Opens, configures and handshakes. On failure logs the failure's line and the lines that
    // explain it (the system's reason, a group to join, a silent port), leaves the port closed
    // and gives a Port failure with those lines; logs nothing on success and gives no failure.
    quillon::Failure OpenPort(const std::string& devicePath);
    // Sends one packet. Bytes already waiting before it is sent belong to no answer: the stream is
    // out of step, which is logged, the port closed and the send failed.
    // `owedBytes` > 0 sends the packet with its answer in flight: that many bytes will come back
    // for it and are collected later, in the order of the packets, by ReadAnswer. While answers
    // are owed the bytes waiting are judged by ReadAnswer, which knows where each one ends.
    bool SendPacket(const Packet& packet, int owedBytes = 0);
    // Up to `count` bytes (at most 32) within about a second. Bytes waiting beyond the answer
    // mean the stream is out of step: logged, port closed, an empty answer.
    // When only the first `used` bytes matter, a gateway may answer short, with at least those:
    // whether it does, and how short, is learned on the first such answer of the connection
    // (which ends at a long pause once they are in), and only a gateway known to answer short
    // has its answers end at the first quiet pause after its length. Any other length (a whole
    // answer's bytes missing, a short one from a gateway that answers whole) is never data:
    // logged, port closed, an empty answer.
    // An answer collected while others are in flight behind it (or before it) must come whole:
    // only its full length says where the next one begins, so a short one is out of step too.
    Answer ReadAnswer(int count, int used);
    Answer ReadAnswer(int count) { return ReadAnswer(count, count); }
    // The end of a command: waits a quiet pause and fails like ReadAnswer when bytes came that
    // nobody asked for. True on a closed port (the command has failed already).
    bool ConfirmInStep();
    void ClosePort();
    // The end of the connection after a failure: drops what was received, sends the power-down
    // packet when that was asked for (a port that takes no more bytes is gone and skips it),
    // says so in the log, and closes. `why` (already logged) becomes the reason the port is
    // closed, also when it was closed before: a step tried on a closed port failed for it.
    void CloseAfterFailure(quillon::Failure why);
    // Why the port is closed after a failure: the failure a step or the link logged when it
    // closed it (kind Link). No failure while the port is open or was closed on purpose.
    const quillon::Failure& WhyClosed() const { return whyClosed_; }
    // Whether CloseAfterFailure switches the socket off. Off, a failure closes the port with the
    // socket as it was, and a failing command's trace is the qualified one (kept: docs/compatibility.md).
    void SetPowerDownOnFailure(bool on) { powerDownOnFailure_ = on; }
    bool IsOpen() const { return transport_ != nullptr; }
    // The device the last OpenPort opened or tried: the path it was given, or the device that an
    // adapter's identity (a serial number, a /dev/serial/ link) stood for then.
    const std::string& Device() const { return device_; }
    // Packets sent since the gateway last answered: 0 right after an answer came.
    std::uint64_t PacketsSinceAnswer() const { return sinceAnswer_; }
    // Answer bytes sent for and not collected yet.
    std::size_t Owed() const { return owed_; }
    // The port was closed because the answers were out of step (until the next OpenPort): the
    // answers taken before may hold each other's bytes.
    bool LostStep() const { return lostStep_; }

    void SetOpener(PortOpener opener) { opener_ = std::move(opener); }
    // How long an answer may take before it counts as missing: kAnswerBound unless a gateway
    // behind a slower link (a radio serial link, a remote serial server) needs more.
    void SetAnswerBound(std::chrono::milliseconds bound) { answerBound_ = bound; }

    // Answers in flight and the gateway's input (see GatewayBacklog). While answers are owed,
    // a packet waits until the model of the gateway says its input holds at most `bytes` with
    // it; 0 lets packets go at once, with nothing to stop the gateway's input overflowing.
    void SetInputBound(std::size_t bytes) { inputBound_ = bytes; }
    std::size_t InputBound() const { return inputBound_; }
    // Collects `count` owed answer bytes for a reader that can go back and read again. An answer
    // that does not come whole within the answer bound comes back short (count below `count`,
    // possibly 0) with nothing logged and the port open for Resync; bytes beyond those owed fail
    // as in ReadAnswer (logged, port closed, count 0).
    Answer CollectOwed(int count);
    // After answers went missing: waits until the line has been quiet for a pause, drops what
    // came and what is owed, brings the gateway's command reader back in step with probes and
    // checks that one more probe answers what the handshake's did. False, with nothing logged
    // and the port left open, when the gateway does not answer so.
    bool Resync();

private:
    // How long the line must stay quiet after the used bytes of the connection's first such
    // answer before it counts as short: long enough for a USB adapter's frames and a slow
    // line's gaps, as a late tail taken for a short answer would fail every later one.
    std::chrono::microseconds LearningPause() const;
    // `owed`: answer bytes still legitimately on their way (none while one packet at a time
    // waits for its answer; more with answers in flight).
    bool InStep(std::size_t queued, std::size_t owed);
    void WaitForInputRoom(std::size_t length);
    std::string Failure(int index, std::string_view text);
    // Logs each explaining line after the failure's own and adds it to the failure's words.
    std::string Explained(std::string failure, const std::vector<std::string>& explanation);

    Log& log_;
    PortOpener opener_;
    std::unique_ptr<Transport> transport_;
    std::string device_;
    std::uint64_t sinceAnswer_ = 0;
    std::chrono::milliseconds answerBound_ = kAnswerBound;
    std::size_t owed_ = 0;
    // Set when an answer was sent for while another was still owed; cleared once none is owed.
    // Until then every answer's end is known only by its length.
    bool inFlight_ = false;
    bool lostStep_ = false;
    quillon::Failure whyClosed_;
    bool powerDownOnFailure_ = false;
    // What the gateway does with answers of which only the first bytes are used, learned on the
    // first one of the connection: whole, or always this many bytes.
    bool answersLearned_ = false;
    std::optional<std::size_t> shortLength_;
    GatewayBacklog backlog_;
    std::size_t inputBound_ = GatewayBacklog::kInputBytes;
    std::optional<std::uint8_t> probeAnswer_;  // what the handshake's probe answered
};

// The opener for real serial ports (libserialport), with the gateway's line settings.
OpenedPort OpenSerialPort(const std::string& devicePath);

}  // namespace quillon
