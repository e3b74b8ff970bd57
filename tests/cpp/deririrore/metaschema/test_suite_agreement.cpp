#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/referencing/meta.hpp"
#include "deririrore/value/json.hpp"

namespace {

namespace fs = std::filesystem;
namespace ms = deririrore::metaschema;
using deririrore::metaschema::Draft;
using deririrore::value::Value;

const fs::path kSuiteDir = fs::path(VC_TESTDATA) / "json-schema-test-suite" / "tests";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct DraftFolder {
    Draft draft;
    const char* folder;
};
const DraftFolder kFolders[] = {{Draft::Draft4, "draft4"},
                                {Draft::Draft6, "draft6"},
                                {Draft::Draft7, "draft7"},
                                {Draft::Draft201909, "draft2019-09"}};

std::vector<Value> suite_schemas(const char* folder) {
    std::vector<Value> out;
    for (const auto& entry : fs::recursive_directory_iterator(kSuiteDir / folder)) {
        if (entry.path().extension() != ".json") continue;
        auto groups = deririrore::value::parse_json(read_file(entry.path()));
        if (!groups || !groups->is_array()) continue;
        for (const auto& group : groups->as_array())
            if (const Value* schema = group.find("schema")) out.push_back(*schema);
    }
    return out;
}

// Values put in place of a member to make schemas that break the meta-schema in many ways.
std::vector<Value> replacements() {
    std::vector<Value> out;
    for (const char* text : {"5", "-1", "1.5", "0", "\"(\"", "\"x\"", "[]", "[1]", "[\"a\",\"a\"]", "{}", "{\"a\": 5}",
                             "true", "null", "\"#/a\"", "\"string\"", "[\"string\"]"}) {
        out.push_back(*deririrore::value::parse_json(text));
    }
    return out;
}

std::vector<Value> mutations(const Value& schema) {
    std::vector<Value> out;
    if (!schema.is_object()) return out;
    static const std::vector<Value> values = replacements();
    for (const auto& m : schema.as_object()) {
        for (const auto& v : values) {
            Value copy = schema;
            copy.insert_or_assign(m.key, v);
            out.push_back(std::move(copy));
        }
    }
    return out;
}

const deririrore::core::Validator& engine_for(Draft draft) {
    static std::map<Draft, deririrore::core::Validator> cache;
    auto it = cache.find(draft);
    if (it != cache.end()) return it->second;
    const auto& doc = *deririrore::referencing::meta_schemas_for_draft(draft).front().document;
    auto built = deririrore::core::build_validator(doc, deririrore::core::ValidationOptions().with_draft(draft));
    if (!built) throw std::runtime_error(built.error().message());
    return cache.emplace(draft, std::move(*built)).first->second;
}

TEST(MetaSchemaSuite, EverySuiteSchemaPassesItsDraft) {
    if (!fs::is_directory(kSuiteDir)) GTEST_SKIP() << "no JSON Schema Test Suite at " << kSuiteDir;
    for (const auto& f : kFolders) {
        auto schemas = suite_schemas(f.folder);
        ASSERT_FALSE(schemas.empty()) << f.folder;
        for (const auto& schema : schemas) {
            auto error = ms::validate_against_meta_schema(f.draft, schema);
            EXPECT_FALSE(error.has_value())
                << f.folder << ": " << error->schema_path().view() << " at " << error->instance_path().view();
        }
    }
}

TEST(MetaSchemaSuite, PublishedMetaSchemasPassTheirOwnChecker) {
    for (Draft d : {Draft::Draft4, Draft::Draft6, Draft::Draft7}) {
        const auto& doc = *deririrore::referencing::meta_schemas_for_draft(d).front().document;
        EXPECT_TRUE(ms::is_valid_meta_schema(d, doc)) << deririrore::referencing::draft_name(d);
        EXPECT_FALSE(ms::check_meta_schema(d, doc).has_value());
    }
}

// The checkers against the engine validating the same schema against the embedded meta-schema
// document: the verdicts agree on every suite schema and every mutation of one, apart from
// members where the checker asserts more than the engine does by default on purpose.
TEST(MetaSchemaSuite, VerdictsAgreeWithTheEngine) {
    if (!fs::is_directory(kSuiteDir)) GTEST_SKIP() << "no JSON Schema Test Suite at " << kSuiteDir;
    std::map<std::string, int> disagreements;
    std::size_t checked = 0;
    for (const auto& f : kFolders) {
        const auto& engine = engine_for(f.draft);
        for (const auto& schema : suite_schemas(f.folder)) {
            std::vector<Value> cases = mutations(schema);
            cases.push_back(schema);
            for (const char* text :
                 {R"({"$schema": "relative/path"})", R"({"pattern": "("})", R"({"$id": "http://[::1/x"})",
                  R"({"patternProperties": {"(": {}}})", R"({"$ref": "a b"})"})
                cases.push_back(*deririrore::value::parse_json(text));
            for (const auto& c : cases) {
                ++checked;
                bool ours = ms::is_valid_meta_schema(f.draft, c);
                bool engine_says = engine.is_valid(c);
                if (ours == engine_says) continue;
                auto error = ours ? engine.validate(c) : ms::check_meta_schema(f.draft, c);
                std::string where = std::string(f.folder) + (ours ? " engine " : " checker ") +
                                    std::string(error ? error->schema_path().view() : "?");
                ++disagreements[where];
            }
        }
    }
    // Where the checker departs from the published text on purpose, with the reason (2019-09 has
    // none: neither asserts a format there).
    const std::map<std::string, std::string> expected = {
        {"draft4 engine /properties/enum/minItems",
         "the draft 4 checker takes \"enum\" as any array: an empty one is a schema that nothing matches, "
         "which the engine compiles and applies soundly"},
        {"draft4 engine /properties/enum/uniqueItems",
         "the draft 4 checker takes \"enum\" as any array: a repeated option changes no verdict"},
    };
    for (const auto& [where, count] : disagreements) {
        if (expected.count(where) == 0) ADD_FAILURE() << where << " x" << count;
    }
    for (const auto& [where, reason] : expected)
        EXPECT_EQ(disagreements.count(where), 1u)
            << "listed departure no longer seen: " << where << " (" << reason << ")";
    EXPECT_GT(checked, 1000u);
}

}  // namespace
