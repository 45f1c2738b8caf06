// A shared library the fault driver links, loaded at startup. A fault in here
// must still be reported at the driver's call: the library is not the
// program, although its source lies in the source tree.
#include "tests/fault/FaultyLibrary.h"

namespace {
// volatile, so that the compiler keeps the store it would otherwise be free
// to drop as undefined.
int* volatile countSlot = nullptr;
}  // namespace

int countIntoNowhere(int count) {
    *countSlot = count;
    return *countSlot;
}
