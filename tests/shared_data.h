// Test data that lives beside the repository (A5_SHARED_DIR: media files and conformance
// streams) rather than in it. A test that needs some of it checks with
// A5_SKIP_WITHOUT_SHARED(present, what): when the data is absent the test is skipped with
// "missing shared test data: <what>" (scripts/run-tests counts those lines), or fails when
// A5_REQUIRE_SHARED is set in the environment, as CI does, so that nothing is skipped there
// unnoticed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace a5test {

inline std::filesystem::path sharedPath(const std::filesystem::path& relative) {
    return std::filesystem::path(A5_SHARED_DIR) / relative;
}

inline bool sharedDataRequired() {
    const char* value = std::getenv("A5_REQUIRE_SHARED");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0 && std::strcmp(value, "OFF") != 0;
}

}  // namespace a5test

// `what` may be a chain of stream insertions ("x" << name). Returns from the calling function.
#define A5_SKIP_WITHOUT_SHARED(present, what)                                                  \
    do {                                                                                       \
        if (!(present)) {                                                                      \
            if (::a5test::sharedDataRequired()) {                                              \
                GTEST_FAIL() << "shared test data required but missing: " << what;             \
            } else {                                                                           \
                GTEST_SKIP() << "missing shared test data: " << what;                          \
            }                                                                                  \
        }                                                                                      \
    } while (0)
