// The framing of a TCP byte stream into DNS messages, as a property: however
// the stream is split into reads, the framer yields exactly the messages, the
// malformed length and the held remainder that a plain reading of the whole
// stream gives.
//
// Input: byte 0 is the number n of cuts; the next 2n bytes are the cut
// offsets (16 bits each, high byte first, taken modulo the stream's length);
// everything after them is the stream.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "proxy/StreamFramer.h"

namespace corvane::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Reading {
    std::vector<Bytes> messages;
    bool malformed = false;
    std::size_t held = 0;
};

// The stream read in one go, by the rule alone.
Reading readWhole(std::span<const std::uint8_t> stream) {
    Reading reading;
    std::size_t at = 0;
    while (stream.size() - at >= 2) {
        const std::size_t length = std::size_t{stream[at]} << 8 | stream[at + 1];
        if (length < 12) {
            reading.malformed = true;
            return reading;
        }
        if (stream.size() - at - 2 < length) {
            break;
        }
        reading.messages.emplace_back(
            stream.begin() + static_cast<std::ptrdiff_t>(at + 2),
            stream.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        at += 2 + length;
    }
    reading.held = stream.size() - at;
    return reading;
}

// The stream through a framer, one read per piece between the cuts. Each read
// lies in a heap block of its own exactly as long as it, so a read past it
// shows up under AddressSanitizer.
Reading readInPieces(std::span<const std::uint8_t> stream, std::vector<std::size_t> cuts) {
    cuts.push_back(0);
    cuts.push_back(stream.size());
    std::sort(cuts.begin(), cuts.end());
    StreamFramer framer;
    Reading reading;
    for (std::size_t i = 0; i + 1 < cuts.size() && !reading.malformed; ++i) {
        const std::size_t length = cuts[i + 1] - cuts[i];
        auto block = std::make_unique<std::uint8_t[]>(length);
        std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(cuts[i]), length, block.get());
        std::span<std::uint8_t> input(block.get(), length);
        while (!input.empty()) {
            const StreamFramer::Step step = framer.next(input);
            FUZZ_CHECK(step.consumed <= input.size(), "a step took more than its input");
            if (step.status == StreamFramer::Status::Malformed) {
                reading.malformed = true;
                break;
            }
            if (step.status == StreamFramer::Status::Message) {
                FUZZ_CHECK(step.message.size() >= 12, "a message shorter than a header");
                reading.messages.emplace_back(step.message.begin(), step.message.end());
            } else {
                FUZZ_CHECK(step.consumed == input.size(), "NeedMore left input unread");
            }
            FUZZ_CHECK(step.consumed > 0, "a step that took nothing");
            input = input.subspan(step.consumed);
        }
        FUZZ_CHECK(framer.held() <= StreamFramer::MaxHeldBytes, "held more than one message");
    }
    reading.held = reading.malformed ? 0 : framer.held();
    return reading;
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane::fuzz;
    if (size == 0) {
        return 0;
    }
    const std::size_t cutCount = data[0];
    const std::size_t header = 1 + 2 * cutCount;
    if (size < header) {
        return 0;
    }
    const std::span<const std::uint8_t> stream(data + header, size - header);
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i < cutCount && !stream.empty(); ++i) {
        const std::size_t offset = std::size_t{data[1 + 2 * i]} << 8 | data[2 + 2 * i];
        cuts.push_back(offset % stream.size());
    }
    const Reading whole = readWhole(stream);
    const Reading pieces = readInPieces(stream, cuts);
    FUZZ_CHECK(pieces.malformed == whole.malformed, "the split changed the malformed verdict");
    FUZZ_CHECK(pieces.messages == whole.messages, "the split changed the messages");
    if (!whole.malformed) {
        FUZZ_CHECK(pieces.held == whole.held, "the split changed the bytes held");
    }
    return 0;
}
