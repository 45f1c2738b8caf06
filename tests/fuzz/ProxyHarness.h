#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "TrackingNetwork.h"
#include "log/Clock.h"
#include "log/Log.h"
#include "proxy/KeyText.h"
#include "proxy/QueriesInFlight.h"

namespace corvane::fuzz {

// Keeps the lines of the current step; the harness clears it between steps.
class RecordingLog final : public Log {
public:
    std::vector<std::u16string> lines;
    void logLine(std::u16string_view message) override { lines.emplace_back(message); }
};

class SettableClock final : public Clock {
public:
    std::int64_t now = 1'000'000;
    std::int64_t localSeconds() const override { return now; }
};

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

// Both tables against each other and against the network:
// - a ClientRef is filed under its own handle's key, counts exactly the
//   client's PendingQuery records (more would keep the peer open for ever,
//   fewer would close it while answers are still due) and so is never 0;
// - every PendingQuery belongs to an open client with a ClientRef;
// - every open client has a ClientRef: a peer without one is never closed.
inline void auditTables(QueriesInFlight& q, const TrackingNetwork& net) {
    std::map<ConnectionId, std::int64_t> records;
    q.pendingQueries.resetWalk();
    while (const PendingQuery* record = q.pendingQueries.nextInWalk()) {
        FUZZ_CHECK(net.isOpen(record->client), "a query in flight for a closed client");
        ++records[record->client];
    }
    std::size_t refs = 0;
    q.clientRefs.resetWalk();
    while (const ClientRef* ref = q.clientRefs.nextInWalk()) {
        ++refs;
        FUZZ_CHECK(q.clientRefs.currentKey() == clientKey(ref->handle).view(),
                   "a ClientRef filed under another client's key");
        FUZZ_CHECK(net.isOpen(ref->handle), "a ClientRef for a closed client");
        const auto found = records.find(ref->handle);
        const std::int64_t held = found != records.end() ? found->second : 0;
        FUZZ_CHECK(ref->inFlight >= held, "inFlight below the client's queries in flight");
        FUZZ_CHECK(ref->inFlight == held, "inFlight above the client's queries in flight");
    }
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
