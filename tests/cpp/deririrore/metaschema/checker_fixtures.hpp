#pragma once
// What the meta-schema checker tests share: fixture documents, errors written as
// "schema path @instance path", the branch lists of an anyOf error, and the agreement of the
// four ways of checking one document.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/value/json.hpp"

namespace deririrore::metaschema::test_fixtures {

inline value::Value parse(std::string_view text) {
    auto parsed = value::parse_json(text);
    if (!parsed) throw std::runtime_error("bad fixture: " + std::string(text));
    return std::move(*parsed);
}

inline std::string describe(const core::ValidationError& e) {
    return e.schema_path().str() + " @" + e.instance_path().str();
}

inline std::vector<std::string> describe_all(const std::vector<core::ValidationError>& list) {
    std::vector<std::string> out;
    for (const auto& e : list) out.push_back(describe(e));
    return out;
}

// Each branch list of an anyOf error, described; empty for other errors.
inline std::vector<std::vector<std::string>> branches(const core::ValidationError& error) {
    std::vector<std::vector<std::string>> out;
    const auto* any = std::get_if<core::kinds::AnyOf>(&error.kind());
    if (any == nullptr) return out;
    for (const auto& list : any->context) out.push_back(describe_all(list));
    return out;
}

enum class Nesting { Direct, InArray, InMap };

// {keyword: {keyword: ... {}}}, `depth` levels, each subschema straight under the keyword, in a
// one-item array or in a one-member map. Built by code: deeper than the JSON reader would take.
inline value::Value nested_document(const std::string& keyword, Nesting nesting, std::size_t depth) {
    value::Value v = value::Value::object();
    for (std::size_t i = 0; i < depth; ++i) {
        value::Value wrapped = std::move(v);
        if (nesting == Nesting::InArray) {
            value::Value::Array items;
            items.push_back(std::move(wrapped));
            wrapped = value::Value::array(std::move(items));
        } else if (nesting == Nesting::InMap) {
            value::Value::Object map;
            map.push_back({"m", std::move(wrapped)});
            wrapped = value::Value::object(std::move(map));
        }
        value::Value::Object members;
        members.push_back({keyword, std::move(wrapped)});
        v = value::Value::object(std::move(members));
    }
    return v;
}

// The first error, the is-valid answer, the first collected error and the entry point's error
// tell one story about `doc` (valid when `schema_path` is empty); `after_each` runs after each
// of the first three.
template <class AfterEach>
void expect_modes_agree(Draft draft, const value::Value& doc, std::string_view schema_path,
                        std::string_view instance_path, std::string_view keyword, AfterEach&& after_each) {
    auto error = check_meta_schema(draft, doc);
    after_each();
    const bool valid = is_valid_meta_schema(draft, doc);
    after_each();
    auto all = collect_meta_schema_errors(draft, doc);
    after_each();
    auto via_entry = validate_against_meta_schema(draft, doc);
    if (schema_path.empty()) {
        EXPECT_FALSE(error.has_value()) << describe(*error);
        EXPECT_TRUE(valid);
        EXPECT_TRUE(all.empty());
        EXPECT_FALSE(via_entry.has_value()) << describe(*via_entry);
        return;
    }
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->schema_path().view(), schema_path);
    EXPECT_EQ(error->instance_path().view(), instance_path);
    EXPECT_EQ(error->keyword(), keyword);
    EXPECT_FALSE(valid);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().schema_path().view(), schema_path);
    EXPECT_EQ(all.front().instance_path().view(), instance_path);
    ASSERT_TRUE(via_entry.has_value());
    EXPECT_EQ(via_entry->schema_path().view(), schema_path);
    EXPECT_TRUE(via_entry->owns_instance());
}

}  // namespace deririrore::metaschema::test_fixtures
