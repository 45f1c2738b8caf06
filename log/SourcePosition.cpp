#include "log/SourcePosition.h"

#include <cstdio>
#include <cstring>

namespace corvane {

SourcePosition unknownSourcePosition() noexcept {
    SourcePosition position{};
    std::memcpy(position.file, "Corvane", sizeof "Corvane");
    position.line = 0;
    return position;
}

bool isOwnSource(const char* filename, const char* sourceRoot,
                 std::size_t sourceRootLength) noexcept {
    if (filename[0] != '/') {
        return filename[0] != '\0';
    }
    return std::strncmp(filename, sourceRoot, sourceRootLength) == 0 &&
           filename[sourceRootLength] == '/';
}

std::size_t formatPositionAnswer(const SourcePosition& position, char* out,
                                 std::size_t capacity) noexcept {
    if (capacity < PositionAnswerCapacity) {
        return 0;
    }
    const int length = std::snprintf(out, capacity, "%u %.*s\n", position.line,
                                     static_cast<int>(FileTitleCapacity - 1), position.file);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}

bool parsePositionAnswer(const char* text, std::size_t length, SourcePosition& position) noexcept {
    std::size_t i = 0;
    std::uint64_t line = 0;
    for (; i < length && i < 10 && text[i] >= '0' && text[i] <= '9'; ++i) {
        line = line * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    if (i == 0 || line > UINT32_MAX || i >= length || text[i] != ' ') {
        return false;
    }
    const std::size_t titleBegin = i + 1;
    std::size_t titleEnd = titleBegin;
    while (titleEnd < length && text[titleEnd] != '\n' && text[titleEnd] != '/' &&
           text[titleEnd] != '\0') {
        ++titleEnd;
    }
    const std::size_t titleLength = titleEnd - titleBegin;
    if (titleLength == 0 || titleLength >= FileTitleCapacity || titleEnd + 1 != length ||
        text[titleEnd] != '\n') {
        return false;
    }
    std::memcpy(position.file, text + titleBegin, titleLength);
    position.file[titleLength] = '\0';
    position.line = static_cast<std::uint32_t>(line);
    return true;
}

}  // namespace corvane
