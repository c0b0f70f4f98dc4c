#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the run when a rule the harness checks is broken, so that libFuzzer
// reports the input that broke it as it reports a crash.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);       \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
