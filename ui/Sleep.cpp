#include "ui/Sleep.h"

#include <cerrno>
#include <ctime>

namespace corvane {

void sleepMs(int ms) {
    if (ms <= 0) {
        return;
    }
    timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    // A signal cuts the sleep short; sleep the rest so that the pause lasts
    // what it says.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace corvane
