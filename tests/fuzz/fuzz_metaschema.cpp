// Meta-schema checks of drafts 4, 6, 7 and 2019-09. The input is one byte choosing the draft, then a
// schema as JSON text. Oracles: the three modes of a checker agree (first error, is-valid, every
// error), and the verdict equals the engine's validation of the schema against the embedded
// meta-schema document, apart from draft 4's "enum", which the checker takes as any array.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "deririrore/core/validator.hpp"
#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/referencing/meta.hpp"
#include "deririrore/value/json.hpp"
#include "fuzz_support.hpp"

namespace {

namespace ms = deririrore::metaschema;
namespace core = deririrore::core;
using deririrore::referencing::Draft;
using vc_fuzz::Value;

constexpr Draft kDrafts[] = {Draft::Draft4, Draft::Draft6, Draft::Draft7, Draft::Draft201909};

const core::Validator& engine_for(Draft draft) {
    static std::map<Draft, core::Validator> cache;
    auto it = cache.find(draft);
    if (it != cache.end()) return it->second;
    const auto& doc = *deririrore::referencing::meta_schemas_for_draft(draft).front().document;
    auto built = core::build_validator(doc, core::ValidationOptions().with_draft(draft));
    if (!built) vc_fuzz::finding("meta-schema build", built.error().message());
    return cache.emplace(draft, std::move(*built)).first->second;
}

// The document with every array-valued "enum" member removed, at any depth.
Value without_enum_arrays(const Value& v) {
    if (v.is_array()) {
        Value::Array items;
        for (const auto& item : v.as_array()) items.push_back(without_enum_arrays(item));
        return Value::array(std::move(items));
    }
    if (!v.is_object()) return v;
    Value::Object members;
    for (const auto& m : v.as_object()) {
        if (m.key == "enum" && m.value.is_array()) continue;
        members.push_back({m.key, without_enum_arrays(m.value)});
    }
    return Value::object(std::move(members));
}

void write_seeds(vc_fuzz::SeedSink& sink) {
    vc_fuzz::for_each_suite_case([&](std::string_view dir, const Value& schema, const std::vector<const Value*>&) {
        char mode = dir == "draft4" ? 0 : dir == "draft6" ? 1 : dir == "draft2019-09" ? 3 : 2;
        sink.add(std::string(1, mode) + deririrore::value::to_json(schema));
    });
    sink.add(std::string(1, '\0') + R"({"type": 5, "minLength": -1})");
    sink.add(std::string(1, '\1') + R"({"patternProperties": {"(": {}, "a": 5}, "items": [1, {"type": []}]})");
    sink.add(std::string(1, '\3') + R"({"$anchor": "1a", "dependencies": {"a": ["b", "b"]}, "items": [{"not": 5}]})");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vc_fuzz::handle_seed_flag(argc, argv, 4096, write_seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const Draft draft = kDrafts[data[0] % 4];
    auto parsed = deririrore::value::parse_json(vc_fuzz::as_view(data + 1, size - 1));
    if (!parsed) return 0;
    const Value& doc = *parsed;
    const std::string shown = vc_fuzz::printable(vc_fuzz::as_view(data, size));

    auto first = ms::check_meta_schema(draft, doc);
    const bool valid = ms::is_valid_meta_schema(draft, doc);
    auto all = ms::collect_meta_schema_errors(draft, doc);
    if (valid == first.has_value() || valid != all.empty()) {
        vc_fuzz::finding("modes", "is_valid, first error and every error disagree on " + shown);
        return 0;
    }
    if (first &&
        (all.front().schema_path() != first->schema_path() || all.front().instance_path() != first->instance_path())) {
        vc_fuzz::finding("modes", "first collected error differs from the first error on " + shown);
        return 0;
    }
    auto entry = ms::validate_against_meta_schema(draft, doc);
    // A boolean document is a schema in every draft, draft 4 included, whatever its root node says.
    if (!entry && !valid && !doc.is_bool() && !ms::contains_nested_schema_keyword(doc)) {
        vc_fuzz::finding("entry", "the entry passes what the checker refuses on " + shown);
        return 0;
    }
    if (ms::contains_nested_schema_keyword(doc)) return 0;
    const bool engine_valid = engine_for(draft).is_valid(doc);
    if (engine_valid == valid) return 0;
    if (valid && draft == Draft::Draft4 && engine_for(draft).is_valid(without_enum_arrays(doc))) return 0;
    vc_fuzz::finding("engine",
                     std::string("checker says ") + (valid ? "valid" : "invalid") + ", engine disagrees on " + shown);
    return 0;
}
