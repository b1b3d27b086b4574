#include "report/catalog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core/state.h"

// fuzz/catalog.cpp: hands what the check accepts to catopen and catgets, and
// traps on a usage message that leaves the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::string;

// gencat's catalog for a message source, given by its path or its text.
// Named after the process: ctest runs each test in one of its own, in parallel.
Bytes tvk_gencat(std::string source, const char* text = nullptr) {
    const std::string name = testing::TempDir() + "tvk-catalog-" + std::to_string(getpid());
    const std::string out = name + ".cat";
    if (text != nullptr)
        std::ofstream(source = name + ".msg") << text;
    EXPECT_EQ(std::system(("LC_ALL=C.UTF-8 gencat --new " + out + " " + source).c_str()), 0);
    std::ifstream file(out, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(file), {}};
    std::remove(out.c_str()), std::remove((name + ".msg").c_str());
    return bytes;
}

std::uint32_t word(const Bytes& bytes, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

void put(Bytes& bytes, std::size_t at, std::size_t value) {
    const auto word = static_cast<std::uint32_t>(value);
    std::memcpy(bytes.data() + at, &word, sizeof word);
}

std::size_t strings_size(const Bytes& bytes) {
    return bytes.size() - 12 - 24 * std::size_t{word(bytes, 4)} * word(bytes, 8);
}

// Where the string offset of a set, as stored, and a message lies.
std::size_t offset_at(const Bytes& bytes, std::uint32_t set, std::uint32_t message) {
    std::size_t at = 12;
    while (at + 12 < bytes.size() && (word(bytes, at) != set || word(bytes, at + 4) != message))
        at += 12;
    return at + 8;
}

// The check's verdict, "" when accepted, else its reason; what it accepts
// is read back through catopen and catgets.
std::string tvk_verdict(const Bytes& bytes) {
    tvk_state.opt_diagnose = true;
    tvk_state.why[0] = '\0';
    const auto data = reinterpret_cast<const unsigned char*>(bytes.data());
    const bool sound = tvk_catalog_sound(data, bytes.size());
    EXPECT_EQ(sound, tvk_state.why[0] == '\0') << tvk_state.why;
    tvk_state.opt_diagnose = false;
    LLVMFuzzerTestOneInput(data, bytes.size());
    return tvk_state.why;
}

// gencat's catalogs of the tree are accepted; the inputs on which the fuzz
// target found an earlier check wanting are not.
TEST(CatalogCheck, FilesOfTheTree) {
    for (const char* language : {"eng", "fre", "ger", "ita", "por", "spa"})
        EXPECT_EQ(tvk_verdict(tvk_gencat(TVK_TEST_NLS "/" + std::string(language) + ".msg")), "");
    for (const auto& entry :
         std::filesystem::directory_iterator(TVK_TEST_NLS "/../fuzz/catalogs")) {
        std::ifstream file(entry.path(), std::ios::binary);
        EXPECT_NE(tvk_verdict({std::istreambuf_iterator<char>(file), {}}), "") << entry.path();
    }
}

struct Damage {
    const char* name;
    std::function<void(Bytes&)> spoil;
    const char* refusal; // "": accepted
};

// catopen walks the string at the largest offset of any cell, not only of
// the set that catgets is asked for (set 1, stored as 2).
TEST(CatalogCheck, DamagedFromGencat) {
    const Bytes made =
        tvk_gencat("", "$quote \"\n$set 1\n1 \"one %s\\n\"\n2 \"two\\n\"\n$set 7\n3 \"x\"\n");
    const auto swap = [](Bytes& b, std::size_t at) { put(b, at, __builtin_bswap32(word(b, at))); };
    const Damage rows[] = {
        {"as made", [](Bytes&) {}, ""},
        {"magic and sizes swapped", [&](Bytes& b) { swap(b, 0), swap(b, 4), swap(b, 8); }, ""},
        {"magic swapped alone", [&](Bytes& b) { swap(b, 0); }, "header: plane size"},
        {"no magic", [](Bytes& b) { b[0] ^= 1; }, "header: no catalog's magic"},
        {"shorter than a header", [](Bytes& b) { b.resize(11); }, "header: the file is shorter"},
        {"tables a byte short", [](Bytes& b) { b.resize(b.size() - strings_size(b) - 1); },
         "header: plane size"},
        {"cut in a usage string", [](Bytes& b) { b.resize(b.size() - strings_size(b) + 3); },
         "(set 2, message 2): its string starts outside"},
        {"last NUL dropped", [](Bytes& b) { b.back() = 'x'; }, "has no NUL in the file"},
        {"offset at the end", [](Bytes& b) { put(b, offset_at(b, 2, 1), strings_size(b)); },
         "(set 2, message 1): its string starts outside"},
        {"offset past the end", [](Bytes& b) { put(b, offset_at(b, 2, 1), strings_size(b) + 6); },
         "(set 2, message 1): its string starts outside"},
        {"offset at the last NUL",
         [](Bytes& b) { put(b, offset_at(b, 2, 1), strings_size(b) - 1); }, ""},
        {"other set's offset past the end",
         [](Bytes& b) { put(b, offset_at(b, 8, 3), strings_size(b) + 100); },
         "(set 8, message 3): its string starts outside"},
        {"2^31 * 2^30 cells", [](Bytes& b) { put(b, 4, 1u << 31), put(b, 8, 1u << 30); },
         "header: plane size 2147483648 and depth 1073741824"},
        {"plane size 0", [](Bytes& b) { put(b, 4, 0); }, "header: plane size 0"},
        {"depth 0", [](Bytes& b) { put(b, 8, 0); }, "and depth 0"},
        {"a plane too many", [](Bytes& b) { put(b, 8, (b.size() - 12) / 24 / word(b, 4) + 1); },
         "header: plane size"},
    };
    for (const Damage& row : rows) {
        Bytes bytes = made;
        row.spoil(bytes);
        const std::string why = tvk_verdict(bytes);
        EXPECT_TRUE(*row.refusal ? why.find(row.refusal) != std::string::npos : why.empty())
            << row.name << ": " << why;
    }
    // No message, no string for the one empty cell to point into.
    EXPECT_NE(tvk_verdict(tvk_gencat("", "$set 1\n")).find("starts outside"), std::string::npos);
}

} // namespace
