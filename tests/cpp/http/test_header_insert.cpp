// insert_header, the rule by which headers read from client objects merge: one field per folded
// name, spelled as it was first given, holding the value given last.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "http/header_map.hpp"

namespace {

using http::HeaderMap;

std::map<std::string, std::string> fields(const HeaderMap& headers) {
    std::map<std::string, std::string> out;
    headers.for_each([&](const std::string& name, const std::string& value) { out.emplace(name, value); });
    return out;
}

TEST(HeaderInsert, FirstSpellingLastValue) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> inserted;
        std::map<std::string, std::string> expected;
    };
    const std::vector<Case> cases = {
        {{{"Accept", "a"}, {"accept", "b"}}, {{"Accept", "b"}}},
        {{{"X", "1"}, {"X", "2"}}, {{"X", "2"}}},
        {{{"ACCEPT", "a"}, {"Accept", "b"}, {"accept", "c"}}, {{"ACCEPT", "c"}}},
        {{{"Stra\xC3\x9F"
           "e",
           "1"},
          {"STRASSE", "2"}},
         {{"Stra\xC3\x9F"
           "e",
           "2"}}},
        {{{"A", "1"}, {"B", "2"}, {"a", ""}}, {{"A", ""}, {"B", "2"}}},
    };
    for (const Case& c : cases) {
        HeaderMap headers;
        for (const auto& [name, value] : c.inserted) headers.insert_header(name, value);
        EXPECT_EQ(fields(headers), c.expected) << c.inserted.front().first;
    }
}

}  // namespace
