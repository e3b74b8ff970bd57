// The satisfiability analysis over the measured schemas of real API documents: a schema object
// reported impossible must not accept an example its own document gives for it, and the counts
// of what the analysis found are printed for the record.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "deririrore/core/options.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/uri.hpp"
#include "vantorel/model/document_text.hpp"
#include "vantorel/recorders/coverage_map.hpp"
#include "zavova/satisfiability.hpp"

namespace {

namespace fs = std::filesystem;
namespace ref = deririrore::referencing;
using deririrore::value::Value;

constexpr http::HttpMethod kMethods[] = {
    http::HttpMethod::Get,  http::HttpMethod::Put,    http::HttpMethod::Query,
    http::HttpMethod::Post, http::HttpMethod::Delete, http::HttpMethod::Options,
    http::HttpMethod::Head, http::HttpMethod::Patch,  http::HttpMethod::Trace,
};

struct Measured {
    std::shared_ptr<const Value> schema;
    std::shared_ptr<const deririrore::core::Validator> validator;
    const zavova::CoverageState* state = nullptr;
};

void add_target(std::vector<Measured>& out, std::set<const Value*>& seen, std::shared_ptr<const Value> schema,
                std::shared_ptr<const deririrore::core::Validator> validator, const zavova::CoverageHolder& holder) {
    if (!schema || !validator || !holder.state || !seen.insert(schema.get()).second) return;
    out.push_back(Measured{std::move(schema), std::move(validator), holder.state.get()});
}

std::vector<Measured> measured_targets(const vantorel::recorders::CoverageMap& map) {
    std::vector<Measured> out;
    std::set<const Value*> seen;
    for (const auto& entry : map.routes.paths) {
        for (http::HttpMethod method : kMethods) {
            const auto* record = entry.methods.get(method);
            if (record == nullptr) continue;
            for (const auto& p : record->parameters) add_target(out, seen, p.schema, p.validator, p.holder);
            auto bodies = [&](const vantorel::model::ResponseTarget& r) {
                for (const auto& b : r.bodies) add_target(out, seen, b.schema, b.validator, b.holder);
            };
            for (const auto& r : record->responses) bodies(r);
            if (record->has_default_response) bodies(record->default_response);
        }
    }
    return out;
}

// The schema's own examples: "example", and the items of an "examples" array.
std::vector<const Value*> examples_of(const Value& schema) {
    std::vector<const Value*> out;
    if (!schema.is_object()) return out;
    if (const Value* e = schema.find("example")) out.push_back(e);
    if (const Value* list = schema.find("examples"); list != nullptr && list->is_array()) {
        for (const Value& e : list->as_array()) out.push_back(&e);
    }
    return out;
}

// A validator of the object at `location` inside the measured schema, under the plain engine.
std::optional<deririrore::core::Validator> validator_at(const Measured& m, const std::string& location) {
    const std::string base = "https://measured.example/schema.json";
    auto uri = ref::parse_uri(base);
    if (!uri) return std::nullopt;
    ref::RegistryOptions options = ref::registry_options_default();
    options.draft = m.state->draft;
    options.insert_resource(*uri, ref::RegistryInput::shared(m.schema, m.state->draft));
    auto registry = ref::build_registry(std::move(options));
    if (!registry) return std::nullopt;
    Value wrapper = Value::object();
    wrapper.insert_or_assign("$ref", Value::string(base + "#" + location));
    deririrore::core::ValidationOptions engine;
    engine.with_draft(m.state->draft).with_registry(*registry);
    auto built = deririrore::core::build_validator(wrapper, engine);
    if (!built) return std::nullopt;
    return std::move(*built);
}

TEST(RealSampleSatisfiability, ImpossibleSchemasRejectTheirExamples) {
    const fs::path dir = fs::path(VC_TESTDATA) / "openapi" / "real-sample";
    if (!fs::is_directory(dir)) GTEST_SKIP() << dir << " is absent";
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());

    std::size_t documents = 0, targets = 0, roots = 0, locations = 0, examples = 0;
    std::size_t documents_with = 0;
    std::map<std::string, std::size_t> failures;
    std::map<std::string, std::size_t> keywords;
    for (const fs::path& path : files) {
        auto doc = vantorel::model::read_document_file(path.string());
        if (!doc) continue;
        ++documents;
        const auto map = vantorel::recorders::build_coverage_map(*doc, std::nullopt, path.string());
        bool found_here = false;
        std::size_t here = 0;
        std::string sample;
        for (const Measured& m : measured_targets(map)) {
            ++targets;
            if (m.state->analysis_error) {
                static const char* kNames[] = {"invalid schema",       "uncompilable pattern", "unresolvable reference",
                                               "unresolvable pointer", "unresolvable anchor",  "unsupported"};
                ++failures[kNames[m.state->analysis_error->index()]];
                continue;
            }
            auto outcome = zavova::analyse_satisfiability(*m.schema, m.state->draft);
            const auto* found = std::get_if<zavova::UnsatisfiableMap>(&outcome);
            ASSERT_NE(found, nullptr) << path.filename() << ": the second analysis disagrees with the first";
            if (m.state->unsatisfiable) {
                EXPECT_EQ(found->count(""), 1u) << path.filename();
            }
            for (const auto& [location, causes] : *found) {
                ++locations;
                ++here;
                found_here = true;
                if (sample.empty() && !location.empty()) {
                    sample = location;
                    if (const auto* one = std::get_if<zavova::CanonicalCause>(&causes.data)) {
                        sample += " (" + one->pointer + ":";
                        for (const auto& k : one->keywords) sample += " " + k;
                        sample += ")";
                    }
                }
                if (location.empty()) {
                    ++roots;
                    std::cout << "  impossible: " << path.filename().string() << "\n";
                }
                for (const auto* cause :
                     std::vector<const zavova::CanonicalCause*>{std::get_if<zavova::CanonicalCause>(&causes.data)}) {
                    if (cause != nullptr)
                        for (const auto& k : cause->keywords) ++keywords[k];
                }
                if (const auto* list = std::get_if<std::vector<zavova::CanonicalCause>>(&causes.data)) {
                    for (const auto& cause : *list)
                        for (const auto& k : cause.keywords) ++keywords[k];
                }
                const Value* at = ref::pointer_lookup(*m.schema, location);
                ASSERT_NE(at, nullptr) << path.filename() << " " << location;
                const auto own = examples_of(*at);
                if (own.empty()) continue;
                std::optional<deririrore::core::Validator> nested;
                if (!location.empty()) nested = validator_at(m, location);
                for (const Value* example : own) {
                    ++examples;
                    const bool accepted =
                        location.empty() ? m.validator->is_valid(*example) : (nested && nested->is_valid(*example));
                    EXPECT_FALSE(accepted)
                        << path.filename() << " at " << location << " is reported impossible but accepts its example";
                }
            }
        }
        documents_with += found_here ? 1 : 0;
        if (found_here)
            std::cout << "  " << path.filename().string() << ": " << here << " impossible schema objects, e.g. "
                      << sample << "\n";
    }
    std::cout << "real sample: " << documents << " documents, " << targets << " measured schemas, " << documents_with
              << " documents with impossible constraints, " << locations << " impossible schema objects, " << roots
              << " impossible at the root, " << examples << " examples checked\n";
    for (const auto& [name, n] : failures) std::cout << "  not analysed (" << name << "): " << n << "\n";
    for (const auto& [name, n] : keywords) std::cout << "  cause keyword " << name << ": " << n << "\n";
    EXPECT_GT(targets, 0u);
}

}  // namespace
