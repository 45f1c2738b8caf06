#include "proxy/QuestionNames.h"

#include <cstdlib>

#include "proxy/DnsHeader.h"

namespace corvane {

void QuestionNames::read(const std::uint8_t* message, std::int32_t length) {
    text_.clear();
    ends_.clear();
    if (length < DnsHeaderLength) {
        return;
    }
    // QDCOUNT read as signed: 0x8000 asks for 32768 names, 0xFFFF for one.
    const auto rawCount = static_cast<std::int16_t>((message[4] << 8) | message[5]);
    std::int32_t namesLeft = std::abs(static_cast<std::int32_t>(rawCount));

    std::int64_t offset = DnsHeaderLength;
    while (namesLeft > 0) {
        const std::size_t nameStart = text_.size();
        std::int32_t labelLeft = 0;
        bool complete = false;
        // offset may already lie past length after skipping type and class
        // of the previous name; that ends the reading like a cut-off name.
        while (offset < length) {
            const std::uint8_t byte = message[offset++];
            if (byte == 0) {
                complete = true;
                break;
            }
            if (labelLeft == 0) {
                labelLeft = byte;
                if (text_.size() != nameStart) {
                    text_.push_back(u'.');
                }
            } else {
                --labelLeft;
                text_.push_back(static_cast<char16_t>(byte));
            }
        }
        if (!complete) {
            text_.resize(nameStart);
            return;
        }
        --namesLeft;
        if (text_.size() != nameStart) {
            ends_.push_back(text_.size());
            text_.push_back(u'\0');
        }
        offset += TypeAndClassLength;
    }
}

std::u16string_view QuestionNames::name(std::size_t index) const {
    const std::size_t start = index == 0 ? 0 : ends_[index - 1] + 1;
    return std::u16string_view(text_).substr(start, ends_[index] - start);
}

const char16_t* QuestionNames::terminatedName(std::size_t index) const {
    const std::size_t start = index == 0 ? 0 : ends_[index - 1] + 1;
    return text_.data() + start;
}

}  // namespace corvane
