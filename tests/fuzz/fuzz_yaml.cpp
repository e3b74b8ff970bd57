// YAML reader: never crashes, hangs or overflows the stack; what it reads is JSON that the JSON
// reader reads back identically, and merge-key expansion leaves no mergeable "<<" behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/model/document_text.hpp"
#include "vantorel/model/yaml_reader.hpp"

namespace {

using deririrore::value::Value;

void check(bool condition) {
    if (!condition) std::abort();
}

bool mergeable(const Value& v) {
    if (v.is_object()) return true;
    if (!v.is_array()) return false;
    for (const auto& item : v.as_array())
        if (!item.is_object()) return false;
    return true;
}

// No object keeps a "<<" member that expansion would have merged.
bool fully_merged(const Value& root) {
    std::vector<const Value*> stack{&root};
    while (!stack.empty()) {
        const Value* v = stack.back();
        stack.pop_back();
        if (v->is_array()) {
            for (const auto& item : v->as_array()) stack.push_back(&item);
        } else if (v->is_object()) {
            if (const Value* merge = v->find("<<"); merge != nullptr && mergeable(*merge)) return false;
            for (const auto& member : v->as_object()) stack.push_back(&member.value);
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // A small budget keeps each input quick; the rules are the same as with the default one.
    vantorel::model::YamlLimits limits;
    limits.alias_node_floor = 100'000;
    auto parsed = vantorel::model::parse_yaml(text, limits);
    if (!parsed) {
        check(!parsed.error().message.empty());
        return 0;
    }
    const std::string json = deririrore::value::to_json(*parsed);
    auto reread = deririrore::value::parse_json(json);
    check(reread.has_value());
    check(identical(*reread, *parsed));

    Value merged = std::move(*parsed);
    vantorel::model::expand_yaml_merge_keys(merged);
    check(fully_merged(merged));
    return 0;
}
