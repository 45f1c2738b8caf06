#pragma once

#include <csignal>
#include <cstdint>
#include <iterator>

#include "log/SourcePosition.h"

namespace corvane {

// Writes out what must not be lost when the process faults (the log file's
// buffered bytes). Runs in the fault handler, so it must be
// async-signal-safe.
using FaultFlushHook = void (*)();

// The fatal signals the report catches.
inline constexpr int FaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT};

// Registers the fault report for the life of the object: every fault from
// here on, a stack overflow included, ends in reportFault() and then in the
// end of the process with exit code 0, without the end-of-program cleanup
// (the plug-in stays loaded, the network is not shut down). The destructor,
// at the end of a normal run, puts back the handlers that were there before.
//
// Registering costs next to nothing: the debug information that names the
// faulting line is read only after a fault, by the line helper
// (FaultLineLookup.h), and the message box comes from the box helper
// (FaultBoxLauncher.h).
//
// Create it on the main thread, as early as the program allows (the program
// makes its QApplication first, so a fault inside Qt's start-up still gets
// the platform's default handling): the stack overflow check knows the main
// thread's stack, and the alternate signal stack that the handler runs on
// belongs to the registering thread. One registration at a time; a second
// one while the first lives registers nothing.
class FaultReportRegistration {
public:
    // flush: called first in the handler, before the report; may be nullptr.
    // boxHelperPath, lineHelperPath: the message box and the line helpers;
    // nullptr for the ones that belong to the running executable.
    explicit FaultReportRegistration(FaultFlushHook flush = nullptr,
                                     const char* boxHelperPath = nullptr,
                                     const char* lineHelperPath = nullptr);
    ~FaultReportRegistration();

    FaultReportRegistration(const FaultReportRegistration&) = delete;
    FaultReportRegistration& operator=(const FaultReportRegistration&) = delete;

    bool registered() const { return registered_; }

private:
    bool registered_ = false;
    struct sigaction previous_[std::size(FaultSignals)] = {};
    stack_t previousStack_ = {};
    void* stack_ = nullptr;  // the alternate stack's mapping, guard included
};

// Replaces the flush hook of the live registration (nullptr for none), for a
// program that opens its log after registering the report.
void setFaultFlushHook(FaultFlushHook flush);

// The fault record, captured in the handler: the exception code and the
// source position of the statement that was running.
struct FaultRecord {
    std::uint32_t code;
    SourcePosition position;
};

// Reads the fault record, writes the report text to standard error and shows
// it in the message box "Critical shit" (when there is a display), returning
// when the box is dismissed. Async-signal-safe; called by the fault handler
// once the record holds the position.
void reportFault();

}  // namespace corvane
