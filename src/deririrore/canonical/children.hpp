#pragma once
// The child nodes of a canonical schema node that reference walks enter;
// references themselves are not followed.
#include <type_traits>
#include <variant>

#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// Calls f on each child; a typed group's body only when typed_group_body is set.
template <class F>
void for_each_child(const Schema& s, F&& f, bool typed_group_body = true) {
    std::visit(
        [&](const auto& k) {
            using K = std::decay_t<decltype(k)>;
            if constexpr (std::is_same_v<K, kind::TypedGroup>) {
                if (typed_group_body) f(k.body);
            } else if constexpr (std::is_same_v<K, kind::Not>) {
                f(k.operand);
            } else if constexpr (std::is_same_v<K, kind::Array>) {
                for (const auto& p : k.leaf.prefix) f(p);
                if (k.leaf.items) f(*k.leaf.items);
                for (const auto& c : k.leaf.contains) f(c.schema);
            } else if constexpr (std::is_same_v<K, kind::Object>) {
                if (k.leaf.property_names) f(*k.leaf.property_names);
                for (const auto& e : k.leaf.properties.entries) f(e.second);
                for (const auto& e : k.leaf.pattern_properties.entries) f(e.second);
                if (k.leaf.additional) f(*k.leaf.additional);
                for (const auto& v : k.leaf.violations) {
                    std::visit(
                        [&](const auto& x) {
                            using V = std::decay_t<decltype(x)>;
                            if constexpr (std::is_same_v<V, violation::UndeclaredValueFails>)
                                f(x.additional);
                            else
                                f(x.schema);
                        },
                        v);
                }
            } else if constexpr (std::is_same_v<K, kind::AllOf> || std::is_same_v<K, kind::AnyOf> ||
                                 std::is_same_v<K, kind::OneOf>) {
                for (const auto& b : k.branches) f(b);
            }
        },
        s->kind);
}

}  // namespace deririrore::canonical
