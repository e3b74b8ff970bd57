// Times registry building and compiling where the registry crawl dominates, with the coverage
// core's OpenAPI options:
//
//   crawl-bench kxm K M [--nested] [--retrieve] [--local]
//     A root schema with K references into a second document whose K targets all lead into one
//     chain of M schemas (by local references, or by nesting with --nested). By default both
//     documents are given to one registry build and the root is compiled against it; --retrieve
//     serves the second document through a retriever during the compile instead; --local puts
//     the K references inside the document itself.
//   crawl-bench document OPENAPI.json [--limit N] [--together]
//     Registers an API document as one resource and compiles the reference to each of its
//     component schemas against that registry; --together builds one root schema that refers to
//     all of them into the document's registry and compiles that root once.
//
// Prints the seconds of each phase; peak memory is /usr/bin/time -v's to measure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/value/json.hpp"
#include "tools/suite_options.hpp"
#include "vantorel/dialect/options.hpp"

using deririrore::referencing::Draft;
using deririrore::referencing::Registry;
using deririrore::value::Value;
namespace ref = deririrore::referencing;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::string_view kDocumentUri = "https://example.com/api/openapi.json";
constexpr std::string_view kRootUri = "https://example.com/api/root.json";

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

deririrore::core::ValidationOptions openapi_options() {
    return vantorel::dialect::measured_schema_options(Draft::Draft4, vantorel::dialect::NullableSource::MediaType);
}

Value parse_or_exit(std::string_view text, const char* what) {
    auto parsed = deririrore::value::parse_json(text, 1 << 20);
    if (!parsed) {
        std::cerr << "crawl-bench: " << what << ": " << parsed.error().message << "\n";
        std::exit(1);
    }
    return std::move(parsed).value();
}

// The chain c0 -> c1 -> ... -> c(M-1), each link a reference (or, nested, a property), and K
// targets t0 .. t(K-1) that each lead to c0.
std::string chain_document(long k, long m, bool nested, bool local_root) {
    std::string out = R"({"definitions":{)";
    if (nested) {
        out += R"("c0":)";
        for (long j = 0; j < m; ++j) out += R"({"type":"object","properties":{"next":)";
        out += "true";
        for (long j = 0; j < m; ++j) out += "}}";
    } else {
        for (long j = 0; j < m; ++j) {
            if (j) out += ",";
            out += "\"c" + std::to_string(j) + R"(":{"type":"object","properties":{"next":)";
            out += j + 1 < m ? R"({"$ref":"#/definitions/c)" + std::to_string(j + 1) + "\"}" : std::string("true");
            out += "}}";
        }
    }
    for (long i = 0; i < k; ++i)
        out += ",\"t" + std::to_string(i) + R"(":{"properties":{"p":{"$ref":"#/definitions/c0"}}})";
    out += "}";
    if (local_root) {
        out += R"(,"allOf":[)";
        for (long i = 0; i < k; ++i) {
            if (i) out += ",";
            out += R"({"$ref":"#/definitions/t)" + std::to_string(i) + "\"}";
        }
        out += "]";
    }
    out += "}";
    return out;
}

std::string root_schema(long k) {
    std::string out = R"({"allOf":[)";
    for (long i = 0; i < k; ++i) {
        if (i) out += ",";
        out += R"({"$ref":")" + std::string(kDocumentUri) + "#/definitions/t" + std::to_string(i) + "\"}";
    }
    return out + "]}";
}

class OneDocumentRetriever final : public ref::Retriever {
public:
    explicit OneDocumentRetriever(Value document) : document_(std::move(document)) {}
    deririrore::Result<Value, ref::ErrorSource> retrieve(const ref::Uri& uri) const override {
        if (uri.text() == kDocumentUri) return document_;
        return deririrore::make_unexpected(ref::ErrorSource::text("not served: " + uri.text()));
    }

private:
    Value document_;
};

ref::Uri parse_uri_or_exit(std::string_view text) {
    auto uri = ref::parse_uri(text);
    if (!uri) {
        std::cerr << "crawl-bench: bad URI " << text << "\n";
        std::exit(1);
    }
    return std::move(*uri);
}

int fail(const char* phase, const std::string& message) {
    std::cerr << "crawl-bench: " << phase << ": " << message << "\n";
    return 1;
}

int run_kxm(long k, long m, bool nested, bool retrieve, bool local) {
    const auto generate_start = Clock::now();
    Value document = parse_or_exit(chain_document(k, m, nested, local), "document");
    Value root = parse_or_exit(root_schema(k), "root");
    std::printf("generate: %.3f s\n", seconds_since(generate_start));

    auto options = openapi_options();
    const Value* compiled_schema = &root;
    const auto start = Clock::now();
    if (local) {
        compiled_schema = &document;
    } else if (retrieve) {
        options.with_retriever(std::make_shared<const OneDocumentRetriever>(std::move(document)));
    } else {
        auto registry_options = ref::registry_options_default();
        registry_options.draft = Draft::Draft4;
        registry_options.insert_resource(parse_uri_or_exit(kDocumentUri), ref::RegistryInput::borrowed(document));
        registry_options.insert_resource(parse_uri_or_exit(kRootUri),
                                         ref::RegistryInput::borrowed(root));
        auto registry = ref::build_registry(std::move(registry_options));
        if (!registry) return fail("registry", registry.error().message());
        std::printf("registry: %.3f s\n", seconds_since(start));
        options.with_registry(*registry);
        options.with_base_uri(std::string(kRootUri));
    }
    const auto compile_start = Clock::now();
    auto built = deririrore::core::build_validator(*compiled_schema, options);
    if (!built) return fail("compile", built.error().message());
    std::printf("compile: %.3f s\n", seconds_since(compile_start));
    std::printf("total: %.3f s\n", seconds_since(start));
    return 0;
}

int run_document(const std::string& path, long limit, bool together) {
    const auto read_start = Clock::now();
    auto text = tools::read_file(path);
    if (!text) return fail("read", path);
    Value document = parse_or_exit(*text, "document");
    text.reset();
    std::printf("read: %.3f s\n", seconds_since(read_start));

    const Value* components = document.is_object() ? document.find("components") : nullptr;
    const Value* schemas = components && components->is_object() ? components->find("schemas") : nullptr;
    if (!schemas || !schemas->is_object()) return fail("document", "no components/schemas");

    std::vector<std::string> references;
    for (const auto& member : schemas->as_object()) {
        if (limit >= 0 && static_cast<long>(references.size()) >= limit) break;
        std::string reference_text = std::string(kDocumentUri) + "#/components/schemas/";
        ref::push_pointer_segment(reference_text, member.key);
        references.push_back(std::move(reference_text));
    }
    // With --together, one root schema refers to every component schema and is built into the
    // same registry as the document, so that the crawl meets every reference at once.
    std::string root_text = R"({"anyOf":[)";
    for (std::size_t i = 0; i < references.size(); ++i) {
        root_text += i ? ",{\"$ref\":" : "{\"$ref\":";
        deririrore::value::append_json_string(root_text, references[i]);
        root_text += "}";
    }
    root_text += "]}";
    Value root = parse_or_exit(root_text, "root");

    const auto start = Clock::now();
    auto registry_options = ref::registry_options_default();
    registry_options.draft = Draft::Draft4;
    registry_options.insert_resource(parse_uri_or_exit(kDocumentUri), ref::RegistryInput::borrowed(document));
    if (together)
        registry_options.insert_resource(parse_uri_or_exit(kRootUri), ref::RegistryInput::borrowed(root));
    auto registry = ref::build_registry(std::move(registry_options));
    if (!registry) return fail("registry", registry.error().message());
    std::printf("registry: %.3f s\n", seconds_since(start));

    auto options = openapi_options();
    options.with_registry(*registry);
    if (together) {
        options.with_base_uri(std::string(kRootUri));
        const auto compile_start = Clock::now();
        auto built = deririrore::core::build_validator(root, options);
        if (!built) return fail("compile", built.error().message());
        std::printf("compile: %.3f s (%zu schemas in one root)\n", seconds_since(compile_start), references.size());
        std::printf("total: %.3f s\n", seconds_since(start));
        return 0;
    }
    const auto compile_start = Clock::now();
    long compiled = 0, failed = 0;
    for (const std::string& reference_text : references) {
        std::string schema_text;
        deririrore::value::append_json_string(schema_text, reference_text);
        Value schema = parse_or_exit("{\"$ref\":" + schema_text + "}", "reference");
        auto built = deririrore::core::build_validator(schema, options);
        if (built) {
            ++compiled;
        } else {
            if (++failed <= 5) std::fprintf(stderr, "%s: %s\n", reference_text.c_str(), built.error().message().c_str());
        }
    }
    std::printf("compile: %.3f s (%ld schemas, %ld failed)\n", seconds_since(compile_start), compiled, failed);
    std::printf("total: %.3f s\n", seconds_since(start));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    bool nested = false, retrieve = false, local = false, together = false;
    long limit = -1;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--nested") {
            nested = true;
        } else if (arg == "--retrieve") {
            retrieve = true;
        } else if (arg == "--together") {
            together = true;
        } else if (arg == "--local") {
            local = true;
        } else if (arg == "--limit" && i + 1 < argc) {
            limit = std::strtol(argv[++i], nullptr, 10);
        } else {
            args.emplace_back(arg);
        }
    }
    if (args.size() == 3 && args[0] == "kxm") {
        const long k = std::strtol(args[1].c_str(), nullptr, 10), m = std::strtol(args[2].c_str(), nullptr, 10);
        if (k > 0 && m > 0) return run_kxm(k, m, nested, retrieve, local);
    }
    if (args.size() == 2 && args[0] == "document") return run_document(args[1], limit, together);
    std::cerr << "usage: crawl-bench kxm K M [--nested] [--retrieve] [--local]\n"
                 "       crawl-bench document OPENAPI.json [--limit N] [--together]\n";
    return 2;
}
