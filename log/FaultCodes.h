#pragma once

#include <array>
#include <cstdint>

namespace corvane {

// The fault record speaks in 32-bit exception codes, so that one table of
// descriptions serves every kind of fault. A signal is turned into the code
// of the processor exception it stands for.
namespace faultCode {
inline constexpr std::uint32_t kAccessViolation = 0xC0000005;
inline constexpr std::uint32_t kArrayBoundsExceeded = 0xC000008C;
inline constexpr std::uint32_t kBreakpoint = 0x80000003;
inline constexpr std::uint32_t kMisalignedData = 0x80000002;
inline constexpr std::uint32_t kFloatDenormalOperand = 0xC000008D;
inline constexpr std::uint32_t kFloatDivideByZero = 0xC000008E;
inline constexpr std::uint32_t kFloatInexactResult = 0xC000008F;
inline constexpr std::uint32_t kFloatInvalidOperation = 0xC0000090;
inline constexpr std::uint32_t kFloatOverflow = 0xC0000091;
inline constexpr std::uint32_t kFloatStackCheck = 0xC0000092;
inline constexpr std::uint32_t kFloatUnderflow = 0xC0000093;
inline constexpr std::uint32_t kIllegalInstruction = 0xC000001D;
inline constexpr std::uint32_t kPageError = 0xC0000006;
inline constexpr std::uint32_t kIntegerDivideByZero = 0xC0000094;
inline constexpr std::uint32_t kIntegerOverflow = 0xC0000095;
inline constexpr std::uint32_t kInvalidDisposition = 0xC0000026;
inline constexpr std::uint32_t kNoncontinuable = 0xC0000025;
inline constexpr std::uint32_t kPrivilegedInstruction = 0xC0000096;
inline constexpr std::uint32_t kSingleStep = 0x80000004;
inline constexpr std::uint32_t kStackOverflow = 0xC00000FD;
// Signals that stand for no processor exception (an abort, say) get a code
// of their own in the range no processor exception uses, so that they read
// as unknown: 0xE0000000 plus the signal number.
inline constexpr std::uint32_t kSignalBase = 0xE0000000;
}  // namespace faultCode

struct FaultText {
    std::uint32_t code;
    const char* description;
};

// faultTexts: from exception code to description, searched from the first
// row. "Division by zero " keeps its trailing space.
inline constexpr std::array<FaultText, 20> faultTexts{{
    {faultCode::kAccessViolation, "Invalid memory access"},
    {faultCode::kArrayBoundsExceeded, "Array bounds exceeded"},
    {faultCode::kBreakpoint, "Debugger breakpoint reached"},
    {faultCode::kMisalignedData, "Misaligned data access"},
    {faultCode::kFloatDenormalOperand, "Denormal floating-point operand"},
    {faultCode::kFloatDivideByZero, "Division by zero (floating-point)"},
    {faultCode::kFloatInexactResult, "Inexact floating-point result"},
    {faultCode::kFloatInvalidOperation, "Invalid floating-point operation"},
    {faultCode::kFloatOverflow, "Floating-point overflow (exponent to great)"},
    {faultCode::kFloatStackCheck, "Floating-point stack overflow or underflow"},
    {faultCode::kFloatUnderflow, "Floating-point underflow (exponent too small)"},
    {faultCode::kIllegalInstruction, "Illegal instruction"},
    {faultCode::kPageError, "Memory page error"},
    {faultCode::kIntegerDivideByZero, "Division by zero "},
    {faultCode::kIntegerOverflow, "Integer overflow"},
    {faultCode::kInvalidDisposition, "Exception handler returned unknown value"},
    {faultCode::kNoncontinuable,
     "Exception handler tried to continue after non-continuable exception"},
    {faultCode::kPrivilegedInstruction, "Privileged instruction"},
    {faultCode::kSingleStep, "Single step trap"},
    {faultCode::kStackOverflow, "Stack overflow"},
}};

inline constexpr const char* kUnknownFaultText = "Unknown error code";

// The exception code for a fatal signal, from its number and si_code.
// stackOverflow says that a SIGSEGV hit the end of a stack; it is ignored for
// every other signal. Async-signal-safe.
std::uint32_t faultCodeFor(int signo, int siCode, bool stackOverflow) noexcept;

// The description of a code from faultTexts, or kUnknownFaultText.
// Async-signal-safe.
const char* faultDescription(std::uint32_t code) noexcept;

}  // namespace corvane
