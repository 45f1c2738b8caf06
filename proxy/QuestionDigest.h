#pragma once

#include <cstdint>
#include <optional>

#include "proxy/SipHash.h"

namespace corvane {

// What a query in flight keeps of its question section, to hold an answer's
// against it: a keyed hash of the section, read by QuestionReader and brought
// to one form: QDCOUNT as it stands, then question by question the name with
// its characters in ASCII lower case (label lengths as they are), its ending
// 0, its type and its class. Two messages get the same digest when they ask
// the same questions: the same count, and for each question the same name
// (ASCII case ignored), type and class. With a random key nobody outside can
// make two other sections collide on purpose.
//
// None when the section cannot be read whole, so such a message matches no
// other.
std::optional<std::uint64_t> questionDigest(const std::uint8_t* message, std::int32_t length,
                                            const SipHashKey& key);

}  // namespace corvane
