#include "log/FaultCodes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <string>

namespace corvane {
namespace {

struct SignalCase {
    const char* name;
    int signo;
    int siCode;
    bool stackOverflow;
    std::uint32_t code;
};

class FaultCodeFor : public ::testing::TestWithParam<SignalCase> {};

TEST_P(FaultCodeFor, MapsSignalAndReasonToTheExceptionCode) {
    const SignalCase& c = GetParam();
    EXPECT_EQ(faultCodeFor(c.signo, c.siCode, c.stackOverflow), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, FaultCodeFor,
    ::testing::Values(SignalCase{"SegvMapping", SIGSEGV, SEGV_MAPERR, false, 0xC0000005},
                      SignalCase{"SegvAccess", SIGSEGV, SEGV_ACCERR, false, 0xC0000005},
                      SignalCase{"SegvStackOverflow", SIGSEGV, SEGV_MAPERR, true, 0xC00000FD},
                      SignalCase{"IntegerDivide", SIGFPE, FPE_INTDIV, false, 0xC0000094},
                      SignalCase{"IntegerOverflow", SIGFPE, FPE_INTOVF, false, 0xC0000095},
                      SignalCase{"FloatDivide", SIGFPE, FPE_FLTDIV, false, 0xC000008E},
                      SignalCase{"FloatOverflow", SIGFPE, FPE_FLTOVF, false, 0xC0000091},
                      SignalCase{"FloatUnderflow", SIGFPE, FPE_FLTUND, false, 0xC0000093},
                      SignalCase{"FloatInexact", SIGFPE, FPE_FLTRES, false, 0xC000008F},
                      SignalCase{"FloatInvalid", SIGFPE, FPE_FLTINV, false, 0xC0000090},
                      SignalCase{"FloatSubscript", SIGFPE, FPE_FLTSUB, false, 0xC000008C},
                      // A stack overflow is a SIGSEGV matter only.
                      SignalCase{"FpeIgnoresOverflowFlag", SIGFPE, FPE_INTDIV, true, 0xC0000094},
                      SignalCase{"FpeSentByKill", SIGFPE, SI_USER, false, 0xE0000000 + SIGFPE},
                      SignalCase{"IllegalOpcode", SIGILL, ILL_ILLOPC, false, 0xC000001D},
                      SignalCase{"IllegalOperand", SIGILL, ILL_ILLOPN, false, 0xC000001D},
                      SignalCase{"PrivilegedOpcode", SIGILL, ILL_PRVOPC, false, 0xC0000096},
                      SignalCase{"PrivilegedRegister", SIGILL, ILL_PRVREG, false, 0xC0000096},
                      SignalCase{"BusMisaligned", SIGBUS, BUS_ADRALN, false, 0x80000002},
                      SignalCase{"BusNoSuchAddress", SIGBUS, BUS_ADRERR, false, 0xC0000006},
                      SignalCase{"BusObjectError", SIGBUS, BUS_OBJERR, false, 0xC0000006},
                      SignalCase{"TrapBreakpoint", SIGTRAP, TRAP_BRKPT, false, 0x80000003},
                      SignalCase{"TrapInt3OnX86", SIGTRAP, SI_KERNEL, false, 0x80000003},
                      SignalCase{"TrapTrace", SIGTRAP, TRAP_TRACE, false, 0x80000004},
                      SignalCase{"Abort", SIGABRT, SI_TKILL, false, 0xE0000000 + SIGABRT}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FaultDescription, ReadsTheTableRowOfEachCode) {
    EXPECT_STREQ(faultDescription(0xC0000005), "Invalid memory access");
    EXPECT_STREQ(faultDescription(0xC0000094), "Division by zero ");
    EXPECT_STREQ(faultDescription(0xC0000091), "Floating-point overflow (exponent to great)");
    EXPECT_STREQ(faultDescription(0xC00000FD), "Stack overflow");
    EXPECT_STREQ(faultDescription(0x80000004), "Single step trap");
}

TEST(FaultDescription, CodesOutsideTheTableAreUnknown) {
    for (const std::uint32_t code : {0u, 0xC0000000u, 0xE0000000u + SIGABRT, 0xFFFFFFFFu}) {
        EXPECT_STREQ(faultDescription(code), "Unknown error code") << std::hex << code;
    }
}

// The table is searched from the first row: a repeated code would hide the
// later row's description.
TEST(FaultDescription, TableRowsHaveDistinctCodes) {
    std::set<std::uint32_t> codes;
    for (const FaultText& row : faultTexts) {
        EXPECT_TRUE(codes.insert(row.code).second) << "repeated row " << std::hex << row.code;
    }
}

}  // namespace
}  // namespace corvane
