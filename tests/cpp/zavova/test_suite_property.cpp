#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../support/engine_test_support.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "vantorel/dialect/options.hpp"
#include "zavova/keyword_targets.hpp"
#include "zavova/measured_targets.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zavova;
using deririrore::referencing::pointer_lookup;
using deririrore::value::Value;

const fs::path kSuite = fs::path(VC_TESTDATA) / "json-schema-test-suite" / "tests";

// Checks every trace event against the entries the way the recorder reads them: an event whose
// location has no entry is ignored, but the items of a traced `examples`, and of a passed `enum`
// or `type` list, must each have their own entry, or recording would stop.
class EntryChecker final : public deririrore::core::Tracer {
public:
    EntryChecker(const Value& schema, const EntryMap& entries) : schema_(schema), entries_(entries) {}

    void call_mut(const deririrore::core::TraceEvent& event) override {
        const std::string location = event.keyword_location.str();
        const auto ends_with = [&](std::string_view tail) {
            return location.size() >= tail.size() &&
                   location.compare(location.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (ends_with("/examples") && entries_.find(location) == nullptr) {
            check_items(location);
            return;
        }
        if (entries_.find(location) == nullptr) return;
        if (event.outcome == deririrore::core::TraceOutcome::Passed && (ends_with("/enum") || ends_with("/type")))
            check_items(location);
    }

    std::vector<std::string> missing;

private:
    void check_items(const std::string& location) {
        const Value* list = pointer_lookup(schema_, location);
        if (list == nullptr || !list->is_array()) return;
        for (std::size_t i = 0; i < list->size(); ++i) {
            const std::string item = location + "/" + std::to_string(i);
            if (entries_.find(item) == nullptr) missing.push_back(item);
        }
    }

    const Value& schema_;
    const EntryMap& entries_;
};

struct SuiteDraft {
    const char* dir;
    Draft draft;
};

constexpr SuiteDraft kDrafts[] = {
    {"draft4", Draft::Draft4},
    {"draft6", Draft::Draft6},
    {"draft7", Draft::Draft7},
    {"draft2019-09", Draft::Draft201909},
    {"draft2020-12", Draft::Draft202012},
};

std::vector<fs::path> suite_files(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().extension() == ".json") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

Value read_json(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return enginetest::json(text.str());
}

// For every schema of the official suite, in every draft: the collected entries cover every item
// that tracing the suite's instances reaches, and a schema called vacuous (never valid) accepts
// (rejects) every instance listed for it.
TEST(SuiteProperty, CollectionAgreesWithTheEngineAndVacuityIsSound) {
    if (!fs::is_directory(kSuite)) GTEST_SKIP() << "no test suite at " << kSuite;
    std::size_t schemas = 0, traced = 0, vacuous = 0;
    for (const auto& suite : kDrafts) {
        for (const fs::path& file : suite_files(kSuite / suite.dir)) {
            const Value groups = read_json(file);
            for (const Value& group : groups.as_array()) {
                const Value& schema = *group.find("schema");
                const std::string where = file.filename().string() + ": " + group.find("description")->as_string();
                ++schemas;
                CoverageHolder holder = build_coverage_state(schema, suite.draft, {});
                const EntryMap& entries = holder.state->entries;
                ASSERT_NE(entries.find(""), nullptr) << where;

                SchemaPredicates facts(schema, suite.draft);
                const bool alone = facts.vacuous(schema);
                const bool in_document = facts.vacuous_in_document(schema);
                const bool never = facts.never_valid(schema);
                vacuous += alone || in_document;
                for (const Value& test : group.find("tests")->as_array()) {
                    const bool valid = test.find("valid")->as_bool();
                    const std::string what = where + " / " + test.find("description")->as_string();
                    if (alone || in_document) {
                        EXPECT_TRUE(valid) << "called vacuous: " << what;
                    }
                    if (never) {
                        EXPECT_FALSE(valid) << "called never valid: " << what;
                    }
                }

                auto options = vantorel::dialect::measured_schema_options(suite.draft,
                                                                          vantorel::dialect::NullableSource::MediaType);
                auto validator = deririrore::core::build_validator(schema, options);
                if (!validator) continue;  // remote references, which the coverage core never fetches
                ++traced;
                for (const Value& test : group.find("tests")->as_array()) {
                    EntryChecker checker(schema, entries);
                    (void)validator->trace(*test.find("data"), checker);
                    EXPECT_TRUE(checker.missing.empty()) << where << " / " << test.find("description")->as_string()
                                                         << ": no entry for " << checker.missing.front();
                }
            }
        }
    }
    std::printf("%zu suite schemas, %zu traced, %zu vacuous\n", schemas, traced, vacuous);
    EXPECT_GT(schemas, 1000u);
    EXPECT_GT(traced, schemas / 2);
    EXPECT_GT(vacuous, 10u);
}

// OpenAPI 3.1 measures with 2020-12, where `examples` is checked; a subschema that declares
// draft 4 is still compiled with the document's keywords, so its `examples` items need entries.
TEST(SuiteProperty, DraftFourSubschemaUnderOpenApi31) {
    const Value schema = enginetest::json(R"({
        "properties": {
            "legacy": {"$schema": "http://json-schema.org/draft-04/schema#", "type": "integer",
                       "examples": [1, 2], "enum": [1, 2, 3]},
            "old": {"$schema": "http://json-schema.org/draft-07/schema#",
                    "$ref": "#/$defs/n", "enum": [9]}
        },
        "$defs": {"n": {"type": ["integer", "string"], "examples": ["a"]}}
    })");
    CoverageHolder holder = build_coverage_state(schema, Draft::Draft202012, {});
    const EntryMap& entries = holder.state->entries;
    EXPECT_NE(entries.find("/properties/legacy/examples/1"), nullptr);
    EXPECT_NE(entries.find("/$defs/n/examples/0"), nullptr);
    auto options =
        vantorel::dialect::measured_schema_options(Draft::Draft202012, vantorel::dialect::NullableSource::MediaType);
    auto validator = deririrore::core::build_validator(schema, options);
    ASSERT_TRUE(validator);
    for (const char* instance : {R"({"legacy": 2, "old": 5})", R"({"legacy": "x", "old": "a"})", "{}"}) {
        EntryChecker checker(schema, entries);
        (void)validator->trace(enginetest::json(instance), checker);
        EXPECT_TRUE(checker.missing.empty()) << instance << ": " << checker.missing.front();
    }
}

}  // namespace

namespace {

// A reference target that declares another draft than the document's, with a `$ref` beside an
// `enum`: the walk and the engine must read it alike, or the enum's items would be checked
// without entries.
TEST(SuiteProperty, ReferenceTargetWithItsOwnDraft) {
    const Value schema = enginetest::json(R"({
        "definitions": {
            "t": {"$schema": "https://json-schema.org/draft/2020-12/schema", "$ref": "#/definitions/u",
                  "enum": [1, 2]},
            "u": {}
        },
        "properties": {"a": {"$ref": "#/definitions/t"}}
    })");
    CoverageHolder holder = build_coverage_state(schema, Draft::Draft4, {});
    auto options =
        vantorel::dialect::measured_schema_options(Draft::Draft4, vantorel::dialect::NullableSource::MediaType);
    auto validator = deririrore::core::build_validator(schema, options);
    ASSERT_TRUE(validator);
    EntryChecker checker(schema, holder.state->entries);
    (void)validator->trace(enginetest::json(R"({"a": 1})"), checker);
    EXPECT_TRUE(checker.missing.empty()) << checker.missing.front();
}

}  // namespace

namespace {

// The same agreement over the real-world schemas of the test data, with some of their instances.
TEST(SuiteProperty, RealWorldSchemasAgreeWithTheEngine) {
    const fs::path dir = fs::path(VC_TESTDATA) / "schema-benchmark";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no schemas at " << dir;
    constexpr std::size_t kInstancesPerSchema = 25;
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (fs::is_regular_file(entry.path() / "schema.json")) folders.push_back(entry.path());
    }
    std::sort(folders.begin(), folders.end());
    std::size_t traced = 0;
    for (const fs::path& folder : folders) {
        const Value schema = read_json(folder / "schema.json");
        Draft draft = deririrore::referencing::detect_draft(Draft::Draft202012, schema);
        if (draft == Draft::Unknown) draft = Draft::Draft202012;
        CoverageHolder holder = build_coverage_state(schema, draft, {});
        auto options = vantorel::dialect::measured_schema_options(draft, vantorel::dialect::NullableSource::MediaType);
        auto validator = deririrore::core::build_validator(schema, options);
        if (!validator) continue;
        std::ifstream lines(folder / "instances.jsonl", std::ios::binary);
        std::string line;
        for (std::size_t n = 0; n < kInstancesPerSchema && std::getline(lines, line); ++n) {
            auto instance = deririrore::value::parse_json(line);
            if (!instance) continue;
            EntryChecker checker(schema, holder.state->entries);
            (void)validator->trace(*instance, checker);
            ++traced;
            EXPECT_TRUE(checker.missing.empty()) << folder.filename() << ": no entry for " << checker.missing.front();
        }
    }
    EXPECT_GT(traced, 0u);
}

}  // namespace
