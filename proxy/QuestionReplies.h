#pragma once

#include <cstdint>

namespace corvane {

// Replies made in place from a message and its question alone, for a client
// that must hear at once. Each keeps the message's header and question
// section, read by QuestionReader, and drops everything after it: ANCOUNT,
// NSCOUNT and ARCOUNT become 0. A section that cannot be read whole is not
// kept at all: the reply is then the header alone with QDCOUNT 0. Otherwise
// QDCOUNT counts the questions kept (the magnitude the reader takes, so the
// reply never claims more questions than it carries).
//
// Each returns the reply's length, at most length; the bytes after it are
// left as they were. A message shorter than a header is left alone and its
// length returned.

// For an upstream answer too long for the datagram buffer, of which only the
// first length bytes arrived: the answer's header with TC set, which every
// client reads as "ask again over TCP".
std::int32_t makeTruncatedReply(std::uint8_t* message, std::int32_t length);

// For a query the filter blocks with a reply: a response (QR set, the opcode
// and RD as asked, RA set) with RCODE NXDOMAIN, under the query's ID. A stub
// resolver takes it as "this name does not exist", fails at once and asks no
// other server.
std::int32_t makeNameErrorReply(std::uint8_t* message, std::int32_t length);

}  // namespace corvane
