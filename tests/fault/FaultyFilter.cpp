// A filter plug-in that faults: FilterQuery writes through a null pointer.
// The fault report must name the line of the caller's statement, never a line
// in here, although this file lies in the source tree too: the plug-in is a
// shared library, not the program.
#include <cstdint>

namespace {
// volatile, so that the compiler keeps the store it would otherwise be free
// to drop as undefined.
std::int32_t* volatile verdictSlot = nullptr;
}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t FilterQuery(const char16_t* name) {
    *verdictSlot = name[0];
    return *verdictSlot;
}
