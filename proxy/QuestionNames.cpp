#include "proxy/QuestionNames.h"

#include "proxy/QuestionReader.h"

namespace corvane {

void QuestionNames::read(const std::uint8_t* message, std::int32_t length) {
    text_.clear();
    ends_.clear();
    QuestionReader reader(message, length);
    Question question;
    while (reader.next(question)) {
        const std::size_t nameStart = text_.size();
        readNameBytes(
            message, question,
            [&](std::uint8_t) {
                if (text_.size() != nameStart) {
                    text_.push_back(u'.');
                }
            },
            [&](std::uint8_t byte) { text_.push_back(static_cast<char16_t>(byte)); });
        // The root, and a name of empty labels, give no name.
        if (text_.size() != nameStart) {
            ends_.push_back(text_.size());
            text_.push_back(u'\0');
        }
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
