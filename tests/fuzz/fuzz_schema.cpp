// Schema compile and validate. The input is one mode byte, then a schema and an instance as JSON
// texts separated by a NUL byte. The mode picks the draft and variants of the two option sets every
// input is built with: the engine's plain options and the coverage core's OpenAPI options. Oracle:
// is_valid, validate, iter_errors, trace and evaluate give the same validity.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"
#include "fuzz_support.hpp"
#include "vantorel/dialect/options.hpp"

namespace {

namespace core = deririrore::core;
using deririrore::referencing::Draft;
using deririrore::value::parse_json;
using deririrore::value::to_json;
using vc_fuzz::Value;

constexpr Draft kDrafts[] = {Draft::Draft4, Draft::Draft6, Draft::Draft7, Draft::Draft201909, Draft::Draft202012};

class CountingTracer final : public core::Tracer {
public:
    void call_mut(const core::TraceEvent&) override { ++events; }
    std::size_t events = 0;
};

uint8_t mode_of_draft_dir(std::string_view dir) {
    for (uint8_t i = 0; i < 5; ++i) {
        static constexpr std::string_view kDirs[] = {"draft4", "draft6", "draft7", "draft2019-09", "draft2020-12"};
        if (dir == kDirs[i]) return i;
    }
    return 4;
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    // Most cases repeat from draft to draft: each schema and instance is seeded once, under the
    // first draft that has it; mutating the mode byte tries the others.
    std::set<std::string> seen;
    vc_fuzz::for_each_suite_case([&](std::string_view dir, const Value& schema, const std::vector<const Value*>& cases) {
        const uint8_t draft = mode_of_draft_dir(dir);
        const std::string schema_text = to_json(schema);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            std::string pair = schema_text + '\0' + to_json(*cases[i]);
            if (!seen.insert(pair).second) continue;
            // The option variants rotate over the cases, so that each runs on every keyword family.
            const auto mode = static_cast<char>(draft | ((i % 4) << 3));
            sink.add(std::string(1, mode) + pair);
        }
    });
    namespace fs = vc_fuzz::fs;
    for (const auto& dir : vc_fuzz::files_under(fs::path(vc_fuzz::testdata_dir()) / "schema-benchmark", "schema.json")) {
        auto schema = vc_fuzz::read_json_file(dir);
        auto instances = vc_fuzz::read_file(dir.parent_path() / "instances.jsonl");
        if (!schema || !instances) continue;
        std::string first = instances->substr(0, instances->find('\n'));
        sink.add(std::string(1, '\4') + to_json(*schema) + '\0' + first);
    }
}

std::string describe(std::string_view options, const Value& schema, const Value& instance) {
    return std::string(options) + " options, schema " + vc_fuzz::printable(to_json(schema)) + ", instance " +
           vc_fuzz::printable(to_json(instance));
}

void check_agreement(std::string_view options, const core::ValidationOptions& config, const Value& schema,
                     const Value& instance) {
    auto built = core::build_validator(schema, config);
    if (!built) {
        if (built.error().message().empty()) {
            vc_fuzz::finding("compile-error-text", "empty compile error: " + describe(options, schema, instance));
        }
        return;
    }
    const core::Validator& v = *built;
    const bool valid = v.is_valid(instance);
    auto say = [&](const char* entry, bool got) {
        return std::string(entry) + " says " + (got ? "valid" : "invalid") + ", is_valid says " +
               (valid ? "valid" : "invalid") + ": " + describe(options, schema, instance);
    };

    const bool by_validate = !v.validate(instance).has_value();
    if (by_validate != valid) vc_fuzz::finding("entry-points-agree", say("validate", by_validate));
    const bool by_errors = v.iter_errors(instance).empty();
    if (by_errors != valid) vc_fuzz::finding("entry-points-agree", say("iter_errors", by_errors));
    CountingTracer tracer;
    auto traced = v.trace(instance, tracer);
    // A trace cut short by the depth limit is an error; is_valid answers false there.
    const bool by_trace = traced && *traced;
    if (by_trace != valid) vc_fuzz::finding("entry-points-agree", say("trace", by_trace));
    const bool by_evaluate = v.evaluate(instance).valid;
    if (by_evaluate != valid) vc_fuzz::finding("entry-points-agree", say("evaluate", by_evaluate));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 8192, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    auto parts = vc_fuzz::split_nul(vc_fuzz::as_view(data + 1, size - 1), 2);
    auto schema = parse_json(parts[0]);
    if (!schema) return 0;
    auto instance = parse_json(parts.size() > 1 ? parts[1] : std::string_view("null"));
    if (!instance) return 0;

    const Draft draft = kDrafts[(mode & 7) % 5];
    // Bit 3: formats asserted under the plain options; bit 4: the OpenAPI options for a body
    // rather than a parameter ("null" as a string is not null there).
    core::ValidationOptions plain;
    plain.with_draft(draft);
    if (mode & 8) plain.with_validate_formats(true);
    check_agreement("plain", plain, *schema, *instance);

    const auto source = (mode & 16) ? vantorel::dialect::NullableSource::MediaType
                                    : vantorel::dialect::NullableSource::Parameter;
    check_agreement("openapi", vantorel::dialect::measured_schema_options(draft, source), *schema, *instance);
    return 0;
}
