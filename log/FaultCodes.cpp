#include "log/FaultCodes.h"

#include <csignal>

namespace corvane {

namespace {

std::uint32_t floatingPointCode(int siCode) noexcept {
    switch (siCode) {
        case FPE_INTDIV:
            return faultCode::IntegerDivideByZero;
        case FPE_INTOVF:
            return faultCode::IntegerOverflow;
        case FPE_FLTDIV:
            return faultCode::FloatDivideByZero;
        case FPE_FLTOVF:
            return faultCode::FloatOverflow;
        case FPE_FLTUND:
            return faultCode::FloatUnderflow;
        case FPE_FLTRES:
            return faultCode::FloatInexactResult;
        case FPE_FLTINV:
            return faultCode::FloatInvalidOperation;
        case FPE_FLTSUB:
            return faultCode::ArrayBoundsExceeded;
        default:
            // Sent by another process or undiagnosed: no exception to name.
            return faultCode::SignalBase + static_cast<std::uint32_t>(SIGFPE);
    }
}

}  // namespace

std::uint32_t faultCodeFor(int signo, int siCode, bool stackOverflow) noexcept {
    switch (signo) {
        case SIGSEGV:
            return stackOverflow ? faultCode::StackOverflow : faultCode::AccessViolation;
        case SIGFPE:
            return floatingPointCode(siCode);
        case SIGILL:
            return siCode == ILL_PRVOPC || siCode == ILL_PRVREG ? faultCode::PrivilegedInstruction
                                                                : faultCode::IllegalInstruction;
        case SIGBUS:
            return siCode == BUS_ADRALN ? faultCode::MisalignedData : faultCode::PageError;
        case SIGTRAP:
            // A breakpoint instruction arrives as TRAP_BRKPT on some processors
            // and as SI_KERNEL on x86; only the trace trap is a single step.
            return siCode == TRAP_TRACE ? faultCode::SingleStep : faultCode::Breakpoint;
        default:
            return faultCode::SignalBase + static_cast<std::uint32_t>(signo);
    }
}

const char* faultDescription(std::uint32_t code) noexcept {
    for (const FaultText& row : faultTexts) {
        if (row.code == code) {
            return row.description;
        }
    }
    return UnknownFaultText;
}

}  // namespace corvane
