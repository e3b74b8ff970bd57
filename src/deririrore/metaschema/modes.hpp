#pragma once
// The three modes in which a meta-schema node is tested, as policies over one node template:
// each node is written once as `template <class Out> bool node(value, location, out)` and runs
// as first-error, is-valid or collect-every-error depending on `Out`. A node reports a failed
// test through `out.fail(make_error)`; its return value says whether the caller goes on (false
// stops the first-error and is-valid modes at the first failure; collecting never stops).
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/core/location.hpp"
#include "deririrore/core/validation_error.hpp"
#include "deririrore/metaschema/metaschema.hpp"

namespace deririrore::metaschema::detail {

using core::LazyLocation;
using core::ValidationErrorKind;
namespace kinds = core::kinds;

ValidationError meta_error(ValidationErrorKind kind, const Value& instance, const LazyLocation& location,
                           std::string_view schema_path);
ValidationError depth_error(const Value& instance, const LazyLocation& location);
// The seven simple type names as one JSON array, built once.
const Value& simple_type_enum_options();

struct FirstErrorMode {
    static constexpr bool probe = false;
    unsigned depth = 0;
    std::optional<ValidationError> error;
    // Out of line, so that building an error costs no stack in the recursing node functions.
    template <class F>
    [[gnu::noinline]] bool fail(F&& make) {
        error.emplace(make());
        return false;
    }
};

struct IsValidMode {
    static constexpr bool probe = true;
    unsigned depth = 0;
    template <class F>
    bool fail(F&&) {
        return false;
    }
};

struct CollectMode {
    static constexpr bool probe = false;
    unsigned depth = 0;
    std::vector<ValidationError>* list = nullptr;
    template <class F>
    [[gnu::noinline]] bool fail(F&& make) {
        list->push_back(make());
        return true;
    }
};

// Runs `node` one level deeper; past the limit the value fails with the depth error, so that a
// hostile document is never taken as valid and never exhausts the stack.
template <class Out, class Node>
bool descend(Out& out, const Value& value, const LazyLocation& location, Node&& node) {
    if (out.depth >= kMaxMetaCheckDepth) return out.fail([&] { return depth_error(value, location); });
    ++out.depth;
    bool go_on = node(value, location, out);
    --out.depth;
    return go_on;
}

// `anyOf` of two branches: decided by is-valid probes; only when both fail are the branch
// lists collected, into one AnyOf error at `path`.
template <class Out, class B0, class B1>
[[gnu::noinline]] bool any_of(Out& out, const Value& value, const LazyLocation& location, std::string_view path,
                              B0&& b0, B1&& b1) {
    {
        IsValidMode probe{out.depth};
        if (b0(value, location, probe)) return true;
    }
    {
        IsValidMode probe{out.depth};
        if (b1(value, location, probe)) return true;
    }
    if constexpr (Out::probe) {
        return false;
    } else {
        return out.fail([&] {
            kinds::Context context(2);
            CollectMode first{out.depth, &context[0]};
            b0(value, location, first);
            CollectMode second{out.depth, &context[1]};
            b1(value, location, second);
            return meta_error(kinds::AnyOf{std::move(context)}, value, location, path);
        });
    }
}

inline ValidationError type_error(value::JsonType type, const Value& instance, const LazyLocation& location,
                                  std::string_view path) {
    return meta_error(core::type_kind_single(type), instance, location, path);
}

// Runs a node in each mode: the entry points of one draft.
template <class Node>
std::optional<ValidationError> run_first_error(const Value& document, Node&& node) {
    FirstErrorMode out;
    LazyLocation root;
    node(document, root, out);
    return std::move(out.error);
}
template <class Node>
bool run_is_valid(const Value& document, Node&& node) {
    IsValidMode out;
    LazyLocation root;
    return node(document, root, out);
}
template <class Node>
std::vector<ValidationError> run_collect(const Value& document, Node&& node) {
    std::vector<ValidationError> list;
    CollectMode out{0, &list};
    LazyLocation root;
    node(document, root, out);
    return list;
}

}  // namespace deririrore::metaschema::detail
