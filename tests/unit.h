// What the unit tests beside the code share.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/state.h"

namespace fs = std::filesystem;

inline std::string tvk_slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A private directory, the working directory while it lives.
struct tvk_scratch {
    const fs::path before = fs::current_path();
    std::string dir = "/tmp/tvk-unit-XXXXXX";
    tvk_scratch() { fs::current_path(mkdtemp(dir.data()) != nullptr ? dir : ""); }
    ~tvk_scratch() { fs::current_path(before), fs::remove_all(dir); }
};

// Runs check under --diagnose: it gives a reason exactly when it refuses, one that holds
// refusal ("^...": that starts with it); "": it accepts; nullptr: as it decides.
template <class Check> testing::AssertionResult tvk_refuses(Check check, const char* refusal) {
    tvk_state.opt_diagnose = true;
    tvk_state.why[0] = '\0';
    const bool sound = check();
    tvk_state.opt_diagnose = false;
    const std::string_view why = tvk_state.why;
    const bool start = refusal && *refusal == '^';
    const std::size_t at = refusal ? why.find(refusal + start) : 0;
    if (sound == why.empty() && (!refusal || (*refusal ? at != why.npos && !(start && at) : sound)))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << (sound ? "accepted" : "refused") << ": " << why;
}
