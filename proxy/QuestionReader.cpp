#include "proxy/QuestionReader.h"

#include <cstdlib>
#include <cstring>

#include "proxy/DnsHeader.h"

namespace corvane {

QuestionReader::QuestionReader(const std::uint8_t* message, std::int32_t length)
    : message_(message), length_(length), offset_(DnsHeaderLength), end_(DnsHeaderLength) {
    if (length < DnsHeaderLength) {
        return;
    }
    hasHeader_ = true;
    const auto rawCount = static_cast<std::int16_t>(message[dnsheader::QuestionCount] << 8 |
                                                    message[dnsheader::QuestionCount + 1]);
    count_ = std::abs(static_cast<std::int32_t>(rawCount));
}

bool QuestionReader::next(Question& question) {
    if (read_ == count_ || stopped_ || offset_ >= length_) {
        stopped_ = true;
        return false;
    }
    // A 0 byte ends the name wherever it stands.
    const auto* start = message_ + offset_;
    const auto* zero = static_cast<const std::uint8_t*>(
        std::memchr(start, 0, static_cast<std::size_t>(length_ - offset_)));
    if (zero == nullptr) {
        stopped_ = true;
        return false;
    }
    question.nameStart = offset_;
    question.nameEnd = offset_ + static_cast<std::int32_t>(zero - start);
    const std::int32_t questionEnd = question.nameEnd + 1 + TypeAndClassLength;
    question.hasTypeAndClass = questionEnd <= length_;
    ++read_;
    if (question.hasTypeAndClass) {
        ++whole_;
        end_ = questionEnd;
        offset_ = questionEnd;
    } else {
        stopped_ = true;
    }
    return true;
}

void QuestionReader::skipRest() {
    Question ignored;
    while (next(ignored)) {
    }
}

}  // namespace corvane
