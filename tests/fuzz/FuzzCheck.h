#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding: say which one and abort, so that libFuzzer
// keeps the input as a crasher and the replay of a regression file fails.
#define FUZZ_CHECK(condition, what)                                                              \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: invariant broken: %s (%s)\n", __FILE__, __LINE__, what, \
                         #condition);                                                            \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)
