/* A test filter plug-in that takes its time: FilterQuery sleeps 200 ms before
 * answering Forward for "slow.example", and answers Forward at once for every
 * other name. The whole program waits while it runs, so the queries behind a
 * slow one must wait in the socket, not be lost. */
#define _POSIX_C_SOURCE 199309L
#include <time.h>

#include <corvane/filter.h>

static int isName(const char16_t* name, const char16_t* wanted) {
    while (*name != 0 && *name == *wanted) {
        ++name;
        ++wanted;
    }
    return *name == *wanted;
}

int32_t FilterQuery(const char16_t* name) {
    if (isName(name, u"slow.example")) {
        struct timespec pause = {0, 200L * 1000L * 1000L};
        while (nanosleep(&pause, &pause) != 0) {
        }
    }
    return Forward;
}
