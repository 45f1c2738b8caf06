// A flood of up to 65,536 queries from one client, enough to hold every
// transaction number, then a script against the full tables (the encoding is
// in SequenceHarness.h). Each input pays for its flood, so this target runs
// slowly and apart from the sequence target.
#include <cstddef>
#include <cstdint>

#include "SequenceHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::Script script({data, size});
    corvane::fuzz::Sequence sequence(corvane::fuzz::FloodQueryBudget);
    sequence.flood(script);
    sequence.run(script);
    return 0;
}
