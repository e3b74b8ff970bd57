// Hydrates and compiles every measured schema of an API document (parameters, request bodies and
// response bodies of every operation), as building a map does, and reports the counts, the time
// of each phase and the peak resident memory. Run it from a build without sanitizers:
//
//   build/bench/bench/hydration-bench [--drop] DOCUMENT.json|yaml ...
//
// The compiled schemas are kept until the end, as the targets of a map keep them (the copy that
// identical schemas share); with --drop each is released once compiled.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "deririrore/referencing/pointer.hpp"
#include "vantorel/model/document_text.hpp"
#include "vantorel/model/hydration.hpp"
#include "vantorel/model/measured_schema.hpp"

namespace {

using namespace vantorel::model;
using deririrore::value::Value;
using Clock = std::chrono::steady_clock;

struct Measured {
    Value schema;
    bool is_body;
    std::string_view marker;
};

constexpr std::string_view kMethods[] = {"get", "put", "post", "delete", "options", "head", "patch", "trace", "query"};

// A local "$ref" chain of parameter, request-body and response objects, followed a bounded number of times.
const Value* follow(const Value& document, const Value* value) {
    for (int i = 0; i < 32 && value != nullptr && value->is_object(); ++i) {
        const Value* ref = value->find("$ref");
        if (ref == nullptr || !ref->is_string() || !ref->as_string().starts_with("#")) break;
        value = deririrore::referencing::pointer_lookup(document, std::string_view(ref->as_string()).substr(1));
    }
    return value;
}

void add_content(const Value& document, const Value* holder, bool request, std::vector<Measured>& out) {
    holder = follow(document, holder);
    if (holder == nullptr || !holder->is_object()) return;
    const Value* content = holder->find("content");
    if (content != nullptr && content->is_object()) {
        for (const auto& media : content->as_object()) {
            if (const Value* schema = media.value.find("schema")) {
                out.push_back({*schema, true, request ? kReadOnlyMarker : kWriteOnlyMarker});
            }
        }
    }
    if (const Value* schema = holder->find("schema")) {
        out.push_back({*schema, true, request ? kReadOnlyMarker : kWriteOnlyMarker});
    }
}

std::vector<Measured> measured_schemas(const Value& document) {
    std::vector<Measured> out;
    const Value* paths = document.find("paths");
    if (paths == nullptr || !paths->is_object()) return out;
    for (const auto& item : paths->as_object()) {
        const Value* path_item = follow(document, &item.value);
        if (path_item == nullptr || !path_item->is_object()) continue;
        for (std::string_view method : kMethods) {
            const Value* operation = path_item->find(method);
            if (operation == nullptr || !operation->is_object()) continue;
            for (const Value* parameters : {path_item->find("parameters"), operation->find("parameters")}) {
                if (parameters == nullptr || !parameters->is_array()) continue;
                for (const auto& entry : parameters->as_array()) {
                    const Value* parameter = follow(document, &entry);
                    if (parameter == nullptr || !parameter->is_object()) continue;
                    const Value* in = parameter->find("in");
                    const bool body = in != nullptr && in->is_string() && in->as_string() == "body";
                    if (const Value* schema = parameter->find("schema")) {
                        out.push_back({*schema, body, kReadOnlyMarker});
                    } else if (!body) {
                        add_content(document, parameter, true, out);
                    }
                }
            }
            add_content(document, operation->find("requestBody"), true, out);
            if (const Value* responses = operation->find("responses"); responses != nullptr && responses->is_object()) {
                for (const auto& response : responses->as_object()) add_content(document, &response.value, false, out);
            }
        }
    }
    return out;
}

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    const bool drop = argc > 1 && std::string_view(argv[1]) == "--drop";
    if (drop) ++first;
    if (argc <= first) {
        std::fprintf(stderr, "usage: hydration-bench [--drop] DOCUMENT...\n");
        return 2;
    }
    for (int i = first; i < argc; ++i) {
        const auto read_start = Clock::now();
        auto document = read_document_file(argv[i]);
        if (!document) {
            std::fprintf(stderr, "%s: %s\n", argv[i], document.error().message().c_str());
            return 1;
        }
        const double read_seconds = seconds_since(read_start);
        SpecVersion version = SpecVersion::OpenApi30;
        if (document->find("swagger") != nullptr) {
            version = SpecVersion::Swagger20;
        } else if (const Value* openapi = document->find("openapi"); openapi != nullptr && openapi->is_string()) {
            if (openapi->as_string().starts_with("3.1")) version = SpecVersion::OpenApi31;
            if (openapi->as_string().starts_with("3.2")) version = SpecVersion::OpenApi32;
        }
        auto context = new_reference_context(*document, version, std::string_view(argv[i]));
        std::vector<Measured> schemas = measured_schemas(*document);

        MeasuredSchemaCache cache;
        std::map<std::string, std::size_t> problems;
        std::size_t compiled = 0;
        std::size_t removed_patterns = 0;
        double hydrate_seconds = 0;
        double compile_seconds = 0;
        std::vector<Value> kept;  // the hydrated schemas outlive the loop, as the targets keep them
        std::vector<MeasuredSchema> validators;
        std::vector<std::shared_ptr<const Value>> shared;
        kept.reserve(schemas.size());
        for (auto& measured : schemas) {
            const auto hydrate_start = Clock::now();
            auto hydrated = hydrate_schema_in_scope(context, std::move(measured.schema));
            hydrate_seconds += seconds_since(hydrate_start);
            if (!hydrated) {
                ++problems[std::string(spec_problem_kind(hydrated.error()))];
                continue;
            }
            kept.push_back(std::move(*hydrated));
            Value& schema = kept.back();
            const auto draft = openapi_document_draft(context.hydration, schema);
            const auto compile_start = Clock::now();
            auto result = compile_measured_schema(schema, draft, measured.marker, measured.is_body, &cache);
            compile_seconds += seconds_since(compile_start);
            if (!result) {
                ++problems[std::string(spec_problem_kind(result.error()))];
                continue;
            }
            ++compiled;
            removed_patterns += result->removed_patterns.size();
            // A target keeps the schema shared by identical ones rather than its own copy.
            kept.pop_back();
            if (!drop) shared.push_back(result->schema);
            validators.push_back(std::move(*result));
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%s\n  read %.3f s; %zu measured schemas: hydrated in %.3f s, compiled in %.3f s\n", argv[i],
                    read_seconds, schemas.size(), hydrate_seconds, compile_seconds);
        std::printf("  %zu compiled (%zu distinct, %zu engine compilations), %zu patterns left out\n", compiled,
                    cache.size(), cache.compilations(), removed_patterns);
        for (const auto& [kind, count] : problems) std::printf("  problem %s: %zu\n", kind.c_str(), count);
        std::printf("  peak resident memory %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    }
    return 0;
}
