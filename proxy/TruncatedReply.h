#pragma once

#include <cstdint>

namespace corvane {

// Makes, in place, the reply for an upstream answer too long for the datagram
// buffer, of which only the first length bytes (at least a header) arrived:
// the answer's own header with TC set and ANCOUNT, NSCOUNT and ARCOUNT zero,
// followed by its question section as it came. Every client reads TC as "ask
// again over TCP". Returns the reply's length; the bytes after it are left as
// they were. A message shorter than a header is left alone, its length returned.
//
// The question section is read with every length checked against length. A
// question that cannot be read there gives the header alone, with QDCOUNT 0:
// a name cut off or longer than 255 bytes, a label type other than a plain
// length (a compression pointer included: the first name of a message has
// nothing before it to point to), type and class cut off.
std::int32_t makeTruncatedReply(std::uint8_t* message, std::int32_t length);

}  // namespace corvane
