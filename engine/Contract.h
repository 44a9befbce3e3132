#pragma once

#include <cstdio>
#include <cstdlib>

/// Stops the process with a diagnostic when a caller breaks a precondition. Unlike assert it
/// stays on in release builds: a broken precondition would otherwise give silent garbage.
#define SUMIRO_EXPECTS(condition, message)                                                    \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: precondition failed: %s (%s)\n", __FILE__, __LINE__, \
                         #condition, message);                                                \
            std::abort();                                                                     \
        }                                                                                     \
    } while (false)
