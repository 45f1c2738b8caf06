/* A test filter plug-in that faults on purpose: FilterQuery writes through a
 * null pointer when it is offered "crash.example" and answers Forward for
 * every other name. The program must end in its fault report, naming the
 * statement that called into the plug-in.
 * Written in C so that the public header is proven usable from C. */
#include <corvane/filter.h>

static int isName(const char16_t* name, const char16_t* wanted) {
    while (*name != 0 && *name == *wanted) {
        ++name;
        ++wanted;
    }
    return *name == *wanted;
}

/* Read through a volatile pointer, so the compiler cannot see the null and
 * turn the store into a trap instruction: the fault must be a real invalid
 * memory access. */
static int* volatile nowhere = 0;

int32_t FilterQuery(const char16_t* name) {
    if (isName(name, u"crash.example")) {
        *nowhere = 1;
    }
    return Forward;
}
