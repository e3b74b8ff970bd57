#include <algorithm>
#include <set>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/parse.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resource.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/utf8.hpp"

namespace deririrore::canonical {

using value::Value;

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

template <class Keep>
std::string percent_encode(std::string_view text, Keep keep) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (keep(b)) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0xF]);
        }
    }
    return out;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// None for a "%" not followed by two hexadecimal digits.
std::optional<std::string> percent_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int hi = hex_digit(text[i + 1]);
        const int lo = hex_digit(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return out;
}

std::string unescape_pointer(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '~' && i + 1 < text.size() && (text[i + 1] == '0' || text[i + 1] == '1')) {
            out.push_back(text[i + 1] == '0' ? '~' : '/');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

bool starts_with_urn(std::string_view text) { return text.starts_with(kCanonicalUrnPrefix); }

std::string checked_urn(std::string text) {
    if (!referencing::parse_absolute_uri(text)) throw InternalError("a percent-encoded canonical URI is valid");
    return text;
}

CanonicalError reference_failed(referencing::ReferenceError error) {
    return CanonicalError{CanonicalError::ReferenceFailed{std::move(error)}};
}

// The base name of a target (before dynamic bindings).
std::string base_name_of(std::string_view text, std::string_view target_uri, std::string_view root_uri) {
    auto general = [&] {
        if (starts_with_urn(target_uri)) return std::string(target_uri);
        return checked_urn(std::string(kCanonicalUrnPrefix) + percent_encode_outer(target_uri));
    };
    auto local_definition = [&] {
        if (uri_without_fragment(target_uri) == uri_without_fragment(root_uri)) return std::string(text);
        return general();
    };
    std::size_t prefix = 0;
    if (text.starts_with("#/$defs/")) {
        prefix = 8;
    } else if (text.starts_with("#/definitions/")) {
        prefix = 14;
    } else {
        return general();
    }
    const std::string_view name = text.substr(prefix);
    auto decoding = [&]() -> std::string {
        auto decoded = percent_decode(name);
        if (!decoded || !value::is_valid_utf8(*decoded)) return general();
        if (starts_with_urn(*decoded)) return unescape_pointer(*decoded);
        if (decoded->empty() || decoded->find('/') != std::string::npos) return general();
        return local_definition();
    };
    if (starts_with_urn(name)) {
        if (name.find('%') == std::string_view::npos) return unescape_pointer(name);
        return decoding();
    }
    if (name.empty()) return general();
    for (char c : name) {
        if (c == '%') return decoding();
        if (c == '/') return general();
    }
    return local_definition();
}

Schema reference_node(std::string name) { return make_schema(kind::Reference{share(std::move(name))}); }

// The bindings of dynamic anchors that the target's dynamic scope makes; an
// error when a scope entry cannot be looked up.
Result<BindingList, referencing::ReferenceError> dynamic_bindings(const referencing::Resolved& target,
                                                                  CanonicalContext& context) {
    BindingList out;
    std::optional<referencing::ReferenceError> failure;
    std::vector<referencing::UriRef> scopes;
    target.resolver.scope().for_each([&](const referencing::UriRef& uri) { scopes.push_back(uri); });
    if (context.draft == Draft::Draft201909) {
        std::optional<SharedString> remembered;
        for (const auto& uri : scopes) {
            auto found = referencing::resolver_lookup(target.resolver, uri->text());
            if (!found) return make_unexpected(std::move(found).error());
            const Value* anchor = found->contents->find("$recursiveAnchor");
            if (anchor == nullptr || !anchor->is_bool() || !anchor->as_bool()) break;
            remembered = share(uri->text());
        }
        if (remembered) out.push_back(DynamicBinding{share("$recursiveAnchor"), *remembered});
        return out;
    }
    for (const auto& uri : scopes) {
        auto found = referencing::resolver_lookup(target.resolver, uri->text());
        if (!found) return make_unexpected(std::move(found).error());
        std::vector<std::string> anchors;
        collect_dynamic_anchors(*found->contents, found->draft, anchors);
        SharedString scope_uri = share(uri->text());
        for (std::string& name : anchors) {
            auto same =
                std::find_if(out.begin(), out.end(), [&](const DynamicBinding& b) { return *b.anchor == name; });
            if (same != out.end()) {
                same->uri = scope_uri;
            } else {
                out.push_back(DynamicBinding{share(std::move(name)), scope_uri});
            }
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const DynamicBinding& a, const DynamicBinding& b) { return *a.anchor < *b.anchor; });
    return out;
}

// Whether following the node's chain of pure references through the table
// comes back to `name`.
bool aliases_back_to(const ParseTracker& tracker, const Schema& node, const std::string& name) {
    std::set<std::string_view> seen;
    const Schema* current = &node;
    while (const auto* ref = (*current)->as<kind::Reference>()) {
        if (*ref->name == name) return true;
        if (!seen.insert(*ref->name).second) return false;
        auto entry = tracker.targets.find(*ref->name);
        if (entry == tracker.targets.end()) return false;
        current = &entry->second;
    }
    return false;
}

}  // namespace

std::string percent_encode_outer(std::string_view text) {
    return percent_encode(text, [](unsigned char b) {
        return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9');
    });
}

std::string percent_encode_inner(std::string_view text) {
    return percent_encode(text,
                          [](unsigned char b) { return b >= 0x20 && b < 0x7F && b != '%' && b != '@' && b != '|'; });
}

std::string_view uri_without_fragment(std::string_view text) { return text.substr(0, text.find('#')); }

std::string canonical_name_with_bindings(const std::string& base_name, const BindingList& bindings) {
    if (bindings.empty()) return base_name;
    std::string inner;
    if (starts_with_urn(base_name)) {
        auto decoded = percent_decode(std::string_view(base_name).substr(kCanonicalUrnPrefix.size()));
        // Names of the outer set always decode; the raw rest serves otherwise.
        inner = decoded ? std::move(*decoded) : base_name.substr(kCanonicalUrnPrefix.size());
    } else {
        inner = base_name;
    }
    std::string text = percent_encode_inner(inner);
    for (const DynamicBinding& b : bindings) {
        text += "|dyn=";
        text += percent_encode_inner(*b.anchor);
        text += "@";
        text += percent_encode_inner(*b.uri);
    }
    return checked_urn(std::string(kCanonicalUrnPrefix) + percent_encode_outer(text));
}

void collect_dynamic_anchors(const Value& value, referencing::Draft draft, std::vector<std::string>& out) {
    // Depth first in document order, with an explicit stack.
    std::vector<const Value*> stack{&value};
    bool top = true;
    while (!stack.empty()) {
        const Value* v = stack.back();
        stack.pop_back();
        if (!v->is_object()) continue;
        if (!top && referencing::draft_id_of(draft, *v)) continue;
        top = false;
        if (const Value* anchor = v->find("$dynamicAnchor"); anchor != nullptr && anchor->is_string())
            out.push_back(anchor->as_string());
        std::vector<const Value*> children;
        referencing::subresources_of(draft, *v, [&](const Value& child) { children.push_back(&child); });
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
    }
}

void record_target_alias(ParseTracker& tracker, const std::string& name, const Schema& node) {
    if (tracker.suppress) return;
    if (const auto* ref = node->as<kind::Reference>()) {
        tracker.target_aliases[name] = ref->name;
    } else if (is_false(node)) {
        tracker.target_aliases[name] = std::nullopt;
    }
}

ParseOutcome resolve_reference_part(std::string_view text, CanonicalContext& context, const Resolver& scope,
                                    ParseTracker& tracker) {
    auto target_uri = referencing::resolve_uri_cached(scope.registry(), *scope.base(), text);
    if (!target_uri) return reference_failed(std::move(target_uri).error());
    auto resolved = referencing::resolver_lookup(scope, text);
    if (!resolved) return reference_failed(std::move(resolved).error());
    return resolve_reference_target(text, (*target_uri)->text(), *resolved, context, tracker);
}

ParseOutcome resolve_recursive_reference_part(CanonicalContext& context, const Resolver& scope, ParseTracker& tracker) {
    auto target_uri = referencing::resolve_uri_cached(scope.registry(), *scope.base(), "#");
    if (!target_uri) return reference_failed(std::move(target_uri).error());
    auto resolved = referencing::lookup_recursive_ref(scope);
    if (!resolved) return reference_failed(std::move(resolved).error());
    return resolve_reference_target("#", (*target_uri)->text(), *resolved, context, tracker);
}

ParseOutcome resolve_reference_target(std::string_view text, std::string_view target_uri,
                                      const referencing::Resolved& target, CanonicalContext& context,
                                      ParseTracker& tracker) {
    tracker.reference_met = true;
    BindingList bindings;
    if (tracker.dynamic_mode == 2) {
        auto made = dynamic_bindings(target, context);
        if (!made) return reference_failed(std::move(made).error());
        bindings = std::move(*made);
    }
    const std::string_view root_uri = tracker.root_uri ? std::string_view(*tracker.root_uri) : std::string_view();
    if (target.contents == tracker.root_value &&
        std::all_of(bindings.begin(), bindings.end(), [&](const DynamicBinding& b) { return *b.uri == root_uri; })) {
        if (tracker.known_false.contains("#")) return false_schema();
        return reference_node("#");
    }
    if (target.draft != registry_draft(context.draft)) return ParseOutcome::unsupported();
    const std::string name = canonical_name_with_bindings(base_name_of(text, target_uri, root_uri), bindings);

    if (auto bound = tracker.target_values.find(name);
        bound != tracker.target_values.end() && bound->second != target.contents)
        return ParseOutcome::unsupported();
    if (!tracker.targets.contains(name) && !tracker.targets_in_progress.contains(name)) {
        tracker.target_values.emplace(name, target.contents);
        tracker.targets_in_progress.insert(name);
        tracker.branch_part = !tracker.suppress;
        ParseOutcome parsed = parse_canonical_node(*target.contents, context, false, target.resolver, tracker);
        tracker.targets_in_progress.erase(name);
        if (!parsed.has_node()) return parsed;
        // References that only refer to each other would make a table cycle
        // that no walk could leave; such a target validates nothing decidable.
        if (aliases_back_to(tracker, parsed.node(), name)) return ParseOutcome::unsupported();
        record_parse_cause(tracker, *target.contents, parsed.node());
        record_target_alias(tracker, name, parsed.node());
        tracker.targets.insert_or_assign(name, parsed.node());
    }
    if (tracker.known_false.contains(name)) return false_schema();
    if (!starts_with_urn(name)) {
        auto entry = tracker.targets.find(name);
        if (entry != tracker.targets.end() && is_false(entry->second)) return false_schema();
    }
    return reference_node(name);
}

}  // namespace deririrore::canonical
