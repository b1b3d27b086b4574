#include "report/catalog.h"

#include <algorithm>
#include <cstdint>
#include <functional>

#include "unit.h"

// fuzz/catalog.cpp: hands what the check accepts to catopen and catgets, and traps on a usage
// message that leaves the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

using Bytes = std::string;

// gencat's catalog for a message source, made in the working directory.
static Bytes gencat(const std::string& text) {
    std::ofstream("in.msg") << text;
    EXPECT_EQ(std::system("LC_ALL=C.UTF-8 gencat --new out.cat in.msg"), 0);
    return tvk_slurp("out.cat");
}

static std::uint32_t word(const Bytes& bytes, std::size_t at) {
    std::uint32_t value;
    return std::memcpy(&value, &bytes[at], sizeof value), value;
}

static void put(Bytes& bytes, std::size_t at, std::size_t value) {
    const auto word = static_cast<std::uint32_t>(value);
    std::memcpy(&bytes[at], &word, sizeof word);
}

// Where the string offset of a set, as stored, and a message lies.
static std::size_t offset(const Bytes& bytes, char set, char message) {
    return bytes.find(Bytes{set, 0, 0, 0, message, 0, 0, 0}, 12) + 8;
}

// The check's verdict; what it accepts is read back through catopen and catgets.
static testing::AssertionResult verdict(const Bytes& bytes, const char* refusal) {
    const auto data = reinterpret_cast<const unsigned char*>(bytes.data());
    LLVMFuzzerTestOneInput(data, bytes.size());
    return tvk_refuses([&] { return tvk_catalog_sound(data, bytes.size()); }, refusal);
}

// gencat's catalogs of the tree are accepted; the inputs on which the fuzz target found an
// earlier check wanting are not.
TEST(CatalogCheck, FilesOfTheTree) {
    const tvk_scratch scratch;
    for (const char* language : {"eng", "fre", "ger", "ita", "por", "spa"})
        EXPECT_TRUE(
            verdict(gencat(tvk_slurp(TVK_TEST_NLS "/" + std::string(language) + ".msg")), ""));
    EXPECT_TRUE(verdict(tvk_slurp(TVK_TEST_NLS "/../fuzz/catalogs/sizes-wrap"), "header: plane"));
    EXPECT_TRUE(verdict(tvk_slurp(TVK_TEST_NLS "/../fuzz/catalogs/string-outside"), "outside"));
}

// catopen walks the string at the largest offset of any cell, not only of the set that
// catgets is asked for (set 1, stored as 2).
TEST(CatalogCheck, DamagedFromGencat) {
    const tvk_scratch scratch;
    const Bytes made =
        gencat("$quote \"\n$set 1\n1 \"one %s\\n\"\n2 \"two\\n\"\n$set 7\n3 \"x\"\n");
    const std::size_t strings = made.size() - 12 - 24 * std::size_t{word(made, 4)} * word(made, 8);
    const auto swap = [](Bytes& b, std::size_t at) { std::reverse(&b[at], &b[at + 4]); };
    const std::pair<std::function<void(Bytes&)>, const char*> rows[] = {
        {[](Bytes&) {}, ""},
        {[&](Bytes& b) { swap(b, 0), swap(b, 4), swap(b, 8); }, ""}, // the other byte order
        {[&](Bytes& b) { swap(b, 0); }, "header: plane size"}, // the sizes swapped with the magic
        {[](Bytes& b) { b[0] ^= 1; }, "header: no catalog's magic"},
        {[](Bytes& b) { b.resize(11); }, "header: the file is shorter"},
        {[&](Bytes& b) { b.resize(b.size() - strings - 1); },
         "header: plane size"}, // tables a byte short
        {[&](Bytes& b) { b.resize(b.size() - strings + 3); },
         "(set 2, message 2): its string starts outside"}, // cut in a usage string
        {[](Bytes& b) { b.back() = 'x'; }, "has no NUL in the file"},
        {[&](Bytes& b) { put(b, offset(b, 2, 1), strings); },
         "(set 2, message 1): its string starts outside"},
        {[&](Bytes& b) { put(b, offset(b, 2, 1), strings - 1); }, ""}, // the last NUL
        {[&](Bytes& b) { put(b, offset(b, 8, 3), strings + 100); },
         "(set 8, message 3): its string starts outside"},
        {[](Bytes& b) { put(b, 4, 1u << 31), put(b, 8, 1u << 30); },
         "header: plane size 2147483648 and depth 1073741824"},
        {[](Bytes& b) { put(b, 4, 0); }, "header: plane size 0"},
        {[](Bytes& b) { put(b, 8, 0); }, "and depth 0"},
    };
    for (const auto& row : rows) {
        Bytes bytes = made;
        row.first(bytes);
        EXPECT_TRUE(verdict(bytes, row.second)) << "row " << &row - rows;
    }
    // No message, no string for the one empty cell to point into.
    EXPECT_TRUE(verdict(gencat("$set 1\n"), "starts outside"));
}
