// What a fuzz target demands of the code: a broken rule prints itself and aborts, which libFuzzer
// reports as a crash (keeping the input) and the replay test as a failure.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);    \
            std::fprintf(stderr, "  " __VA_ARGS__);                                                \
            std::fprintf(stderr, "\n");                                                            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
