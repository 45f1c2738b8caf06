#include "proxy/TruncatedReply.h"

#include <cstddef>
#include <optional>

#include "proxy/DnsHeader.h"

namespace corvane {

namespace {

constexpr std::size_t MaxNameLength = 255;
constexpr std::uint8_t LabelTypeBits = 0xC0;

void setCount(std::uint8_t* message, std::int32_t field, std::uint16_t value) {
    message[field] = static_cast<std::uint8_t>(value >> 8);
    message[field + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// The offset just past the question that starts at offset, or none when it
// cannot be read within length.
std::optional<std::size_t> questionEnd(const std::uint8_t* message, std::size_t length,
                                       std::size_t offset) {
    const std::size_t nameStart = offset;
    for (;;) {
        if (offset >= length) {
            return std::nullopt;
        }
        const std::uint8_t label = message[offset++];
        if ((label & LabelTypeBits) != 0) {
            return std::nullopt;
        }
        offset += label;
        // The length counts every length byte, the final 0 included.
        if (offset - nameStart > MaxNameLength) {
            return std::nullopt;
        }
        if (label == 0) {
            break;
        }
    }
    const auto typeAndClass = static_cast<std::size_t>(TypeAndClassLength);
    if (length - offset < typeAndClass) {
        return std::nullopt;
    }
    return offset + typeAndClass;
}

}  // namespace

std::int32_t makeTruncatedReply(std::uint8_t* message, std::int32_t length) {
    if (length < DnsHeaderLength) {
        return length;
    }
    const auto available = static_cast<std::size_t>(length);
    const std::uint16_t questions = static_cast<std::uint16_t>(
        message[dnsheader::QuestionCount] << 8 | message[dnsheader::QuestionCount + 1]);
    std::size_t end = DnsHeaderLength;
    for (std::uint16_t i = 0; i < questions; ++i) {
        const std::optional<std::size_t> next = questionEnd(message, available, end);
        if (!next) {
            end = DnsHeaderLength;
            setCount(message, dnsheader::QuestionCount, 0);
            break;
        }
        end = *next;
    }
    message[dnsheader::FlagsHigh] |= dnsheader::Truncated;
    setCount(message, dnsheader::AnswerCount, 0);
    setCount(message, dnsheader::AuthorityCount, 0);
    setCount(message, dnsheader::AdditionalCount, 0);
    return static_cast<std::int32_t>(end);
}

}  // namespace corvane
