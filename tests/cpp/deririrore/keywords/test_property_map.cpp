// Declared-name lookup of the large `properties` forms: every declared name is found with its own
// subschema, near misses (same length, same first and last eight bytes, one byte apart in the
// middle) are undeclared, and growing the table keeps every earlier name reachable.
#include <string>
#include <vector>

#include "keyword_test_support.hpp"

namespace kwtest {
namespace {

// Names that share their ends so that only the middle bytes tell them apart, mixed with short ones.
std::vector<std::string> tricky_names(std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
        switch (i % 4) {
            case 0:
                names.push_back("prefix__" + std::to_string(100000 + i) + "__suffix");
                break;
            case 1:
                names.push_back("n" + std::to_string(i));
                break;
            case 2:
                names.push_back("abcdefgh" + std::string(i % 9, 'm') + std::to_string(i) + "12345678");
                break;
            default:
                names.push_back(std::string(1 + i % 17, static_cast<char>('a' + i % 26)) + std::to_string(i));
        }
    }
    return names;
}

// A name of the same length and ends with one middle byte changed, or with a byte appended.
std::string near_miss(const std::string& name) {
    std::string other = name;
    if (other.size() > 16) {
        other[other.size() / 2] = other[other.size() / 2] == '~' ? '!' : '~';
    } else {
        other.push_back('~');
    }
    return other;
}

// Every declared name i must hold the integer i.
std::string schema_for(const std::vector<std::string>& names, const std::string& tail) {
    std::string properties;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) properties += ", ";
        properties += "\"" + names[i] + "\": {\"const\": " + std::to_string(i) + "}";
    }
    return "{\"properties\": {" + properties + "}" + tail + "}";
}

std::string object_of(const std::vector<std::pair<std::string, std::size_t>>& members) {
    std::string out = "{";
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i) out += ", ";
        out += "\"" + members[i].first + "\": " + std::to_string(members[i].second);
    }
    return out + "}";
}

TEST(LargePropertyMap, EveryNameFindsItsOwnSubschemaAndNearMissesAreUndeclared) {
    for (std::size_t count : {15u, 33u, 200u}) {
        const auto names = tricky_names(count);
        struct Form {
            std::string tail;
            bool closed;
        };
        const std::vector<Form> forms = {
            {"", false},
            {", \"additionalProperties\": false", true},
            {", \"required\": [\"" + names[0] + "\"], \"additionalProperties\": false", true},
            {", \"additionalProperties\": {\"type\": \"string\"}", false},
        };
        for (const auto& form : forms) {
            SCOPED_TRACE(std::to_string(count) + " names" + form.tail);
            Validator v = build(schema_for(names, form.tail));
            std::vector<std::pair<std::string, std::size_t>> all;
            for (std::size_t i = 0; i < names.size(); ++i) all.emplace_back(names[i], i);
            EXPECT_TRUE(v.is_valid(json(object_of(all))));
            for (std::size_t i = 0; i < names.size(); ++i) {
                // Each name with its own value passes, with a neighbour's value fails.
                const std::vector<std::pair<std::string, std::size_t>> own = {{names[0], 0}, {names[i], i}};
                const std::vector<std::pair<std::string, std::size_t>> wrong = {{names[0], 0}, {names[i], i + 1}};
                ASSERT_TRUE(v.is_valid(json(object_of(own)))) << names[i];
                ASSERT_FALSE(v.is_valid(json(object_of(wrong)))) << names[i];
                // An undeclared near miss with a number: rejected when closed (by `false` or by
                // the string-only additional schema), ignored otherwise.
                const std::vector<std::pair<std::string, std::size_t>> missed = {{names[0], 0},
                                                                                 {near_miss(names[i]), i}};
                const bool open = !form.closed && form.tail.find("string") == std::string::npos;
                ASSERT_EQ(v.is_valid(json(object_of(missed))), open) << near_miss(names[i]);
                ASSERT_EQ(!v.validate(json(object_of(missed))).has_value(), open) << near_miss(names[i]);
            }
        }
    }
}

TEST(AdditionalProperties, ClosedObjectsAnswerAlikeWhicheverMemberFailsFirst) {
    // Scalars are checked before nested members; the answer and the reported error must not
    // depend on where the failing member sits.
    const std::string schema = R"({"properties": {"a": {"type": "array", "items": {"const": 1}},
        "k": {"const": "x"}, "z": {"type": "object", "properties": {"q": {"const": 2}}}},
        "additionalProperties": false})";
    Validator v = build(schema);
    struct Row {
        const char* instance;
        bool valid;
        const char* error_path;
    };
    const Row rows[] = {
        {R"({"a": [1, 1], "k": "x", "z": {"q": 2}})", true, ""},
        {R"({"a": [1, 2], "k": "x", "z": {"q": 2}})", false, "/a/1"},
        {R"({"a": [1, 2], "k": "y", "z": {"q": 2}})", false, "/a/1"},
        {R"({"a": [1, 1], "k": "y", "z": {"q": 3}})", false, "/k"},
        {R"({"a": [1, 1], "k": "x", "z": {"q": 3}})", false, "/z/q"},
        {R"({"a": [1, 1], "zz": 1})", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.instance);
        const Value instance = json(row.instance);
        EXPECT_EQ(v.is_valid(instance), row.valid);
        auto error = v.validate(instance);
        ASSERT_EQ(error.has_value(), !row.valid);
        if (error) {
            EXPECT_EQ(error->instance_path().view(), row.error_path);
        }
    }
}

}  // namespace
}  // namespace kwtest
