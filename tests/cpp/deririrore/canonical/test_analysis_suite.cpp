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

std::vector<std::string> pointer_tokens(std::string_view pointer) {
    std::vector<std::string> out;
    std::size_t start = 1;
    while (start <= pointer.size() && !pointer.empty()) {
        std::size_t slash = pointer.find('/', start);
        std::string_view raw = pointer.substr(start, slash == std::string_view::npos ? slash : slash - start);
        std::string token;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '~' && i + 1 < raw.size()) {
                token += raw[i + 1] == '0' ? '~' : '/';
                ++i;
            } else {
                token += raw[i];
            }
        }
        out.push_back(std::move(token));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return out;
}

std::optional<std::size_t> token_index(const std::string& token) {
    if (token.empty() || token.size() > 9) return std::nullopt;
    for (char c : token) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    return static_cast<std::size_t>(std::stoul(token));
}

// Whether a valid instance must satisfy the schema object at the pointer:
// every step is one that the instance has to pass (a property it has, an item
// it has, an allOf item). Anything else counts as not reached.
bool must_satisfy(const Value& schema, const Value& instance, const std::vector<std::string>& tokens, std::size_t at,
                  Draft draft) {
    if (at == tokens.size()) return true;
    if (!schema.is_object() || at + 1 > tokens.size()) return false;
    const std::string& keyword = tokens[at];
    const Value* member = schema.find(keyword);
    if (member == nullptr) return false;
    const bool modern = draft == Draft::Draft202012;
    if (keyword == "allOf" && at + 1 < tokens.size()) {
        auto i = token_index(tokens[at + 1]);
        if (!i || !member->is_array() || *i >= member->size()) return false;
        return must_satisfy(member->as_array()[*i], instance, tokens, at + 2, draft);
    }
    if (keyword == "properties" && at + 1 < tokens.size()) {
        const Value* sub = member->find(tokens[at + 1]);
        const Value* value = instance.is_object() ? instance.find(tokens[at + 1]) : nullptr;
        return sub != nullptr && value != nullptr && must_satisfy(*sub, *value, tokens, at + 2, draft);
    }
    if ((keyword == "prefixItems" || (keyword == "items" && member->is_array() && !modern)) && at + 1 < tokens.size()) {
        auto i = token_index(tokens[at + 1]);
        if (!i || !member->is_array() || *i >= member->size() || !instance.is_array() || *i >= instance.size())
            return false;
        return must_satisfy(member->as_array()[*i], instance.as_array()[*i], tokens, at + 2, draft);
    }
    if (keyword == "items" && (member->is_object() || member->is_bool())) {
        if (!instance.is_array()) return false;
        std::size_t first = 0;
        if (modern) {
            if (const Value* prefix = schema.find("prefixItems"); prefix && prefix->is_array()) first = prefix->size();
        }
        if (first >= instance.size()) return false;
        return must_satisfy(*member, instance.as_array()[first], tokens, at + 1, draft);
    }
    return false;
}

// Every valid test instance of the group, checked against every reported location.
void expect_no_reached_location(const Value& group, const Value& schema, const UnsatisfiableMap& map, Draft draft,
                                const std::string& where) {
    const Value* tests = group.find("tests");
    if (!tests || !tests->is_array()) return;
    for (const Value& t : tests->as_array()) {
        const Value* valid = t.find("valid");
        const Value* data = t.find("data");
        if (!valid || !valid->is_bool() || !valid->as_bool() || !data) continue;
        for (const auto& [pointer, causes] : map) {
            EXPECT_FALSE(must_satisfy(schema, *data, pointer_tokens(pointer), 0, draft))
                << where << ": a valid instance must satisfy " << pointer;
        }
    }
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
            const Value* description = group.find("description");
            const std::string where =
                entry.path().filename().string() + ": " + (description ? description->as_string() : "");
            if (has_valid_test(group)) {
                EXPECT_EQ(outcome.result->count(""), 0u) << where;
            }
            expect_no_reached_location(group, *schema, *outcome.result, draft, where);
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
        if (has_instances) {
            EXPECT_EQ(outcome.result->count(""), 0u) << entry.path().filename();
        }
    }
    std::cout << "benchmark: " << tally.analysed << " analysed, " << tally.errors << " errors, " << tally.with_locations
              << " with unsatisfiable locations, " << tally.unregistered << " not registrable\n";
    EXPECT_GT(tally.analysed, 0u);
}

}  // namespace
