// The analysis over the component schemas of real API documents: none may
// crash, hang or fail on a well-formed document, and a schema reported
// unsatisfiable at its root must not accept its own example under the engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "deririrore/canonical/analysis.hpp"
#include "deririrore/canonical/walkers.hpp"
#include "deririrore/core/options.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;
namespace ref = deririrore::referencing;
namespace fs = std::filesystem;
using value::Value;

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string escape_token(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

// Swagger 2 and OpenAPI 3.0 schemas read as draft 4, OpenAPI 3.1 as 2020-12.
Draft document_draft(const Value& doc) {
    const Value* version = doc.find("openapi");
    if (version && version->is_string() && version->as_string().rfind("3.1", 0) == 0) return Draft::Draft202012;
    return Draft::Draft4;
}

TEST(AnalysisOpenApi, ComponentSchemasOfRealDocuments) {
    const fs::path dir = fs::path(VC_TESTDATA) / "openapi" / "real-sample";
    if (!fs::exists(dir)) GTEST_SKIP() << "test data absent: " << dir;
    std::size_t documents = 0, schemas = 0, errors = 0, unsatisfiable_roots = 0, examples_checked = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".json") continue;
        auto parsed = value::parse_json(read_text(entry.path()));
        if (!parsed || !parsed->is_object()) continue;
        auto doc = std::make_shared<const Value>(std::move(*parsed));
        const Draft draft = document_draft(*doc);
        const std::string base = "https://api.example/" + entry.path().filename().string();
        ref::RegistryOptions options;
        options.draft = engine_draft(draft);
        auto uri = ref::parse_uri(base);
        ASSERT_TRUE(uri.has_value());
        options.insert_resource(*uri, ref::RegistryInput::shared(doc, engine_draft(draft)));
        auto registry = ref::build_registry(std::move(options));
        if (!registry) continue;
        ++documents;
        const Value* holder = doc->find("components");
        std::string prefix = "/components/schemas/";
        const Value* components = holder ? holder->find("schemas") : nullptr;
        if (components == nullptr) {
            components = doc->find("definitions");
            prefix = "/definitions/";
        }
        if (components == nullptr || !components->is_object()) continue;
        auto shared_base = std::make_shared<const ref::Uri>(std::move(*uri));
        for (const auto& member : components->as_object()) {
            if (!member.value.is_object() && !member.value.is_bool()) continue;
            ++schemas;
            AnalysisRequest request;
            request.schema = &member.value;
            request.pattern_options = regex::PatternOptions::backtracking();
            request.draft = draft;
            request.format_asserts = draft == Draft::Draft4;
            request.pattern_cache = std::make_shared<PatternCache>();
            request.scope.emplace(**registry, shared_base);
            auto result = canonicalize_schema(request);
            if (!result) {
                ++errors;
                continue;
            }
            if (!result->count("")) continue;
            ++unsatisfiable_roots;
            std::cout << "  unsatisfiable: " << entry.path().filename().string() << " " << member.key << "\n";
            const Value* example = member.value.is_object() ? member.value.find("example") : nullptr;
            if (example == nullptr) continue;
            Value wrapper = Value::object();
            wrapper.insert_or_assign("$ref", Value::string(base + "#" + prefix + escape_token(member.key)));
            core::ValidationOptions engine;
            engine.with_draft(engine_draft(draft)).with_registry(*registry);
            auto validator = core::build_validator(wrapper, engine);
            ASSERT_TRUE(validator.has_value()) << validator.error().message();
            ++examples_checked;
            EXPECT_FALSE(validator->is_valid(*example))
                << entry.path().filename() << " " << member.key << " is reported unsatisfiable but accepts its example";
        }
    }
    std::cout << "openapi: " << documents << " documents, " << schemas << " component schemas, " << errors
              << " errors, " << unsatisfiable_roots << " unsatisfiable at the root, " << examples_checked
              << " examples checked\n";
    EXPECT_GT(schemas, 0u);
}

}  // namespace
