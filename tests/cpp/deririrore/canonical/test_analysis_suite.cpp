// The analysis over real documents: every schema of the official JSON Schema
// Test Suite (each draft), the published meta-schemas and the schema-benchmark
// schemas. None may crash or hang, and a schema that admits a known valid
// instance must never be reported unsatisfiable at its root.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "deririrore/canonical/analysis.hpp"
#include "deririrore/canonical/walkers.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;
namespace ref = deririrore::referencing;
namespace fs = std::filesystem;
using value::Value;

const fs::path kTestData = fs::path(VC_TESTDATA);

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Tally {
    std::size_t analysed = 0;
    std::size_t errors = 0;
    std::size_t with_locations = 0;
    std::size_t unregistered = 0;
};

struct Outcome {
    bool analysed = false;
    Result<UnsatisfiableMap, CanonicalError> result = UnsatisfiableMap{};
};

using Resources = std::vector<std::pair<std::string, std::shared_ptr<const Value>>>;

// Analyses `schema` registered under `base`, beside the given resources.
Outcome analyse(const std::shared_ptr<const Value>& schema, Draft draft, std::string_view base,
                const Resources& resources) {
    Outcome out;
    ref::RegistryOptions options;
    options.draft = engine_draft(draft);
    for (const auto& [uri, doc] : resources) {
        auto parsed = ref::parse_uri(uri);
        if (parsed) options.insert_resource(*parsed, ref::RegistryInput::shared(doc));
    }
    auto base_uri = ref::parse_uri(base);
    if (!base_uri) return out;
    options.insert_resource(*base_uri, ref::RegistryInput::shared(schema, engine_draft(draft)));
    auto registry = ref::build_registry(std::move(options));
    if (!registry) return out;
    AnalysisRequest request;
    request.schema = schema.get();
    request.pattern_options = regex::PatternOptions::backtracking();
    request.draft = draft;
    request.format_asserts = draft <= Draft::Draft7;
    request.pattern_cache = std::make_shared<PatternCache>();
    request.scope.emplace(**registry, std::make_shared<const ref::Uri>(std::move(*base_uri)));
    out.analysed = true;
    out.result = canonicalize_schema(request);
    return out;
}

Resources suite_remotes() {
    Resources out;
    const fs::path dir = kTestData / "json-schema-test-suite" / "remotes";
    if (!fs::exists(dir)) return out;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".json") continue;
        auto parsed = value::parse_json(read_text(entry.path()));
        if (!parsed) continue;
        const std::string relative = fs::relative(entry.path(), dir).generic_string();
        out.emplace_back("http://localhost:1234/" + relative, std::make_shared<const Value>(std::move(*parsed)));
    }
    return out;
}

bool has_valid_test(const Value& group) {
    const Value* tests = group.find("tests");
    if (!tests || !tests->is_array()) return false;
    for (const Value& t : tests->as_array()) {
        const Value* valid = t.find("valid");
        if (valid && valid->is_bool() && valid->as_bool()) return true;
    }
    return false;
}

void check_suite_draft(const char* folder, Draft draft) {
    const fs::path dir = kTestData / "json-schema-test-suite" / "tests" / folder;
    if (!fs::exists(dir)) GTEST_SKIP() << "test data absent: " << dir;
    const Resources remotes = suite_remotes();
    Tally tally;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".json") continue;
        auto file = value::parse_json(read_text(entry.path()));
        ASSERT_TRUE(file.has_value()) << entry.path();
        for (const Value& group : file->as_array()) {
            const Value* schema_value = group.find("schema");
            if (!schema_value) continue;
            auto schema = std::make_shared<const Value>(*schema_value);
            Outcome outcome = analyse(schema, draft, "https://suite.example/schema.json", remotes);
            if (!outcome.analysed) {
                outcome = analyse(schema, draft, "https://suite.example/schema.json", {});
                if (!outcome.analysed) {
                    ++tally.unregistered;
                    continue;
                }
            }
            ++tally.analysed;
            if (!outcome.result) {
                ++tally.errors;
                continue;
            }
            if (!outcome.result->empty()) ++tally.with_locations;
            if (has_valid_test(group)) {
                const Value* description = group.find("description");
                EXPECT_EQ(outcome.result->count(""), 0u)
                    << entry.path().filename() << ": " << (description ? description->as_string() : "");
            }
        }
    }
    std::cout << folder << ": " << tally.analysed << " analysed, " << tally.errors << " errors, "
              << tally.with_locations << " with unsatisfiable locations, " << tally.unregistered
              << " not registrable\n";
    EXPECT_GT(tally.analysed, 0u);
}

TEST(AnalysisSuite, Draft4) { check_suite_draft("draft4", Draft::Draft4); }
TEST(AnalysisSuite, Draft6) { check_suite_draft("draft6", Draft::Draft6); }
TEST(AnalysisSuite, Draft7) { check_suite_draft("draft7", Draft::Draft7); }
TEST(AnalysisSuite, Draft201909) { check_suite_draft("draft2019-09", Draft::Draft201909); }
TEST(AnalysisSuite, Draft202012) { check_suite_draft("draft2020-12", Draft::Draft202012); }

std::optional<Draft> canonical_draft(ref::Draft draft) {
    if (draft == ref::Draft::Unknown) return std::nullopt;
    return static_cast<Draft>(draft);
}

TEST(AnalysisSuite, PublishedMetaSchemasAreSatisfiable) {
    const fs::path dir = kTestData / "metaschemas";
    if (!fs::exists(dir)) GTEST_SKIP() << "test data absent: " << dir;
    const std::pair<const char*, Draft> drafts[] = {{"draft4", Draft::Draft4},
                                                    {"draft6", Draft::Draft6},
                                                    {"draft7", Draft::Draft7},
                                                    {"draft201909", Draft::Draft201909},
                                                    {"draft202012", Draft::Draft202012}};
    for (const auto& [folder, draft] : drafts) {
        auto doc = value::parse_json(read_text(dir / folder / "metaschema.json"));
        ASSERT_TRUE(doc.has_value()) << folder;
        auto schema = std::make_shared<const Value>(std::move(*doc));
        // The engine's registry already holds the published meta-schemas and their vocabularies.
        auto id = ref::string_member(*schema, draft == Draft::Draft4 ? "id" : "$id");
        ASSERT_TRUE(id.has_value()) << folder;
        std::string base(*id);
        while (!base.empty() && base.back() == '#') base.pop_back();
        Outcome outcome = analyse(schema, draft, base, {});
        ASSERT_TRUE(outcome.analysed) << folder;
        ASSERT_TRUE(outcome.result.has_value()) << folder << ": " << outcome.result.error().message();
        EXPECT_TRUE(outcome.result->empty()) << folder << ": " << outcome.result->begin()->first;
    }
}

TEST(AnalysisSuite, BenchmarkSchemasWithTheirInstances) {
    const fs::path dir = kTestData / "schema-benchmark";
    if (!fs::exists(dir)) GTEST_SKIP() << "test data absent: " << dir;
    Tally tally;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const fs::path schema_path = entry.path() / "schema.json";
        if (!fs::exists(schema_path)) continue;
        auto doc = value::parse_json(read_text(schema_path));
        ASSERT_TRUE(doc.has_value()) << schema_path;
        auto schema = std::make_shared<const Value>(std::move(*doc));
        auto draft = canonical_draft(ref::detect_draft(ref::Draft::Draft202012, *schema));
        if (!draft) {
            ++tally.unregistered;
            continue;
        }
        Outcome outcome = analyse(schema, *draft, "https://benchmark.example/schema.json", {});
        if (!outcome.analysed) {
            ++tally.unregistered;
            continue;
        }
        ++tally.analysed;
        if (!outcome.result) {
            ++tally.errors;
            continue;
        }
        if (!outcome.result->empty()) ++tally.with_locations;
        // Every instance of the benchmark is valid, so a non-empty instance file rules out an unsatisfiable root.
        const bool has_instances = !read_text(entry.path() / "instances.jsonl").empty();
        if (has_instances) EXPECT_EQ(outcome.result->count(""), 0u) << entry.path().filename();
    }
    std::cout << "benchmark: " << tally.analysed << " analysed, " << tally.errors << " errors, " << tally.with_locations
              << " with unsatisfiable locations, " << tally.unregistered << " not registrable\n";
    EXPECT_GT(tally.analysed, 0u);
}

}  // namespace
