// The exercises' one way to report a broken promise: a line saying which, then
// abort(), which libFuzzer and the replay test both see as a failure.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void FuzzRequire(bool kept, const char* promise) {
    if (!kept) {
        std::fprintf(stderr, "promise broken: %s\n", promise);
        std::abort();
    }
}
