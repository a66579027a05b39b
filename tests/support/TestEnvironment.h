// Environment every test process starts with: the checkout's paths for the
// tests and the programs they start, a log folder inside the build tree, and
// the sanitizers' options.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// Defines the sanitizers' default options; used once, in a test main.
#define GRITTOR_TEST_SANITIZER_OPTIONS                                                                              \
    extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }                                   \
    extern "C" const char *__ubsan_default_options() { return "print_stacktrace=1"; }

namespace grittor::test {

inline void SetTestEnvironment()
{
    setenv("GRITTOR_SOURCE_DIR", GRITTOR_TEST_SOURCE_DIR, 0);
    setenv("GRITTOR_BINARY_DIR", GRITTOR_TEST_BINARY_DIR, 0);
    const std::string logs = std::string(GRITTOR_TEST_BINARY_DIR) + "/test-logs";
    std::error_code ec;
    std::filesystem::create_directories(logs, ec);
    setenv("GRITTOR_LOG_DIR", logs.c_str(), 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

} // namespace grittor::test
