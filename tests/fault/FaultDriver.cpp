// A program that faults on purpose, for the fault report's tests. It
// registers the report, logs some lines, then faults as argv[1] says. The
// statement that faults carries a "fault-line:" comment; the tests read the
// expected line from it. argv[2], when given and not empty, is the message
// box helper; argv[3], when given, the line helper (the one built beside the
// program by default).
//
// Keep this file free of sanitizer instrumentation (see CMakeLists.txt): the
// sanitizers would catch these faults before the report does.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "log/Clock.h"
#include "log/FaultReport.h"
#include "log/LogFile.h"
#include "log/Logger.h"
#include "tests/fault/FaultyLibrary.h"

namespace {

// Stamps every line 08:04:03, so that the tests know the log's bytes.
class FixedClock final : public corvane::Clock {
public:
    std::int64_t localSeconds() const override { return 8 * 3600 + 4 * 60 + 3; }
};

std::u16string ascii16(std::string_view text) {
    return {text.begin(), text.end()};
}

using FilterQueryFunction = std::int32_t (*)(const char16_t*);
using Callback = int (*)(int);

volatile bool keepRecursing = true;

// The tests expect exactly these lines; see FaultChild_test.cpp.
constexpr int NumberedLines = 120;

int divideByZero() {
    volatile int divisor = 0;
    const int numerator = 7;
    const int quotient = numerator / divisor;  // fault-line: divzero
    return quotient;
}

int callFaultyPlugin() {
    void* library = dlopen(FAULT_TEST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return 2;
    }
    auto filterQuery = reinterpret_cast<FilterQueryFunction>(dlsym(library, "FilterQuery"));
    if (filterQuery == nullptr) {
        return 2;
    }
    const std::int32_t verdict = filterQuery(u"example.com");  // fault-line: plugin
    return verdict;
}

int faultInLibrary() {
    // Called through a pointer, so that the compiler cannot replace the call
    // by stores of its own (or drop it, writing to null being undefined).
    void* (*volatile fill)(void*, int, std::size_t) = std::memset;
    char* volatile target = nullptr;
    fill(target, 1, 4096);  // fault-line: library
    return target[0];
}

int callLinkedLibrary() {
    const int count = countIntoNowhere(3);  // fault-line: linked
    return count;
}

int callNullFunction() {
    const Callback volatile callback = nullptr;
    const int result = callback(1);  // fault-line: nullcall
    return result;
}

// fault-line: overflow-begin
int recurse(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (keepRecursing) {
        return recurse(depth + 1) + frame[0];
    }
    return frame[0];
}
// fault-line: overflow-end

int fault(std::string_view mode) {
    if (mode == "divzero") {
        return divideByZero();
    }
    if (mode == "plugin") {
        return callFaultyPlugin();
    }
    if (mode == "library") {
        return faultInLibrary();
    }
    if (mode == "linked") {
        return callLinkedLibrary();
    }
    if (mode == "nullcall") {
        return callNullFunction();
    }
    if (mode == "abort") {
        std::abort();  // fault-line: abort
    }
    if (mode == "overflow") {
        return recurse(0);
    }
    if (mode == "removed") {
        // As an upgrade does to a running program: its file is gone from
        // its name by the time it faults. Run from a copy.
        char self[4096];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length <= 0) {
            return 2;
        }
        self[length] = '\0';
        if (unlink(self) != 0) {
            return 2;
        }
        return divideByZero();
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: fault_driver MODE [BOX-HELPER [LINE-HELPER]]\n", stderr);
        return 2;
    }
    const char* boxHelper = argc > 2 && argv[2][0] != '\0' ? argv[2] : nullptr;
    const char* lineHelper = argc > 3 ? argv[3] : FAULT_LINE_HELPER;
    corvane::FaultReportRegistration faultReport(&corvane::LogFile::flushForFault, boxHelper,
                                                 lineHelper);
    if (!faultReport.registered()) {
        return 3;
    }
    FixedClock clock;
    corvane::Logger log(clock, "log.log");
    // More than one write buffer's worth: the first lines reach the file by
    // the ordinary writes, the last ones only by the fault handler's flush.
    log.logLine(u"driver started");
    for (int i = 1; i <= NumberedLines; ++i) {
        char number[4];
        std::snprintf(number, sizeof number, "%03d", i);
        log.logLine(u"numbered line " + ascii16(number));
    }
    log.logLine(u"about to fault: " + ascii16(argv[1]));
    const int result = fault(argv[1]);
    // Reached only when the fault did not happen.
    std::printf("no fault: %d\n", result);
    return 4;
}
