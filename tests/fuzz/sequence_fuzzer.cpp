// Scripts of queries, answers, clock steps, expiry passes, send failures and
// bursts (the step encoding is in SequenceHarness.h).
#include <cstddef>
#include <cstdint>

#include "SequenceHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::Script script({data, size});
    corvane::fuzz::Sequence sequence(corvane::fuzz::ScriptQueryBudget);
    sequence.run(script);
    return 0;
}
