#pragma once

#include <cstdint>

namespace corvane {

// Where one question stands in a message: its name from nameStart up to the
// 0 byte that ends it, at nameEnd; then, when hasTypeAndClass, the four bytes
// of its type and class.
struct Question {
    std::int32_t nameStart = 0;
    std::int32_t nameEnd = 0;
    bool hasTypeAndClass = false;
};

// The one reading of a question section, the same for a client's query (the
// names the filter and the log get), for an upstream answer (whether it
// answers the question that was asked) and for the replies built from either.
// Reading both sides alike is what lets an answer be held against its query.
//
// The reading is deliberately literal. The count is QDCOUNT taken as a signed
// number and its magnitude used (0xFFFF asks for one question, 0x8000 for
// 32768). A name is every byte up to the next 0 byte, whatever label it falls
// in; its first byte is a label length, the bytes after a length are that
// many characters, then comes the next length. Compression pointers are not
// recognised (0xC0 and up are lengths too), so nothing is ever followed.
// After a name come two bytes of type and two of class. Reading stops at the
// first name that does not end before the message does; a question whose
// type and class are cut off still has its name, and ends the reading.
// No byte at or beyond length is ever read.
class QuestionReader {
public:
    // A message shorter than a header has no questions.
    QuestionReader(const std::uint8_t* message, std::int32_t length);

    // The number of questions the header asks for.
    std::int32_t count() const { return count_; }

    // The next question into question; false once count questions were read
    // or when no further name can be read.
    bool next(Question& question);

    // Reads the questions that are left.
    void skipRest();

    // True when every question the header asks for was read whole, type and
    // class included (so always for a count of 0); never for a message
    // shorter than a header.
    bool complete() const { return hasHeader_ && whole_ == count_; }

    // The offset just past the last question read whole; the header's end
    // when there is none.
    std::int32_t end() const { return end_; }

private:
    const std::uint8_t* message_;
    std::int32_t length_;
    bool hasHeader_ = false;
    std::int32_t count_ = 0;
    std::int32_t read_ = 0;
    std::int32_t whole_ = 0;
    std::int32_t offset_;
    std::int32_t end_;
    bool stopped_ = false;
};

// Walks the name of question byte by byte as QuestionReader reads it: calls
// onLength(byte) for each label length and onCharacter(byte) for each character.
template <typename OnLength, typename OnCharacter>
void readNameBytes(const std::uint8_t* message, const Question& question, OnLength onLength,
                   OnCharacter onCharacter) {
    std::int32_t labelLeft = 0;
    for (std::int32_t at = question.nameStart; at < question.nameEnd; ++at) {
        if (labelLeft == 0) {
            labelLeft = message[at];
            onLength(message[at]);
        } else {
            --labelLeft;
            onCharacter(message[at]);
        }
    }
}

}  // namespace corvane
