// What every fuzz target shares: the libFuzzer entry point it defines and the
// check that turns a broken promise of a reader into a crash the fuzzer (or
// the corpus replay) reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Runs one input through a reader; returns 0. Defined once per target.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Aborts with the broken promise when the condition does not hold.
#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
