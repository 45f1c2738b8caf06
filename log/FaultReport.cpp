#include "log/FaultReport.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>

#include "log/FaultAddresses.h"
#include "log/FaultBoxLauncher.h"
#include "log/FaultCodes.h"
#include "log/FaultLineLookup.h"
#include "log/FaultText.h"
#include "log/WriteAll.h"

#ifndef CORVANE_SOURCE_DIR
#error "CORVANE_SOURCE_DIR must name the source tree: it tells the system's own frames apart"
#endif

namespace corvane {

namespace {

// The handler runs here, so that it still has a stack when the fault is a
// stack overflow; ample for the unwinder and the start of the helpers (pages
// the handler never touches cost no memory).
constexpr std::size_t AltStackSize = 512 * 1024;
// Below the alternate stack, so that a handler running out of it faults
// instead of writing over whatever mapping lies below.
constexpr std::size_t AltStackGuard = 64 * 1024;

// A fault this close to the stack pointer is the stack running out: the
// memory just below the stack pointer is the stack's own, mapped on demand,
// and only fails to appear when the stack may grow no further.
constexpr std::uintptr_t StackSlack = 64 * 1024;

// The kernel keeps a gap of this size below a growing stack; a fault in it,
// or just past the stack's lowest address, is the main stack overflowing.
constexpr std::uintptr_t StackGuardGap = 1024 * 1024;

// Everything the handler touches is prepared at registration and kept here:
// in the handler nothing may be allocated or looked up.
struct FaultState {
    ProgramCode code;
    FaultLineLookup lines;
    FaultBoxLauncher box;
    FaultAddresses addresses{};
    std::atomic<FaultFlushHook> flush{nullptr};
    std::uintptr_t mainStackLow = 0;
    FaultRecord record{};
    char text[FaultReportCapacity] = {};
    // The thread whose fault is being reported, 0 before the first fault.
    std::atomic<pid_t> faultThread{0};
    std::atomic<bool> reporting{false};
    std::atomic<bool> registered{false};
};

FaultState faultState;

bool isStackOverflow(std::uintptr_t address, std::uintptr_t sp) {
    if (address == 0) {
        return false;
    }
    const bool nearStackPointer = address + StackSlack >= sp && address < sp + StackSlack;
    const std::uintptr_t low = faultState.mainStackLow;
    const bool pastMainStack =
        low != 0 && address + StackGuardGap >= low && address < low + StackSlack;
    return nearStackPointer || pastMainStack;
}

struct Registers {
    std::uintptr_t pc = 0;
    std::uintptr_t sp = 0;
};

Registers registersOf(const void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
    Registers registers;
#if defined(__x86_64__)
    registers.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    registers.sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__i386__)
    registers.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
    registers.sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_ESP]);
#elif defined(__aarch64__)
    registers.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
    registers.sp = static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
#else
    (void)uc;
#endif
    return registers;
}

// Where a call through a bad function pointer returns to. Reads the stack on
// x86, so only for a fault that is not the stack itself running out.
std::uintptr_t returnAddressOf(const void* context, std::uintptr_t sp) {
#if defined(__x86_64__) || defined(__i386__)
    (void)context;
    return sp != 0 ? *reinterpret_cast<const std::uintptr_t*>(sp) : 0;
#elif defined(__aarch64__)
    (void)sp;
    return static_cast<std::uintptr_t>(
        static_cast<const ucontext_t*>(context)->uc_mcontext.regs[30]);
#else
    (void)context;
    (void)sp;
    return 0;
#endif
}

void onFault(int signo, siginfo_t* info, void* context) {
    const auto self = static_cast<pid_t>(syscall(SYS_gettid));
    pid_t reporter = 0;
    if (!faultState.faultThread.compare_exchange_strong(reporter, self)) {
        if (reporter != self) {
            // Another thread is reporting its fault and will end the process.
            for (;;) {
                pause();
            }
        }
        // A fault inside the handler itself: report what is known so far,
        // once, and end all the same.
        if (!faultState.reporting.exchange(true)) {
            reportFault();
        }
        _exit(0);
    }

    const Registers registers = registersOf(context);
    const bool overflow =
        signo == SIGSEGV &&
        isStackOverflow(reinterpret_cast<std::uintptr_t>(info->si_addr), registers.sp);
    faultState.record.code = faultCodeFor(signo, info->si_code, overflow);
    faultState.record.position = unknownSourcePosition();

    // The log's last lines are the record of what led here: out first.
    if (const FaultFlushHook flush = faultState.flush.load()) {
        flush();
    }

    FaultFrame frame{registers.pc, registers.sp, 0};
    if (!overflow) {
        frame.returnAddress = returnAddressOf(context, registers.sp);
    }
    faultState.code.collect(frame, faultState.addresses);
    faultState.record.position = faultState.lines.locate(faultState.addresses);

    faultState.reporting.store(true);
    reportFault();
    _exit(0);
}

std::uintptr_t lowestMainStackAddress() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) {
        return 0;
    }
    void* low = nullptr;
    std::size_t size = 0;
    const int result = pthread_attr_getstack(&attributes, &low, &size);
    pthread_attr_destroy(&attributes);
    return result == 0 ? reinterpret_cast<std::uintptr_t>(low) : 0;
}

}  // namespace

FaultReportRegistration::FaultReportRegistration(FaultFlushHook flush, const char* boxHelperPath,
                                                 const char* lineHelperPath) {
    if (faultState.registered.exchange(true)) {
        return;
    }
    faultState.code.note();
    faultState.lines.prepare(lineHelperPath, CORVANE_SOURCE_DIR);
    faultState.box.prepare(boxHelperPath);
    faultState.flush.store(flush);
    faultState.mainStackLow = lowestMainStackAddress();
    faultState.record = {0, unknownSourcePosition()};

    void* mapping = mmap(nullptr, AltStackGuard + AltStackSize, PROT_NONE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (mapping != MAP_FAILED) {
        void* stack = static_cast<char*>(mapping) + AltStackGuard;
        stack_t alternate{};
        alternate.ss_sp = stack;
        alternate.ss_size = AltStackSize;
        if (mprotect(stack, AltStackSize, PROT_READ | PROT_WRITE) == 0 &&
            sigaltstack(&alternate, &previousStack_) == 0) {
            stack_ = mapping;
        } else {
            munmap(mapping, AltStackGuard + AltStackSize);
        }
    }

    struct sigaction action {};
    action.sa_sigaction = onFault;
    // SA_NODEFER: a fault inside the handler must reach it again (and end in
    // a report) rather than kill the process while the signal is blocked.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(FaultSignals); ++i) {
        sigaction(FaultSignals[i], &action, &previous_[i]);
    }
    registered_ = true;
}

FaultReportRegistration::~FaultReportRegistration() {
    if (!registered_) {
        return;
    }
    for (std::size_t i = 0; i < std::size(FaultSignals); ++i) {
        sigaction(FaultSignals[i], &previous_[i], nullptr);
    }
    if (stack_ != nullptr) {
        stack_t earlier = previousStack_;
        earlier.ss_flags &= ~SS_ONSTACK;
        sigaltstack(&earlier, nullptr);
        munmap(stack_, AltStackGuard + AltStackSize);
    }
    faultState.flush.store(nullptr);
    faultState.registered.store(false);
}

void setFaultFlushHook(FaultFlushHook flush) {
    faultState.flush.store(flush);
}

void reportFault() {
    const FaultRecord& record = faultState.record;
    const std::size_t length =
        formatFaultReport(faultState.text, sizeof faultState.text, record.position.file,
                          record.position.line, record.code);
    writeAll(STDERR_FILENO, faultState.text, length);
    faultState.box.show(faultState.text);
}

}  // namespace corvane
