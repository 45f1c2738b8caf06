#include "log/FaultCodes.h"

#include <csignal>

namespace corvane {

namespace {

std::uint32_t floatingPointCode(int siCode) noexcept {
    switch (siCode) {
        case FPE_INTDIV:
            return faultCode::kIntegerDivideByZero;
        case FPE_INTOVF:
            return faultCode::kIntegerOverflow;
        case FPE_FLTDIV:
            return faultCode::kFloatDivideByZero;
        case FPE_FLTOVF:
            return faultCode::kFloatOverflow;
        case FPE_FLTUND:
            return faultCode::kFloatUnderflow;
        case FPE_FLTRES:
            return faultCode::kFloatInexactResult;
        case FPE_FLTINV:
            return faultCode::kFloatInvalidOperation;
        case FPE_FLTSUB:
            return faultCode::kArrayBoundsExceeded;
        default:
            // Sent by another process or undiagnosed: no exception to name.
            return faultCode::kSignalBase + static_cast<std::uint32_t>(SIGFPE);
    }
}

}  // namespace

std::uint32_t faultCodeFor(int signo, int siCode, bool stackOverflow) noexcept {
    switch (signo) {
        case SIGSEGV:
            return stackOverflow ? faultCode::kStackOverflow : faultCode::kAccessViolation;
        case SIGFPE:
            return floatingPointCode(siCode);
        case SIGILL:
            return siCode == ILL_PRVOPC || siCode == ILL_PRVREG ? faultCode::kPrivilegedInstruction
                                                                : faultCode::kIllegalInstruction;
        case SIGBUS:
            return siCode == BUS_ADRALN ? faultCode::kMisalignedData : faultCode::kPageError;
        case SIGTRAP:
            // A breakpoint instruction arrives as TRAP_BRKPT on some processors
            // and as SI_KERNEL on x86; only the trace trap is a single step.
            return siCode == TRAP_TRACE ? faultCode::kSingleStep : faultCode::kBreakpoint;
        default:
            return faultCode::kSignalBase + static_cast<std::uint32_t>(signo);
    }
}

const char* faultDescription(std::uint32_t code) noexcept {
    for (const FaultText& row : faultTexts) {
        if (row.code == code) {
            return row.description;
        }
    }
    return kUnknownFaultText;
}

}  // namespace corvane
