// The line helper: started by a faulted process as
//     corvane-faultline PROGRAM SOURCE-ROOT OFFSET...
// (see FaultLineLookup.h), it reads PROGRAM's debug information and writes
// the position of the first offset that is the system's own statement to
// standard output. Exit code 0 when it named one, 1 when none, 2 for a
// wrong call.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "log/LineLocator.h"
#include "log/WriteAll.h"

namespace {

bool readOffset(const char* text, std::uintptr_t& offset) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 16);
    if (errno != 0 || end == text || *end != '\0') {
        return false;
    }
    offset = static_cast<std::uintptr_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    corvane::LineLocator locator;
    if (!locator.open(argv[1], argv[2])) {
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        std::uintptr_t offset = 0;
        corvane::SourcePosition position{};
        if (readOffset(argv[i], offset) && locator.lookUp(offset, position)) {
            char answer[corvane::PositionAnswerCapacity];
            const std::size_t length =
                corvane::formatPositionAnswer(position, answer, sizeof answer);
            return corvane::writeAll(STDOUT_FILENO, answer, length) == length ? 0 : 1;
        }
    }
    return 1;
}
