/* A test filter plug-in that ends the program from inside FilterQuery, as a
 * plug-in may: exit(3) for "exit.example", quick_exit(4) for
 * "quick-exit.example", Forward for every other name. Neither road runs the
 * program's destructors; the log's held lines must reach the file all the
 * same. */
#include <stdlib.h>

#include <corvane/filter.h>

static int isName(const char16_t* name, const char16_t* wanted) {
    while (*name != 0 && *name == *wanted) {
        ++name;
        ++wanted;
    }
    return *name == *wanted;
}

int32_t FilterQuery(const char16_t* name) {
    if (isName(name, u"exit.example")) {
        exit(3);
    }
    if (isName(name, u"quick-exit.example")) {
        quick_exit(4);
    }
    return Forward;
}
