#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Pointer to the question name, type A, class IN, TTL 60, 4 bytes: 192.0.2.10.
inline constexpr std::array<std::uint8_t, 16> AnswerRecord = {
    0xC0, 0x0C, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x04, 192, 0, 2, 10};

// Turns the query in place into its answer; returns the answer's length, or 0
// when the datagram is not a query we can answer (it is then dropped).
inline std::size_t makeAnswer(std::uint8_t* message, std::size_t length, std::size_t capacity) {
    if (length < 12 || (message[2] & 0x80) != 0 || message[4] != 0 || message[5] != 1) {
        return 0;
    }
    std::size_t offset = 12;
    while (offset < length && message[offset] != 0) {
        if ((message[offset] & 0xC0) != 0) {
            return 0;
        }
        offset += 1 + message[offset];
    }
    offset += 1 + 4;  // the root byte, type and class
    if (offset > length || offset + AnswerRecord.size() > capacity) {
        return 0;
    }
    message[2] = static_cast<std::uint8_t>(0x80 | (message[2] & 0x79));  // QR, opcode, RD kept
    message[3] = 0x80;                                                   // RA, NOERROR
    message[6] = 0;
    message[7] = 1;                  // one answer
    std::memset(message + 8, 0, 4);  // no authority, no additional (EDNS dropped)
    std::memcpy(message + offset, AnswerRecord.data(), AnswerRecord.size());
    return offset + AnswerRecord.size();
}
