// The reader against the JSON grammar: the JSONTestSuite files, and every short token sequence
// compared with a plain recursive-descent recogniser. The one-pass reader and the diagnosing one
// must agree on each: what one accepts the other accepts, as the identical value.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "deririrore/value/json_internal.hpp"

namespace dv = deririrore::value;

namespace {

namespace fs = std::filesystem;

const fs::path kParsingDir = fs::path(VC_TESTDATA) / "json-test-suite" / "test_parsing";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Empty when both readers give the same answer on `text`, else what differs.
std::string readers_differ(const std::string& text, std::size_t max_depth = dv::kDefaultMaxJsonDepth) {
    const auto quick = dv::read_well_formed_json(text, max_depth);
    const auto diagnosed = dv::read_json_diagnosed(text, max_depth);
    if (quick.has_value() != diagnosed.has_value()) {
        return quick ? "only the one-pass reader accepts, as " + dv::to_json(*quick)
                     : "only the diagnosing reader accepts, as " + dv::to_json(*diagnosed);
    }
    if (quick && !dv::identical(*quick, *diagnosed)) {
        return "read as " + dv::to_json(*quick) + " and as " + dv::to_json(*diagnosed);
    }
    return "";
}

TEST(JsonConformance, JsonTestSuite) {
    if (!fs::is_directory(kParsingDir)) GTEST_SKIP() << "no JSONTestSuite at " << kParsingDir;
    std::size_t counts[3] = {0, 0, 0};
    for (const auto& entry : fs::directory_iterator(kParsingDir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".json" || name.size() < 2 || name[1] != '_') continue;
        const std::string text = read_file(entry.path());
        const auto r = dv::parse_json(text);
        EXPECT_EQ(readers_differ(text), "") << name;
        switch (name[0]) {
            case 'y':
                ++counts[0];
                EXPECT_TRUE(r) << name << ": " << r.error().message;
                if (r) {
                    // What was read writes back and reads again to the same value.
                    const auto again = dv::parse_json(dv::to_json(*r));
                    EXPECT_TRUE(again && dv::to_json(*again) == dv::to_json(*r)) << name;
                }
                break;
            case 'n':
                ++counts[1];
                EXPECT_FALSE(r) << name << " accepted as " << dv::to_json(*r);
                if (!r) {
                    EXPECT_FALSE(r.error().message.empty()) << name;
                }
                break;
            case 'i':
                ++counts[2];
                break;
        }
    }
    EXPECT_GT(counts[0], 0u);
    EXPECT_GT(counts[1], 0u);
    EXPECT_GT(counts[2], 0u);
}

// Token texts; joined with a space so that neighbouring scalars stay apart.
constexpr std::array<std::string_view, 8> kTokens = {"{", "}", "[", "]", ",", ":", "\"a\"", "1"};

enum Tok : int { kOpenObject, kCloseObject, kOpenArray, kCloseArray, kComma, kColon, kString, kNumber };

// The JSON grammar over tokens; returns the position after one value, or -1.
int grammar_value(const std::vector<int>& t, int i) {
    if (i >= static_cast<int>(t.size())) return -1;
    switch (t[i]) {
        case kString:
        case kNumber:
            return i + 1;
        case kOpenArray: {
            ++i;
            if (i < static_cast<int>(t.size()) && t[i] == kCloseArray) return i + 1;
            for (;;) {
                i = grammar_value(t, i);
                if (i < 0 || i >= static_cast<int>(t.size())) return -1;
                if (t[i] == kCloseArray) return i + 1;
                if (t[i] != kComma) return -1;
                ++i;
            }
        }
        case kOpenObject: {
            ++i;
            if (i < static_cast<int>(t.size()) && t[i] == kCloseObject) return i + 1;
            for (;;) {
                if (i + 1 >= static_cast<int>(t.size()) || t[i] != kString || t[i + 1] != kColon) return -1;
                i = grammar_value(t, i + 2);
                if (i < 0 || i >= static_cast<int>(t.size())) return -1;
                if (t[i] == kCloseObject) return i + 1;
                if (t[i] != kComma) return -1;
                ++i;
            }
        }
        default:
            return -1;
    }
}

bool grammar_accepts(const std::vector<int>& t) { return grammar_value(t, 0) == static_cast<int>(t.size()); }

std::string join(const std::vector<int>& t) {
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (i > 0) out += ' ';
        out += kTokens[static_cast<std::size_t>(t[i])];
    }
    return out;
}

// Every sequence of up to seven tokens that opens a container (long enough for a member, a stray
// ":" and a stray bracket inside it, the shapes a token-skipping iterator misreads), and every
// shorter sequence whatever its first token.
TEST(JsonConformance, AgreesWithTheGrammarOnEveryShortTokenSequence) {
    constexpr std::size_t kMaxLength = 7;
    constexpr std::size_t kAnyStartLength = 3;
    std::size_t disagreements = 0;
    auto check = [&](const std::vector<int>& t) {
        const std::string text = join(t);
        const bool expected = grammar_accepts(t);
        const auto r = dv::parse_json(text);
        if (static_cast<bool>(r) != expected && ++disagreements <= 20) {
            ADD_FAILURE() << text << (expected ? " refused: " + r.error().message : " accepted as " + dv::to_json(*r));
        }
        if (const std::string differ = readers_differ(text); !differ.empty() && ++disagreements <= 20) {
            ADD_FAILURE() << text << ": " << differ;
        }
    };
    for (std::size_t length = 1; length <= kMaxLength; ++length) {
        std::vector<int> t(length, 0);
        for (int first = 0; first < static_cast<int>(kTokens.size()); ++first) {
            if (length > kAnyStartLength && first != kOpenObject && first != kOpenArray) continue;
            t.assign(length, 0);
            t[0] = first;
            for (;;) {
                check(t);
                std::size_t k = 1;
                while (k < length && ++t[k] == static_cast<int>(kTokens.size())) t[k++] = 0;
                if (k == length) break;
            }
        }
    }
    EXPECT_EQ(disagreements, 0u);
}

}  // namespace
