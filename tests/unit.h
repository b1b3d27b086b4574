// What the unit tests beside the code share.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/state.h"

namespace fs = std::filesystem;

inline std::string tvk_slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A private directory, the working directory while it lives: ctest runs
// the tests in parallel.
struct tvk_scratch {
    const fs::path before = fs::current_path();
    const std::string dir = [] {
        char name[] = "/tmp/tvk-unit-XXXXXX";
        return std::string(mkdtemp(name) != nullptr ? name : "/nonexistent");
    }();
    tvk_scratch() { fs::current_path(dir); }
    ~tvk_scratch() { fs::current_path(before), fs::remove_all(dir); }
};

// Runs check under --diagnose, which must give a reason exactly when it refuses; returns it.
template <class Check> std::string tvk_why_of(Check check) {
    tvk_state.opt_diagnose = true;
    tvk_state.why[0] = '\0';
    const bool sound = check();
    tvk_state.opt_diagnose = false;
    EXPECT_EQ(sound, tvk_state.why[0] == '\0') << tvk_state.why;
    return tvk_state.why;
}

// A reason that holds refusal, or none when refusal is "".
inline testing::AssertionResult tvk_gives(const std::string& why, std::string_view refusal) {
    if (refusal.empty() ? why.empty() : why.find(refusal) != std::string::npos)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the reason: \"" << why << "\"";
}
