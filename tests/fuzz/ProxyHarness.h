#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "TrackingNetwork.h"
#include "proxy/KeyText.h"
#include "proxy/QueriesInFlight.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeLog.h"
#include "tests/support/TestSeed.h"

namespace corvane::fuzz {

// The ConnectionId of the upstream link in every proxy target.
constexpr ConnectionId UpstreamLink = 0xFFFF0001;

// The plug-in stand-in. Its verdict is chosen by the first character of the
// name, so the datagram itself decides what the filter says: b blocks, r
// blocks with a reply, x and n answer values outside 0 to 2 (taken as
// Forward), anything else forwards. Every name offered is kept.
inline std::vector<std::u16string>& offeredNames() {
    static std::vector<std::u16string> names;
    return names;
}

inline std::int32_t verdictFor(std::u16string_view name) {
    switch (name.empty() ? u'\0' : name.front()) {
        case u'b':
            return 1;
        case u'r':
            return 2;
        case u'x':
            return 7;
        case u'n':
            return std::numeric_limits<std::int32_t>::min();
        default:
            return 0;
    }
}

inline std::int32_t scriptedFilter(const char16_t* name) {
    const std::u16string_view text(name);
    offeredNames().emplace_back(text);
    return verdictFor(text);
}

// The question names a datagram carries, read independently of the code under
// test: QDCOUNT taken as signed and its magnitude used, a 0 byte ends a name,
// any other byte at a label start is a length (no compression), empty names
// skipped, an incomplete name ends the reading. Every read goes through
// span::operator[] with the index checked first.
inline std::vector<std::u16string> expectedNames(std::span<const std::uint8_t> message) {
    std::vector<std::u16string> names;
    if (message.size() < 12) {
        return names;
    }
    const auto count = static_cast<std::int16_t>(message[4] << 8 | message[5]);
    const std::int32_t wanted = count < 0 ? -static_cast<std::int32_t>(count) : count;
    std::size_t at = 12;
    for (std::int32_t read = 0; read < wanted; ++read) {
        std::u16string name;
        std::uint32_t labelLeft = 0;
        while (true) {
            if (at >= message.size()) {
                return names;
            }
            const std::uint8_t byte = message[at++];
            if (byte == 0) {
                break;
            }
            if (labelLeft == 0) {
                labelLeft = byte;
                if (!name.empty()) {
                    name += u'.';
                }
            } else {
                --labelLeft;
                name += static_cast<char16_t>(byte);
            }
        }
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
        at += 4;
    }
    return names;
}

// A question section as an independent reading sees it, by the same literal
// rules as expectedNames: whether every question of the count was read whole
// (name, type and class), where the last whole one ends, and the section in
// the form two sections are compared in: QDCOUNT's two bytes, then each
// question with the characters of its labels in ASCII lower case.
struct SectionReading {
    bool whole = false;
    std::int32_t count = 0;
    std::size_t end = 12;
    std::vector<std::uint8_t> normalised;
};

inline SectionReading readSection(std::span<const std::uint8_t> message) {
    SectionReading out;
    if (message.size() < 12) {
        return out;
    }
    const auto count = static_cast<std::int16_t>(message[4] << 8 | message[5]);
    out.count = count < 0 ? -static_cast<std::int32_t>(count) : count;
    out.normalised = {message[4], message[5]};
    std::size_t at = 12;
    for (std::int32_t read = 0; read < out.count; ++read) {
        std::uint32_t labelLeft = 0;
        while (true) {
            if (at >= message.size()) {
                return out;
            }
            const std::uint8_t byte = message[at++];
            if (byte == 0) {
                break;
            }
            if (labelLeft == 0) {
                labelLeft = byte;
                out.normalised.push_back(byte);
            } else {
                --labelLeft;
                out.normalised.push_back(
                    byte >= 'A' && byte <= 'Z' ? static_cast<std::uint8_t>(byte | 0x20) : byte);
            }
        }
        if (message.size() - at < 4) {
            return out;
        }
        out.normalised.push_back(0);
        out.normalised.insert(out.normalised.end(),
                              message.begin() + static_cast<std::ptrdiff_t>(at),
                              message.begin() + static_cast<std::ptrdiff_t>(at + 4));
        at += 4;
        out.end = at;
    }
    out.whole = true;
    return out;
}

// Whether an answer carries the question its query asked: both read whole,
// and the same once normalised.
inline bool sameQuestion(std::span<const std::uint8_t> answer,
                         std::span<const std::uint8_t> query) {
    const SectionReading a = readSection(answer);
    const SectionReading b = readSection(query);
    return a.whole && b.whole && a.normalised == b.normalised;
}

// The reply made from message by makeTruncatedReply or makeNameErrorReply,
// but for its flags: the header with no records, followed by the question
// section when it is whole (QDCOUNT then the magnitude read), else alone.
inline void checkQuestionsOnlyReply(std::span<const std::uint8_t> message,
                                    std::span<const std::uint8_t> reply, const char* what) {
    const SectionReading section = readSection(message);
    const std::size_t end = section.whole ? section.end : 12;
    const std::int32_t count = section.whole ? section.count : 0;
    FUZZ_CHECK(reply.size() == end, what);
    FUZZ_CHECK(reply[0] == message[0] && reply[1] == message[1], what);
    FUZZ_CHECK(reply[4] == (count >> 8) && reply[5] == (count & 0xFF), what);
    FUZZ_CHECK(std::all_of(reply.begin() + 6, reply.begin() + 12, [](auto b) { return b == 0; }),
               what);
    FUZZ_CHECK(std::equal(reply.begin() + 12, reply.end(), message.begin() + 12), what);
}

// The number a message carries, its first byte the low byte.
inline std::uint16_t numberOf(std::span<const std::uint8_t> message) {
    return static_cast<std::uint16_t>(message[0] | message[1] << 8);
}

inline std::u16string idText(std::uint8_t first, std::uint8_t second) {
    constexpr char16_t HexDigits[] = u"0123456789ABCDEF";
    return {HexDigits[first >> 4], HexDigits[first & 15], HexDigits[second >> 4],
            HexDigits[second & 15]};
}

inline std::u16string decimal(std::int64_t value) {
    std::u16string text;
    for (char c : std::to_string(value)) {
        text += static_cast<char16_t>(c);
    }
    return text;
}

// Both tables against each other, against their own counts and against the
// network:
// - a ClientRef is filed under its own handle's key, counts exactly the
//   client's PendingQuery records (more would keep the peer open for ever,
//   fewer would close it while answers are still due) and so is never 0;
// - every PendingQuery belongs to an open client with a ClientRef;
// - every open client has a ClientRef: a peer without one is never closed;
// - the held numbers are exactly the numbers records are filed under, so no
//   number is drawn while a query holds it and none stays held for nothing.
inline void auditTables(QueriesInFlight& q, const TrackingNetwork& net) {
    FUZZ_CHECK(q.heldNumbers.size() == q.pendingQueries.size(),
               "the held numbers are not those of the queries in flight");
    // Most steps leave nothing in flight; then there is nothing to walk (a
    // walk visits every slot, which is most of the time of a short script).
    if (q.pendingQueries.size() == 0 && q.clientRefs.size() == 0) {
        FUZZ_CHECK(net.openClients().empty(),
                   "an open client without queries in flight: its peer would never close");
        return;
    }
    // The records of each client, counted in a flat list: the targets have a
    // handful of clients, and this audit runs after nearly every step.
    std::vector<std::pair<ConnectionId, std::int64_t>> records;
    std::size_t walked = 0;
    q.pendingQueries.resetWalk();
    while (const PendingQuery* record = q.pendingQueries.nextInWalk()) {
        auto counted = std::find_if(records.begin(), records.end(), [&](const auto& entry) {
            return entry.first == record->client;
        });
        if (counted == records.end()) {
            FUZZ_CHECK(net.isOpen(record->client), "a query in flight for a closed client");
            counted = records.insert(records.end(), {record->client, 0});
        }
        ++counted->second;
        ++walked;
        const std::optional<std::uint16_t> number =
            transactionNumberOf(q.pendingQueries.currentKey());
        FUZZ_CHECK(number.has_value() && q.heldNumbers.held(*number),
                   "a query in flight whose number is not held");
    }
    FUZZ_CHECK(walked == q.pendingQueries.size(), "the query table miscounts its records");
    std::size_t refs = 0;
    q.clientRefs.resetWalk();
    while (const ClientRef* ref = q.clientRefs.nextInWalk()) {
        ++refs;
        FUZZ_CHECK(q.clientRefs.currentKey() == clientKey(ref->handle).view(),
                   "a ClientRef filed under another client's key");
        FUZZ_CHECK(net.isOpen(ref->handle), "a ClientRef for a closed client");
        const auto found = std::find_if(records.begin(), records.end(), [&](const auto& entry) {
            return entry.first == ref->handle;
        });
        const std::int64_t held = found != records.end() ? found->second : 0;
        FUZZ_CHECK(ref->inFlight >= held, "inFlight below the client's queries in flight");
        FUZZ_CHECK(ref->inFlight == held, "inFlight above the client's queries in flight");
    }
    FUZZ_CHECK(refs == q.clientRefs.size(), "the client table miscounts its records");
    FUZZ_CHECK(refs == records.size(), "a client with queries in flight has no ClientRef");
    for (ConnectionId id : net.openClients()) {
        FUZZ_CHECK(q.clientRefs.find(clientKey(id).view()) != nullptr,
                   "an open client without queries in flight: its peer would never close");
    }
}

// A well-formed query: header with id and QDCOUNT 1, one name, type A class IN.
inline std::vector<std::uint8_t> simpleQuery(std::uint8_t id0, std::uint8_t id1,
                                             std::string_view label) {
    std::vector<std::uint8_t> out{id0, id1, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0};
    out.push_back(static_cast<std::uint8_t>(label.size()));
    out.insert(out.end(), label.begin(), label.end());
    out.insert(out.end(), {0, 0, 1, 0, 1});
    return out;
}

}  // namespace corvane::fuzz
