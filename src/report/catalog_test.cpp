#include "report/catalog.h"

#include <cstdint>
#include <cstring>
#include <functional>

#include "unit.h"

// fuzz/catalog.cpp: hands what the check accepts to catopen and catgets, and
// traps on a usage message that leaves the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::string;

// gencat's catalog for a message source, given by its path or its text.
// Named after the process: ctest runs each test in one of its own, in parallel.
Bytes gencat(std::string source, const char* text = nullptr) {
    const std::string name = testing::TempDir() + "tvk-catalog-" + std::to_string(getpid());
    if (text != nullptr)
        std::ofstream(source = name + ".msg") << text;
    EXPECT_EQ(std::system(("LC_ALL=C.UTF-8 gencat --new " + name + ".cat " + source).c_str()), 0);
    const Bytes bytes = tvk_slurp(name + ".cat");
    fs::remove(name + ".cat"), fs::remove(name + ".msg");
    return bytes;
}

std::uint32_t word(const Bytes& bytes, std::size_t at) {
    std::uint32_t value;
    return std::memcpy(&value, &bytes[at], sizeof value), value;
}

void put(Bytes& bytes, std::size_t at, std::size_t value) {
    const auto word = static_cast<std::uint32_t>(value);
    std::memcpy(&bytes[at], &word, sizeof word);
}

std::size_t strings_size(const Bytes& b) {
    return b.size() - 12 - 24 * std::size_t{word(b, 4)} * word(b, 8);
}

// Where the string offset of a set, as stored, and a message lies.
std::size_t offset_at(const Bytes& bytes, std::uint32_t set, std::uint32_t message) {
    std::size_t at = 12;
    while (at + 12 < bytes.size() && (word(bytes, at) != set || word(bytes, at + 4) != message))
        at += 12;
    return at + 8;
}

// The check's reason, "" when it accepts; what it accepts is read back
// through catopen and catgets.
std::string verdict(const Bytes& bytes) {
    const auto data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::string why = tvk_why_of([&] { return tvk_catalog_sound(data, bytes.size()); });
    LLVMFuzzerTestOneInput(data, bytes.size());
    return why;
}

// gencat's catalogs of the tree are accepted; the inputs on which the fuzz
// target found an earlier check wanting are not.
TEST(CatalogCheck, FilesOfTheTree) {
    for (const char* language : {"eng", "fre", "ger", "ita", "por", "spa"})
        EXPECT_EQ(verdict(gencat(TVK_TEST_NLS "/" + std::string(language) + ".msg")), "");
    for (const auto& entry : fs::directory_iterator(TVK_TEST_NLS "/../fuzz/catalogs"))
        EXPECT_NE(verdict(tvk_slurp(entry.path())), "") << entry.path();
}

// catopen walks the string at the largest offset of any cell, not only of
// the set that catgets is asked for (set 1, stored as 2).
TEST(CatalogCheck, DamagedFromGencat) {
    const Bytes made =
        gencat("", "$quote \"\n$set 1\n1 \"one %s\\n\"\n2 \"two\\n\"\n$set 7\n3 \"x\"\n");
    const auto swap = [](Bytes& b, std::size_t at) { put(b, at, __builtin_bswap32(word(b, at))); };
    const std::pair<std::function<void(Bytes&)>, const char*> rows[] = {
        {[](Bytes&) {}, ""},
        {[&](Bytes& b) { swap(b, 0), swap(b, 4), swap(b, 8); }, ""}, // the other byte order
        {[&](Bytes& b) { swap(b, 0); }, "header: plane size"}, // the sizes swapped with the magic
        {[](Bytes& b) { b[0] ^= 1; }, "header: no catalog's magic"},
        {[](Bytes& b) { b.resize(11); }, "header: the file is shorter"},
        {[](Bytes& b) { b.resize(b.size() - strings_size(b) - 1); },
         "header: plane size"}, // tables a byte short
        {[](Bytes& b) { b.resize(b.size() - strings_size(b) + 3); },
         "(set 2, message 2): its string starts outside"}, // cut in a usage string
        {[](Bytes& b) { b.back() = 'x'; }, "has no NUL in the file"},
        {[](Bytes& b) { put(b, offset_at(b, 2, 1), strings_size(b)); },
         "(set 2, message 1): its string starts outside"},
        {[](Bytes& b) { put(b, offset_at(b, 2, 1), strings_size(b) - 1); }, ""}, // the last NUL
        {[](Bytes& b) { put(b, offset_at(b, 8, 3), strings_size(b) + 100); },
         "(set 8, message 3): its string starts outside"},
        {[](Bytes& b) { put(b, 4, 1u << 31), put(b, 8, 1u << 30); },
         "header: plane size 2147483648 and depth 1073741824"},
        {[](Bytes& b) { put(b, 4, 0); }, "header: plane size 0"},
        {[](Bytes& b) { put(b, 8, 0); }, "and depth 0"},
    };
    for (const auto& row : rows) {
        Bytes bytes = made;
        row.first(bytes);
        EXPECT_TRUE(tvk_gives(verdict(bytes), row.second)) << "row " << &row - rows;
    }
    // No message, no string for the one empty cell to point into.
    EXPECT_TRUE(tvk_gives(verdict(gencat("", "$set 1\n")), "starts outside"));
}

} // namespace
