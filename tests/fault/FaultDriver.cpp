// A program that faults on purpose, for the fault report's tests. It
// registers the report, logs a few lines, then faults as argv[1] says. The
// statement that faults carries a "fault-line:" comment; the tests read the
// expected line from it. argv[2], when given, is the message box helper.
//
// Keep this file free of sanitizer instrumentation (see CMakeLists.txt): the
// sanitizers would catch these faults before the report does.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "log/FaultReport.h"
#include "tests/fault/FaultyLibrary.h"

namespace {

// Stands in for the log file: lines wait in a buffer, which only a flush
// writes out. Without the fault handler's flush, the file stays empty.
class BufferedLog {
public:
    static void open() { fd_ = ::open("log.log", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); }

    static void logLine(std::string_view line) {
        if (used_ + line.size() + 2 > sizeof buffer_) {
            return;
        }
        std::memcpy(buffer_ + used_, line.data(), line.size());
        used_ += line.size();
        std::memcpy(buffer_ + used_, "\r\n", 2);
        used_ += 2;
    }

    static void flushForFault() {
        if (fd_ >= 0 && used_ > 0) {
            [[maybe_unused]] const ssize_t written = ::write(fd_, buffer_, used_);
        }
    }

private:
    static inline int fd_ = -1;
    static inline char buffer_[4096] = {};
    static inline std::size_t used_ = 0;
};

using FilterQueryFunction = std::int32_t (*)(const char16_t*);
using Callback = int (*)(int);

volatile bool keepRecursing = true;

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
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: fault_driver MODE [HELPER]\n", stderr);
        return 2;
    }
    corvane::FaultReportRegistration faultReport(&BufferedLog::flushForFault,
                                                 argc > 2 ? argv[2] : nullptr);
    if (!faultReport.registered()) {
        return 3;
    }
    BufferedLog::open();
    BufferedLog::logLine("driver started");
    BufferedLog::logLine("about to fault");
    BufferedLog::logLine(argv[1]);
    const int result = fault(argv[1]);
    // Reached only when the fault did not happen.
    std::printf("no fault: %d\n", result);
    return 4;
}
