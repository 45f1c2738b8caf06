#include "proxy/QuestionReplies.h"

#include "proxy/DnsHeader.h"
#include "proxy/QuestionReader.h"

namespace corvane {

namespace {

void setCount(std::uint8_t* message, std::int32_t field, std::int32_t value) {
    message[field] = static_cast<std::uint8_t>(value >> 8);
    message[field + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// The header and the question section; the caller sets the flags.
std::int32_t keepOnlyQuestions(std::uint8_t* message, std::int32_t length) {
    QuestionReader reader(message, length);
    reader.skipRest();
    const bool whole = reader.complete();
    setCount(message, dnsheader::QuestionCount, whole ? reader.count() : 0);
    setCount(message, dnsheader::AnswerCount, 0);
    setCount(message, dnsheader::AuthorityCount, 0);
    setCount(message, dnsheader::AdditionalCount, 0);
    return whole ? reader.end() : DnsHeaderLength;
}

}  // namespace

std::int32_t makeTruncatedReply(std::uint8_t* message, std::int32_t length) {
    if (length < DnsHeaderLength) {
        return length;
    }
    message[dnsheader::FlagsHigh] |= dnsheader::Truncated;
    return keepOnlyQuestions(message, length);
}

std::int32_t makeNameErrorReply(std::uint8_t* message, std::int32_t length) {
    if (length < DnsHeaderLength) {
        return length;
    }
    message[dnsheader::FlagsHigh] = static_cast<std::uint8_t>(
        dnsheader::Response | (message[dnsheader::FlagsHigh] & dnsheader::OpcodeAndRecursion));
    message[dnsheader::FlagsLow] = dnsheader::RecursionAvailable | dnsheader::NameError;
    return keepOnlyQuestions(message, length);
}

}  // namespace corvane
