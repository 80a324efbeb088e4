// How many bytes may be waiting, not yet executed, in the gateway's input while commands are
// sent ahead of their answers.
//
// The gateway has no flow control and, as far as anyone knows, an input buffer that holds one
// command packet of 32 bytes whole. A byte arriving while it is full is lost, and as commands
// are not framed, the gateway then reads the bytes after it as other commands: a read could come
// back with wrong bytes and nothing to show it. So reads in flight are paced by a model of the
// gateway instead of by the number of reads:
//
// - the bytes of a packet reach the gateway at line speed (44 us a byte at 250000 baud, 8N2)
//   from the moment the program writes them, behind the bytes still on the line;
// - the gateway takes a packet out of its input once all its bytes are in and it is done with
//   the one before, and is then busy for the line time of its answer: it sends its answer before
//   it reads on. So from its first byte arriving a command takes the line time of its bytes plus
//   its answer, and a TX-bound one (an 8-byte SPI read-back) falls behind while a packet that
//   ends in ReadPINB keeps pace.
//
// The model knows nothing of long pulses; the reads it paces have none, and it starts afresh
// when the link does. It assumes the gateway is at worst kLag behind it: a USB adapter forwards
// what the program writes in 1 ms frames, so bytes written a moment apart may arrive together.
// A packet counts as waiting until kLag after the model has the gateway take it. At 1 ms that
// still lets a stream of parallel reads (short packets, 1-byte answers) fill the line.
//
// A stream of serial reads (7 bytes out, 8 back) keeps the gateway busy sending answers, and a
// program that paced it at exactly the gateway's pace would never let it make up for a packet
// that came late: the gateway would stay that far behind for the rest of the read, and the next
// late packet would find it fuller still. So the model gives every answer 1/32 more than its
// line time: a gateway that fell behind catches up (a millisecond in about ninety reads), and
// one a hair slower than the line (a few cycles between bytes) never drifts into a loss.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>

namespace quillon {

class GatewayBacklog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::nanoseconds kByteTime{44000};
    static constexpr std::size_t kInputBytes = 32;  // what the gateway is known to hold
    static constexpr std::chrono::microseconds kLag{1000};
    static constexpr int kAnswerSlack = 32;  // an answer is given 1/kAnswerSlack more than its line time

    // How long the line takes to carry `bytes` bytes.
    static Clock::duration LineTime(std::size_t bytes)
    {
        return std::chrono::duration_cast<Clock::duration>(kByteTime * static_cast<long long>(bytes));
    }

    // A packet of `length` bytes went out at `at`, owing `answerBytes` bytes of answer.
    void Sent(std::size_t length, std::size_t answerBytes, Clock::time_point at);
    // The bytes that could be waiting in the gateway's input once a packet of `length` bytes,
    // sent at `at`, is all in.
    std::size_t WaitingWith(std::size_t length, Clock::time_point at) const;
    // How long from `now` until a packet of `length` bytes can go with at most `bound` bytes
    // waiting; zero when it can go at once.
    Clock::duration WaitBefore(std::size_t length, std::size_t bound, Clock::time_point now) const;
    void Reset();

private:
    struct Waiting {
        std::size_t length;
        Clock::time_point taken;  // when the model has the gateway take it out of its input
    };
    std::deque<Waiting> waiting_;
    Clock::time_point lineFree_{};     // when the line has carried every byte sent so far
    Clock::time_point gatewayFree_{};  // when the gateway is done with every packet sent so far
};

}  // namespace quillon
