#pragma once

#include <cstdint>

#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"

namespace corvane {

// Handles one datagram from the UDP upstream link, held in message[0, length)
// and rewritten in place: finds the query it answers by its transaction
// number, checks that it carries the question that query asked (the same
// count and, question by question, the same name in any ASCII case, type and
// class; see questionDigest), restores the client's ID, relays it to that
// client, logs the relay when the whole datagram went out, and retires the
// query either way. A datagram shorter than 12 bytes, one whose number is not
// held, one for a query that went out over TCP, and one whose question is
// not the query's (or cannot be read) is dropped without a word; the query
// then still waits for its answer.
void handleAnswer(QueriesInFlight& q, std::uint8_t* message, std::int32_t length,
                  const ProxyServices& s);

// The same for an upstream datagram longer than the buffer, of which only the
// first length bytes arrived: instead of the answer, which could only go out
// cut short and corrupt, the client gets the truncated reply built from those
// bytes (see makeTruncatedReply), so that it asks again over TCP. The log
// line gives the length of that reply.
void handleOversizedAnswer(QueriesInFlight& q, std::uint8_t* message, std::int32_t length,
                           const ProxyServices& s);

// The same for one message taken from the TCP upstream link: it can only
// answer a query that went out on that link, and goes to its client framed.
// One whose question is not the query's retires the query without a word:
// the upstream has answered it, and nothing else will.
void handleStreamAnswer(QueriesInFlight& q, std::uint8_t* message, std::int32_t length,
                        ConnectionId link, const ProxyServices& s);

}  // namespace corvane
