#include "xml/hints.hpp"

#include <set>
#include <vector>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/types.hpp"

namespace xml {

namespace {

constexpr std::uint8_t kArray = 32;
// Nested visits (properties, items, branches and references) beyond this count as exhausting
// the budget: the walk recurses, and the stack must stay bounded.
constexpr std::size_t kMaxVisitDepth = 512;

std::uint8_t types_of(const Value* type) {
    if (type == nullptr) return 0;
    std::uint8_t bits = 0;
    const auto add = [&](const Value& v) {
        if (!v.is_string()) return;
        if (auto t = deririrore::value::json_type_from_name(v.as_string())) bits |= static_cast<std::uint8_t>(*t);
    };
    if (type->is_string())
        add(*type);
    else if (type->is_array())
        for (const Value& item : type->as_array()) add(item);
    return bits;
}

struct Walk {
    const Value& root;
    XmlHints hints;
    std::set<std::string, std::less<>> followed;
    std::size_t budget = kXmlHintVisitBudget;
    bool exhausted = false;

    const XmlHint* find(std::string_view location) const {
        auto it = hints.find(location);
        return it == hints.end() ? nullptr : &it->second;
    }

    void visit(const Value& node, const std::string& location, std::size_t depth) {
        if (!node.is_object() || exhausted) return;
        if (budget == 0 || depth > kMaxVisitDepth) {
            exhausted = true;
            return;
        }
        --budget;

        if (const Value* ref = node.find("$ref"); ref != nullptr && ref->is_string()) {
            const std::string& text = ref->as_string();
            if (text.empty() || text[0] != '#') return;
            const std::string pointer = text.substr(1);
            if (followed.count(pointer) != 0) return;
            followed.insert(pointer);
            if (const Value* target = deririrore::referencing::pointer_lookup(root, pointer); target != nullptr)
                visit(*target, location, depth + 1);
            followed.erase(pointer);
            return;
        }

        const std::uint8_t types = types_of(node.find("type"));
        std::optional<std::string> name;
        bool attribute = false, wrapped = false;
        if (const Value* x = node.find("xml"); x != nullptr && x->is_object()) {
            if (const Value* n = x->find("name"); n != nullptr && n->is_string()) name = n->as_string();
            if (const Value* a = x->find("attribute"); a != nullptr && a->is_bool()) attribute = a->as_bool();
            if (const Value* w = x->find("wrapped"); w != nullptr && w->is_bool()) wrapped = w->as_bool();
        }
        if (name || attribute || wrapped || types != 0) {
            XmlHint hint;
            hint.name = std::move(name);
            hint.attribute = attribute;
            hint.wrapped = wrapped;
            hint.types = types;
            hints.insert_or_assign(location, std::move(hint));
        }

        if (const Value* properties = node.find("properties"); properties != nullptr && properties->is_object()) {
            std::map<std::string, std::string, std::less<>> elements, attributes;
            for (const auto& member : properties->as_object()) {
                const std::string at = child_location(location, member.key);
                visit(member.value, at, depth + 1);
                if (exhausted) return;
                const XmlHint* hint = find(at);
                if (hint == nullptr) continue;
                const std::optional<std::string>* xml_name = &hint->name;
                if (!hint->attribute && (hint->types & kArray) && !hint->wrapped) {
                    const XmlHint* items = find(child_location(at, "[]"));
                    static const std::optional<std::string> none;
                    xml_name = items != nullptr ? &items->name : &none;
                }
                if (!*xml_name || **xml_name == member.key) continue;
                (hint->attribute ? attributes : elements).insert_or_assign(**xml_name, member.key);
            }
            if (!elements.empty() || !attributes.empty()) {
                XmlHint& hint = hints[location];
                hint.element_names = std::move(elements);
                hint.attribute_names = std::move(attributes);
            }
        }

        if (const Value* items = node.find("items"); items != nullptr) {
            visit(*items, child_location(location, "[]"), depth + 1);
            if (exhausted) return;
        }

        for (std::string_view keyword : {"allOf", "anyOf", "oneOf"}) {
            const Value* branches = node.find(keyword);
            if (branches == nullptr || !branches->is_array()) continue;
            std::vector<std::string> at;
            for (std::size_t i = 0; i < branches->as_array().size(); ++i) {
                at.push_back(child_location(location, std::string(keyword) + "/" + std::to_string(i)));
                visit(branches->as_array()[i], at.back(), depth + 1);
                if (exhausted) return;
            }
            const XmlHint* own = find(location);
            if ((own != nullptr && own->types != 0) || at.empty()) continue;
            std::uint8_t merged = 0;
            for (const std::string& branch : at)
                if (const XmlHint* h = find(branch)) merged |= h->types;
            if (merged != 0) hints[location].types = merged;
        }
    }
};

}  // namespace

XmlHints xml_hints_from_schema(const Value& schema) {
    Walk walk{schema, {}, {}};
    walk.visit(schema, std::string(), 0);
    if (walk.exhausted) return {};
    return std::move(walk.hints);
}

std::string child_location(std::string_view location, std::string_view step) {
    if (location.empty()) return std::string(step);
    std::string out;
    out.reserve(location.size() + 1 + step.size());
    out.append(location).push_back('/');
    out.append(step);
    return out;
}

const XmlHint& hint_at(const XmlHints& hints, std::string_view location) {
    static const XmlHint none;
    auto it = hints.find(location);
    return it == hints.end() ? none : it->second;
}

}  // namespace xml
