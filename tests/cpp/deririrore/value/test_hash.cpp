#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "deririrore/value/cmp.hpp"

namespace dv = deririrore::value;

namespace {

std::uint64_t hash_whole(std::string_view text) {
    dv::Hasher h;
    h.write_bytes(text);
    return h.finish();
}

std::uint64_t hash_bytewise(std::string_view text) {
    dv::Hasher h;
    for (char c : text) h.write_u8(static_cast<std::uint8_t>(c));
    return h.finish();
}

std::uint64_t hash_split(std::string_view text, std::size_t cut) {
    dv::Hasher h;
    h.write_bytes(text.substr(0, cut));
    h.write_bytes(text.substr(cut));
    return h.finish();
}

}  // namespace

// Every length around the word size, every cut: the hash depends on the bytes alone.
TEST(Hasher, SameHashHoweverTheBytesAreSplit) {
    static constexpr char kBytes[] = "abcdefghijklmnopqrstuvwxyz0123456789~\xc3\xa9\x00z";
    const std::string source(kBytes, sizeof kBytes - 1);
    for (std::size_t len = 0; len <= source.size(); ++len) {
        const std::string_view text(source.data(), len);
        const std::uint64_t whole = hash_whole(text);
        EXPECT_EQ(whole, hash_bytewise(text)) << "length " << len;
        for (std::size_t cut = 0; cut <= len; ++cut) {
            EXPECT_EQ(whole, hash_split(text, cut)) << "length " << len << ", cut " << cut;
        }
    }
}

// Texts that differ in one tail byte, or only in length through trailing zero bytes, hash apart.
TEST(Hasher, TailBytesAndLengthCount) {
    EXPECT_NE(hash_whole("abcdefghi"), hash_whole("abcdefghj"));
    EXPECT_NE(hash_whole(std::string_view("ab\0", 3)), hash_whole("ab"));
    EXPECT_NE(hash_whole(std::string_view("abcdefgh\0", 9)), hash_whole("abcdefgh"));
}
