#include "proxy/QuestionDigest.h"

#include <array>
#include <cstddef>

#include "proxy/DnsHeader.h"
#include "proxy/QuestionReader.h"

namespace corvane {

namespace {

std::uint8_t asciiLower(std::uint8_t byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<std::uint8_t>(byte + ('a' - 'A')) : byte;
}

}  // namespace

std::optional<std::uint64_t> questionDigest(const std::uint8_t* message, std::int32_t length,
                                            const SipHashKey& key) {
    QuestionReader reader(message, length);
    if (length < DnsHeaderLength) {
        return std::nullopt;
    }
    // The normal form is gathered on the stack and hashed a run at a time.
    std::array<std::uint8_t, 256> run;
    std::size_t used = 0;
    SipHasher hasher(key);
    const auto put = [&](std::uint8_t byte) {
        if (used == run.size()) {
            hasher.add(run.data(), used);
            used = 0;
        }
        run[used++] = byte;
    };
    put(message[dnsheader::QuestionCount]);
    put(message[dnsheader::QuestionCount + 1]);
    Question question;
    while (reader.next(question)) {
        readNameBytes(message, question, put, [&](std::uint8_t byte) { put(asciiLower(byte)); });
        // The ending 0, type and class; when they are cut off the section
        // is incomplete and the digest is not used.
        if (question.hasTypeAndClass) {
            for (std::int32_t at = question.nameEnd; at <= question.nameEnd + TypeAndClassLength;
                 ++at) {
                put(message[at]);
            }
        }
    }
    if (!reader.complete()) {
        return std::nullopt;
    }
    hasher.add(run.data(), used);
    return hasher.finish();
}

}  // namespace corvane
