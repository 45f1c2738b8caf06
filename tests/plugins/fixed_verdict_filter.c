/* A test filter plug-in, built several times with different definitions:
 *   BLOCK_ONE             FilterQuery answers Block for "blocked.example" and
 *                         Forward for every other name;
 *   FIXED_VERDICT=n       it answers n for every name;
 *   EXPORT_NAME=ident     the function is exported under that name instead,
 *                         and nothing else is exported, so the library lacks
 *                         FilterQuery.
 * The builds that export FilterQuery also export TestFilterCalls, the number
 * of calls so far, so a test can tell how often the host offered a name.
 * Written in C so that the public header is proven usable from C. */
#include <corvane/filter.h>

#ifdef EXPORT_NAME
CORVANE_FILTER_EXPORT int32_t EXPORT_NAME(const char16_t* name);
int32_t EXPORT_NAME(const char16_t* name) {
    (void)name;
    return Block;
}
#else
static int32_t calls;

#ifdef BLOCK_ONE
static int isBlockedName(const char16_t* name) {
    const char16_t* blocked = u"blocked.example";
    while (*name != 0 && *name == *blocked) {
        ++name;
        ++blocked;
    }
    return *name == *blocked;
}
#endif

int32_t FilterQuery(const char16_t* name) {
    ++calls;
#ifdef BLOCK_ONE
    return isBlockedName(name) ? Block : Forward;
#else
    (void)name;
    return FIXED_VERDICT;
#endif
}

CORVANE_FILTER_EXPORT int32_t TestFilterCalls(void);
int32_t TestFilterCalls(void) {
    return calls;
}
#endif
