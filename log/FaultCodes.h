#pragma once

#include <array>
#include <cstdint>

namespace corvane {

// The fault record speaks in 32-bit exception codes, so that one table of
// descriptions serves every kind of fault. A signal is turned into the code
// of the processor exception it stands for.
namespace faultCode {
inline constexpr std::uint32_t AccessViolation = 0xC0000005;
inline constexpr std::uint32_t ArrayBoundsExceeded = 0xC000008C;
inline constexpr std::uint32_t Breakpoint = 0x80000003;
inline constexpr std::uint32_t MisalignedData = 0x80000002;
inline constexpr std::uint32_t FloatDenormalOperand = 0xC000008D;
inline constexpr std::uint32_t FloatDivideByZero = 0xC000008E;
inline constexpr std::uint32_t FloatInexactResult = 0xC000008F;
inline constexpr std::uint32_t FloatInvalidOperation = 0xC0000090;
inline constexpr std::uint32_t FloatOverflow = 0xC0000091;
inline constexpr std::uint32_t FloatStackCheck = 0xC0000092;
inline constexpr std::uint32_t FloatUnderflow = 0xC0000093;
inline constexpr std::uint32_t IllegalInstruction = 0xC000001D;
inline constexpr std::uint32_t PageError = 0xC0000006;
inline constexpr std::uint32_t IntegerDivideByZero = 0xC0000094;
inline constexpr std::uint32_t IntegerOverflow = 0xC0000095;
inline constexpr std::uint32_t InvalidDisposition = 0xC0000026;
inline constexpr std::uint32_t Noncontinuable = 0xC0000025;
inline constexpr std::uint32_t PrivilegedInstruction = 0xC0000096;
inline constexpr std::uint32_t SingleStep = 0x80000004;
inline constexpr std::uint32_t StackOverflow = 0xC00000FD;
// Signals that stand for no processor exception (an abort, say) get a code
// of their own in the range no processor exception uses, so that they read
// as unknown: 0xE0000000 plus the signal number.
inline constexpr std::uint32_t SignalBase = 0xE0000000;
}  // namespace faultCode

struct FaultText {
    std::uint32_t code;
    const char* description;
};

// faultTexts: from exception code to description, searched from the first
// row. "Division by zero " keeps its trailing space.
inline constexpr std::array<FaultText, 20> faultTexts{{
    {faultCode::AccessViolation, "Invalid memory access"},
    {faultCode::ArrayBoundsExceeded, "Array bounds exceeded"},
    {faultCode::Breakpoint, "Debugger breakpoint reached"},
    {faultCode::MisalignedData, "Misaligned data access"},
    {faultCode::FloatDenormalOperand, "Denormal floating-point operand"},
    {faultCode::FloatDivideByZero, "Division by zero (floating-point)"},
    {faultCode::FloatInexactResult, "Inexact floating-point result"},
    {faultCode::FloatInvalidOperation, "Invalid floating-point operation"},
    {faultCode::FloatOverflow, "Floating-point overflow (exponent to great)"},
    {faultCode::FloatStackCheck, "Floating-point stack overflow or underflow"},
    {faultCode::FloatUnderflow, "Floating-point underflow (exponent too small)"},
    {faultCode::IllegalInstruction, "Illegal instruction"},
    {faultCode::PageError, "Memory page error"},
    {faultCode::IntegerDivideByZero, "Division by zero "},
    {faultCode::IntegerOverflow, "Integer overflow"},
    {faultCode::InvalidDisposition, "Exception handler returned unknown value"},
    {faultCode::Noncontinuable,
     "Exception handler tried to continue after non-continuable exception"},
    {faultCode::PrivilegedInstruction, "Privileged instruction"},
    {faultCode::SingleStep, "Single step trap"},
    {faultCode::StackOverflow, "Stack overflow"},
}};

inline constexpr const char* UnknownFaultText = "Unknown error code";

// The exception code for a fatal signal, from its number and si_code.
// stackOverflow says that a SIGSEGV hit the end of a stack; it is ignored for
// every other signal. Async-signal-safe.
std::uint32_t faultCodeFor(int signo, int siCode, bool stackOverflow) noexcept;

// The description of a code from faultTexts, or UnknownFaultText.
// Async-signal-safe.
const char* faultDescription(std::uint32_t code) noexcept;

}  // namespace corvane
