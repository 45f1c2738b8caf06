#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvane {

// Cuts the byte stream of one TCP connection into DNS messages. On the wire
// each message follows its length, two bytes with the high byte first
// (RFC 1035, 4.2.2; RFC 7766, 8). Bytes may arrive split anywhere and several
// messages may come in one read: the framer joins and cuts them, and holds
// at most one incomplete message, prefix included, so what a connection can
// make it keep is bounded by MaxHeldBytes. A length below a DNS header (0 to
// 11) is malformed: nothing on that connection can be trusted after it, and
// the framer reports Malformed from then on until reset.
//
// No sockets, no allocation beyond the one held message; one per connection.
class StreamFramer {
public:
    static constexpr std::size_t PrefixLength = 2;
    static constexpr std::size_t MaxMessageLength = 65535;
    static constexpr std::size_t MaxHeldBytes = PrefixLength + MaxMessageLength;

    enum class Status { NeedMore, Message, Malformed };

    struct Step {
        Status status = Status::NeedMore;
        // How many bytes of the input this step took: all of it for NeedMore;
        // up to the end of the message for Message.
        std::size_t consumed = 0;
        // Message only: the message without its prefix, writable so a path
        // can rewrite its ID in place. It lies in the caller's input when the
        // whole message was there, else in the framer; either way it is valid
        // until the next call of next() or reset() (and the input's own life).
        std::span<std::uint8_t> message;
    };

    // Takes bytes from input up to the end of the next complete message. The
    // caller goes on with input.subspan(step.consumed) until it is empty or
    // a step is not Message. Throws std::bad_alloc only when the first bytes
    // of a split message cannot be held (at most MaxHeldBytes).
    Step next(std::span<std::uint8_t> input);

    bool malformed() const { return malformed_; }
    // Bytes of an incomplete message held, prefix included: not 0 while a
    // client is in the middle of a message.
    std::size_t held() const { return delivered_ ? 0 : held_.size(); }
    // Forgets what is held and any error, for a new connection.
    void reset();

private:
    Step fail(std::size_t consumed);
    Step takeSplit(std::span<std::uint8_t> input);
    void dropHeld();

    std::vector<std::uint8_t> held_;
    bool delivered_ = false;  // held_ is a message handed out; drop it next time
    bool malformed_ = false;
};

// Writes the two-byte prefix for a message of length bytes into out. False,
// and nothing written, when a peer could not take such a message (a length
// outside 12 to 65,535).
bool writeLengthPrefix(std::size_t length, std::uint8_t* out);

}  // namespace corvane
