#include "proxy/QuestionDigest.h"

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
    SipHasher hasher(key);
    hasher.add(message + dnsheader::QuestionCount, 2);
    Question question;
    while (reader.next(question)) {
        readNameBytes(
            message, question, [&](std::uint8_t labelLength) { hasher.add(labelLength); },
            [&](std::uint8_t byte) { hasher.add(asciiLower(byte)); });
        // The ending 0, type and class; absent ones leave the section
        // incomplete, and the digest is not used.
        if (question.hasTypeAndClass) {
            hasher.add(message + question.nameEnd, 1 + TypeAndClassLength);
        }
    }
    if (!reader.complete()) {
        return std::nullopt;
    }
    return hasher.finish();
}

}  // namespace corvane
