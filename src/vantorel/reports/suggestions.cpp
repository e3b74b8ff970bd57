#include "vantorel/reports/suggestions.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/model/parameters.hpp"
#include "vantorel/recorders/tracer.hpp"
#include "vantorel/reports/operation_report.hpp"
#include "vantorel/reports/statistics.hpp"
#include "zavova/coverage_state.hpp"

namespace vantorel::reports {
namespace {

using deririrore::value::Member;
using deririrore::value::Value;
using zavova::EntryTag;
using zavova::KeywordEntry;
using zavova::Polarity;

// Nesting followed when a value is synthesised; `$ref` hops count too, so a recursive schema ends.
constexpr int kMaxSynthDepth = 8;
// Lengths and item counts beyond this are not built: such a request would not be a useful one.
constexpr double kMaxBuiltSize = 4096;

struct TargetGap {
    std::size_t entry = 0;
    std::string pointer;
    SuggestionPolarity polarity = SuggestionPolarity::Valid;
};

std::vector<std::string> pointer_tokens(std::string_view pointer) {
    std::vector<std::string> tokens;
    if (pointer.empty()) return tokens;
    std::size_t start = 1;
    while (start <= pointer.size()) {
        std::size_t slash = pointer.find('/', start);
        if (slash == std::string_view::npos) slash = pointer.size();
        tokens.push_back(deririrore::referencing::unescape_pointer_segment(pointer.substr(start, slash - start)));
        start = slash + 1;
    }
    return tokens;
}

std::optional<double> number_of(const Value* v) {
    if (v == nullptr || !v->is_number()) return std::nullopt;
    const std::string text(v->number_text());
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

Value number(double d) {
    if (!std::isfinite(d)) return Value::null();
    if (d == std::floor(d) && std::fabs(d) < 9e15) return Value::number_from_int(static_cast<std::int64_t>(d));
    return Value::number_from_double(d);
}

// The schema a `$ref` names inside the same document, followed a few hops.
const Value* resolve(const Value& root, const Value* schema) {
    for (int hops = 0; schema != nullptr && schema->is_object() && hops < kMaxSynthDepth; ++hops) {
        const Value* ref = schema->find("$ref");
        if (ref == nullptr || !ref->is_string() || ref->as_string().empty() || ref->as_string()[0] != '#') break;
        const Value* target =
            deririrore::referencing::pointer_lookup(root, std::string_view(ref->as_string()).substr(1));
        if (target == nullptr) break;
        // A schema with siblings beside `$ref` keeps its own keywords; only a bare reference is followed.
        if (schema->size() > 1) break;
        schema = target;
    }
    return schema;
}

std::string type_of(const Value& schema) {
    if (const Value* t = schema.find("type")) {
        if (t->is_string()) return t->as_string();
        if (t->is_array() && !t->as_array().empty() && t->as_array()[0].is_string())
            return t->as_array()[0].as_string();
    }
    if (schema.contains("properties") || schema.contains("required") || schema.contains("additionalProperties") ||
        schema.contains("minProperties") || schema.contains("maxProperties")) {
        return "object";
    }
    if (schema.contains("items") || schema.contains("prefixItems") || schema.contains("minItems") ||
        schema.contains("maxItems") || schema.contains("uniqueItems") || schema.contains("contains")) {
        return "array";
    }
    if (schema.contains("minLength") || schema.contains("maxLength") || schema.contains("pattern") ||
        schema.contains("format")) {
        return "string";
    }
    if (schema.contains("minimum") || schema.contains("maximum") || schema.contains("exclusiveMinimum") ||
        schema.contains("exclusiveMaximum") || schema.contains("multipleOf")) {
        return "number";
    }
    return "";
}

std::optional<std::string> format_sample(std::string_view format) {
    static constexpr std::pair<std::string_view, std::string_view> kSamples[] = {
        {"date", "2024-01-31"},
        {"date-time", "2024-01-31T12:00:00Z"},
        {"time", "12:00:00Z"},
        {"email", "user@example.com"},
        {"idn-email", "user@example.com"},
        {"hostname", "example.com"},
        {"idn-hostname", "example.com"},
        {"ipv4", "192.0.2.1"},
        {"ipv6", "2001:db8::1"},
        {"uri", "https://example.com/a"},
        {"uri-reference", "/a"},
        {"iri", "https://example.com/a"},
        {"iri-reference", "/a"},
        {"uuid", "3fa85f64-5717-4562-b3fc-2c963f66afa6"},
        {"duration", "P1D"},
        {"json-pointer", "/a"},
        {"relative-json-pointer", "0/a"},
        {"regex", "^a$"},
        {"byte", "YQ=="},
        {"int32", "1"},
        {"int64", "1"},
    };
    for (const auto& [name, sample] : kSamples) {
        if (name == format) return std::string(sample);
    }
    return std::nullopt;
}

// A value the schema probably accepts: its own const, enum, examples or default first, else one
// built from its type and bounds. The engine decides afterwards; this only has to be a good guess.
Value synthesise(const Value& root, const Value* schema, int depth) {
    schema = resolve(root, schema);
    if (schema == nullptr || depth > kMaxSynthDepth) return Value::null();
    if (schema->is_bool()) return Value::string("a");
    if (!schema->is_object()) return Value::null();
    if (const Value* c = schema->find("const")) return *c;
    for (const char* list : {"enum", "examples"}) {
        const Value* items = schema->find(list);
        if (items != nullptr && items->is_array() && !items->as_array().empty()) return items->as_array()[0];
    }
    for (const char* single : {"example", "default"}) {
        if (const Value* v = schema->find(single)) return *v;
    }
    const std::string type = type_of(*schema);
    if (type.empty()) {
        for (const char* branches : {"allOf", "anyOf", "oneOf"}) {
            const Value* list = schema->find(branches);
            if (list != nullptr && list->is_array() && !list->as_array().empty()) {
                return synthesise(root, &list->as_array()[0], depth + 1);
            }
        }
        return Value::string("a");
    }
    if (type == "object") {
        Value object = Value::object();
        const Value* properties = schema->find("properties");
        if (const Value* required = schema->find("required"); required != nullptr && required->is_array()) {
            for (const Value& name : required->as_array()) {
                if (!name.is_string()) continue;
                const Value* property = properties != nullptr ? properties->find(name.as_string()) : nullptr;
                object.insert_or_assign(name.as_string(), synthesise(root, property, depth + 1));
            }
        }
        return object;
    }
    if (type == "array") {
        Value array = Value::array();
        const double min = number_of(schema->find("minItems")).value_or(0);
        if (min > 0 && min <= kMaxBuiltSize) {
            const Value* items = schema->find("items");
            const Value item = synthesise(root, items != nullptr && items->is_object() ? items : nullptr, depth + 1);
            for (double i = 0; i < min; ++i) array.push_back(item);
        }
        return array;
    }
    if (type == "string") {
        if (const Value* format = schema->find("format"); format != nullptr && format->is_string()) {
            if (auto sample = format_sample(format->as_string())) return Value::string(*sample);
        }
        double length = std::max(1.0, number_of(schema->find("minLength")).value_or(1));
        if (auto max = number_of(schema->find("maxLength"))) length = std::min(length, *max);
        if (length < 0 || length > kMaxBuiltSize) length = 1;
        return Value::string(std::string(static_cast<std::size_t>(length), 'a'));
    }
    if (type == "integer" || type == "number") {
        double value = 1;
        if (auto min = number_of(schema->find("minimum"))) value = std::max(value, std::ceil(*min));
        if (auto min = number_of(schema->find("exclusiveMinimum"))) value = std::max(value, std::floor(*min) + 1);
        if (auto max = number_of(schema->find("maximum"))) value = std::min(value, std::floor(*max));
        if (auto max = number_of(schema->find("exclusiveMaximum"))) value = std::min(value, std::ceil(*max) - 1);
        if (auto step = number_of(schema->find("multipleOf")); step && *step > 0)
            value = std::ceil(value / *step) * *step;
        return number(value);
    }
    if (type == "boolean") return Value::boolean(true);
    if (type == "null") return Value::null();
    return Value::string("a");
}

// Values aimed at one keyword of a subschema; which side they land on is for the trace to say.
std::vector<Value> keyword_values(const Value& root, const Value& schema, std::string_view keyword, int depth) {
    std::vector<Value> out;
    const Value* argument = schema.find(keyword);
    const Value base = synthesise(root, &schema, depth);
    auto count_of = [&](const Value* v) -> std::optional<double> {
        auto n = number_of(v);
        if (!n || *n < 0 || *n > kMaxBuiltSize) return std::nullopt;
        return n;
    };
    auto text_of_length = [](double n) {
        return Value::string(std::string(static_cast<std::size_t>(std::max(0.0, n)), 'a'));
    };
    auto items_of = [&](double n) {
        Value array = Value::array();
        const Value* items = schema.find("items");
        const Value item = synthesise(root, items != nullptr && items->is_object() ? items : nullptr, depth + 1);
        for (double i = 0; i < n; ++i) array.push_back(item);
        return array;
    };
    if (keyword == "minimum" || keyword == "maximum" || keyword == "exclusiveMinimum" ||
        keyword == "exclusiveMaximum") {
        std::optional<double> bound = number_of(argument);
        if (!bound) bound = number_of(schema.find(keyword == "exclusiveMinimum" ? "minimum" : "maximum"));
        if (bound) {
            for (double d : {*bound, *bound - 1, *bound + 1, *bound - 0.5, *bound + 0.5}) out.push_back(number(d));
        }
    } else if (keyword == "multipleOf") {
        if (auto step = number_of(argument); step && *step > 0) {
            for (double d : {*step, *step * 2, *step * 1.5, *step / 2, *step + 1}) out.push_back(number(d));
        }
    } else if (keyword == "minLength" || keyword == "maxLength") {
        if (auto n = count_of(argument)) {
            for (double d : {*n, *n - 1, *n + 1}) {
                if (d >= 0) out.push_back(text_of_length(d));
            }
        }
    } else if (keyword == "minItems" || keyword == "maxItems") {
        if (auto n = count_of(argument)) {
            for (double d : {*n, *n - 1, *n + 1}) {
                if (d >= 0) out.push_back(items_of(d));
            }
        }
    } else if (keyword == "uniqueItems") {
        out.push_back(items_of(1));
        out.push_back(items_of(2));
    } else if (keyword == "enum" || keyword == "examples") {
        if (argument != nullptr && argument->is_array()) {
            for (std::size_t i = 0; i < argument->as_array().size() && i < 4; ++i)
                out.push_back(argument->as_array()[i]);
        }
        out.push_back(Value::string("not-a-listed-value"));
    } else if (keyword == "const") {
        if (argument != nullptr) out.push_back(*argument);
        out.push_back(Value::string("not-the-constant"));
    } else if (keyword == "format") {
        if (argument != nullptr && argument->is_string()) {
            if (auto sample = format_sample(argument->as_string())) out.push_back(Value::string(*sample));
        }
        out.push_back(Value::string("not a valid value"));
    } else if (keyword == "required" && base.is_object() && argument != nullptr && argument->is_array()) {
        out.push_back(base);
        for (const Value& name : argument->as_array()) {
            if (!name.is_string()) continue;
            Value without = base;
            without.erase(name.as_string());
            out.push_back(std::move(without));
        }
    } else if (keyword == "additionalProperties" || keyword == "unevaluatedProperties" || keyword == "minProperties" ||
               keyword == "maxProperties" || keyword == "propertyNames") {
        Value object = base.is_object() ? base : Value::object();
        out.push_back(object);
        object.insert_or_assign("extra", Value::string("a"));
        out.push_back(object);
        object.insert_or_assign("extra2", Value::number_from_int(1));
        out.push_back(object);
        if (auto n = count_of(argument)) {
            Value many = base.is_object() ? base : Value::object();
            for (double i = 0; many.size() <= static_cast<std::size_t>(*n); ++i) {
                many.insert_or_assign("p" + std::to_string(static_cast<long long>(i)), Value::string("a"));
            }
            out.push_back(std::move(many));
        }
    } else if (keyword == "not" && argument != nullptr) {
        out.push_back(synthesise(root, argument, depth + 1));
    } else if ((keyword == "anyOf" || keyword == "oneOf" || keyword == "allOf") && argument != nullptr &&
               argument->is_array()) {
        for (std::size_t i = 0; i < argument->as_array().size() && i < 4; ++i) {
            out.push_back(synthesise(root, &argument->as_array()[i], depth + 1));
        }
    } else if ((keyword == "pattern" || keyword == "contentMediaType" || keyword == "contentEncoding")) {
        for (const char* sample : {"a", "A", "0", "abc", "a1", "ABC123", "2024-01-31", "user@example.com", "a-b_c"}) {
            out.push_back(Value::string(sample));
        }
    }
    // Whatever the keyword, a value of every type and the schema's own guess give the trace
    // something on both sides of most checks.
    out.push_back(base);
    for (Value v : {Value::null(), Value::boolean(true), Value::number_from_int(0), Value::number_from_int(-1),
                    Value::string(""), Value::string("a"), Value::array(), Value::object()}) {
        out.push_back(std::move(v));
    }
    return out;
}

struct Step {
    bool index = false;
    std::string key;
    std::size_t position = 0;
};

bool is_digits(std::string_view s) {
    return !s.empty() && s.size() < 6 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Where in an instance the subschema at `tokens` applies, or none when its place cannot be told
// from the schema path alone (a `$ref` hop, definitions, pattern-named properties).
std::optional<std::vector<Step>> instance_steps(const std::vector<std::string>& tokens) {
    std::vector<Step> steps;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t == "properties" && i + 1 < tokens.size()) {
            steps.push_back({false, tokens[++i], 0});
        } else if (t == "additionalProperties" || t == "unevaluatedProperties") {
            steps.push_back({false, "extra", 0});
        } else if (t == "items" || t == "additionalItems" || t == "unevaluatedItems" || t == "contains") {
            if (t == "items" && i + 1 < tokens.size() && is_digits(tokens[i + 1])) {
                steps.push_back({true, "", static_cast<std::size_t>(std::stoul(tokens[++i]))});
            } else {
                steps.push_back({true, "", 0});
            }
        } else if (t == "prefixItems" && i + 1 < tokens.size() && is_digits(tokens[i + 1])) {
            steps.push_back({true, "", static_cast<std::size_t>(std::stoul(tokens[++i]))});
        } else if ((t == "allOf" || t == "anyOf" || t == "oneOf") && i + 1 < tokens.size() &&
                   is_digits(tokens[i + 1])) {
            ++i;
        } else if (t == "dependentSchemas" && i + 1 < tokens.size()) {
            ++i;
        } else if (t == "not" || t == "if" || t == "then" || t == "else") {
            continue;
        } else {
            return std::nullopt;
        }
    }
    return steps;
}

Value planted(const Value& base, const std::vector<Step>& steps, Value leaf) {
    Value root = base;
    Value* at = &root;
    for (const Step& step : steps) {
        if (step.index) {
            if (!at->is_array()) *at = Value::array();
            while (at->as_array().size() <= step.position) at->push_back(Value::null());
            at = &at->mutable_array()[step.position];
        } else {
            if (!at->is_object()) *at = Value::object();
            if (at->find(step.key) == nullptr) at->insert_or_assign(step.key, Value::null());
            at = at->find_mut(step.key);
        }
    }
    *at = std::move(leaf);
    return root;
}

void reset_counts(zavova::CoverageState& state) {
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        KeywordEntry& e = state.entries.entry(i);
        e.passed = e.failed = e.not_applicable = 0;
        e.first_passed = e.first_failed = 0;
    }
    state.covered_prefix = 0;
    state.all_covered = false;
    state.events.clear();
    state.events_enabled = false;
}

std::vector<TargetGap> gaps_of(const zavova::CoverageState& state) {
    std::vector<TargetGap> gaps;
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        const KeywordEntry& e = state.entries.entry(i);
        const std::string_view location = state.entries.location(i);
        if (e.kind.tag != EntryTag::Keyword || location.empty() || location == kRootReference) continue;
        const Polarity p = e.kind.polarity();
        const bool want_valid = e.passed == 0 && p != Polarity::InvalidOnly;
        const bool want_invalid = e.failed == 0 && p != Polarity::ValidOnly;
        if (e.passed > 0 && e.failed > 0) continue;
        if (want_valid) gaps.push_back({i, std::string(location), SuggestionPolarity::Valid});
        if (want_invalid) gaps.push_back({i, std::string(location), SuggestionPolarity::Invalid});
    }
    return gaps;
}

struct Traced {
    Value value;
    bool valid = false;
    std::vector<std::uint64_t> covers;  // indexes into the suggestion's gaps
};

// Gaps of one target are appended to `suggestion.gaps` from `first`; traced candidates that
// cover at least one of them are appended to `traced`, and gaps none can reach to `uncovered`.
void search_target(const model::ParameterTarget& target, Suggestion& suggestion, bool keyed_by_name,
                   std::vector<Traced>& traced) {
    const zavova::CoverageState* state = target.holder.state.get();
    if (state == nullptr) return;
    const std::vector<TargetGap> gaps = gaps_of(*state);
    if (gaps.empty()) return;
    const std::uint64_t first = suggestion.gaps.size();
    for (const TargetGap& gap : gaps) suggestion.gaps.push_back({target.name, gap.pointer, gap.polarity});
    auto give_up = [&](UncoveredReason reason) {
        for (std::uint64_t i = 0; i < gaps.size(); ++i) suggestion.uncovered.push_back({first + i, reason});
    };
    if (target.schema == nullptr || target.validator == nullptr) return give_up(UncoveredReason::Unsupported);
    if (state->entries.size() > kMaxSuggestionEntries) return give_up(UncoveredReason::Heavy);

    const Value& root = *target.schema;
    const Value base = synthesise(root, &root, 0);
    std::vector<bool> placeable(gaps.size(), false);
    std::vector<bool> reached(gaps.size(), false);
    bool budget_hit = false;
    std::size_t tried = 0;
    std::unordered_set<std::string> seen;
    auto scratch = std::make_shared<zavova::CoverageState>(*state);
    // Traces one candidate and keeps it when it reaches a gap; false once the budget is spent.
    auto try_candidate = [&](Value candidate) {
        if (!seen.insert(deririrore::value::to_json(candidate)).second) return true;
        if (tried++ >= kMaxSuggestionCandidates) {
            budget_hit = true;
            return false;
        }
        reset_counts(*scratch);
        // The holder owns the scratch state alone while tracing, so it is written in place.
        zavova::CoverageHolder holder;
        holder.state = std::move(scratch);
        bool valid = false;
        bool traced_ok = true;
        try {
            valid = recorders::trace_value(holder, root, candidate, *target.validator, 1.0);
        } catch (const std::exception&) {
            traced_ok = false;
        }
        scratch = holder.state;
        if (!traced_ok) return true;
        Traced t;
        for (std::size_t g = 0; g < gaps.size(); ++g) {
            const KeywordEntry& e = scratch->entries.entry(gaps[g].entry);
            const bool hit = gaps[g].polarity == SuggestionPolarity::Valid ? e.passed > 0 : e.failed > 0;
            if (!hit) continue;
            t.covers.push_back(first + g);
            reached[g] = true;
        }
        if (t.covers.empty()) return true;
        t.valid = valid;
        if (keyed_by_name) {
            Value object = Value::object();
            object.insert_or_assign(target.name, std::move(candidate));
            t.value = std::move(object);
        } else {
            t.value = std::move(candidate);
        }
        traced.push_back(std::move(t));
        return true;
    };
    try_candidate(base);
    // Gap by gap, only while it is still open: a candidate made for one gap often reaches others.
    for (std::size_t g = 0; g < gaps.size() && !budget_hit; ++g) {
        std::vector<std::string> tokens = pointer_tokens(gaps[g].pointer);
        if (tokens.empty()) continue;
        const std::string keyword = tokens.back();
        tokens.pop_back();
        const auto steps = instance_steps(tokens);
        std::string parent_pointer;
        for (const std::string& t : tokens) {
            parent_pointer.push_back('/');
            deririrore::referencing::push_pointer_segment(parent_pointer, t);
        }
        const Value* parent = deririrore::referencing::pointer_lookup(root, parent_pointer);
        if (!steps || parent == nullptr || !parent->is_object()) continue;
        placeable[g] = true;
        if (reached[g]) continue;
        for (Value& leaf : keyword_values(root, *parent, keyword, static_cast<int>(steps->size()))) {
            if (!try_candidate(planted(base, *steps, std::move(leaf))) || reached[g]) break;
        }
    }
    for (std::size_t g = 0; g < gaps.size(); ++g) {
        if (reached[g]) continue;
        UncoveredReason reason = UncoveredReason::Exhausted;
        if (gaps[g].polarity == SuggestionPolarity::Valid && state->unsatisfiable) {
            reason = UncoveredReason::Unsatisfiable;
        } else if (budget_hit) {
            reason = UncoveredReason::Heavy;
        } else if (!placeable[g]) {
            reason = UncoveredReason::Unsupported;
        }
        suggestion.uncovered.push_back({first + g, reason});
    }
}

// Greedy cover: the candidate reaching the most gaps not yet reached, the earlier one on a tie.
void choose_requests(Suggestion& suggestion, std::vector<Traced>& traced) {
    std::vector<bool> done(suggestion.gaps.size(), false);
    for (;;) {
        std::size_t best = traced.size();
        std::size_t best_gain = 0;
        for (std::size_t i = 0; i < traced.size(); ++i) {
            std::size_t gain = 0;
            for (std::uint64_t g : traced[i].covers) gain += done[g] ? 0 : 1;
            if (gain > best_gain) {
                best_gain = gain;
                best = i;
            }
        }
        if (best == traced.size()) break;
        for (std::uint64_t g : traced[best].covers) done[g] = true;
        if (suggestion.requests.size() < kMaxSuggestedRequests) {
            suggestion.requests.push_back({traced[best].valid ? SuggestionPolarity::Valid : SuggestionPolarity::Invalid,
                                           std::move(traced[best].value), std::move(traced[best].covers)});
        } else {
            suggestion.hidden += 1;
        }
        traced[best].covers.clear();
    }
    std::stable_sort(suggestion.uncovered.begin(), suggestion.uncovered.end(),
                     [](const UncoveredGap& a, const UncoveredGap& b) { return a.gap < b.gap; });
}

}  // namespace

std::vector<Suggestion> collect_suggestions(const recorders::CoverageMap& map) {
    std::vector<Suggestion> out;
    const UnmeasuredSet unmeasured = unmeasured_operations(map);
    for (const auto& entry : map.routes.paths) {
        for (const auto item : entry.methods) {
            if (is_unmeasured(unmeasured, entry.route, item.method)) continue;
            const std::string method(http::method_name(item.method));
            // One suggestion per location in first-seen order; each body target its own.
            std::vector<std::pair<Suggestion, std::vector<Traced>>> groups;
            for (const model::ParameterTarget& target : item.record.parameters) {
                const model::ParameterLocation location = model::target_location(target);
                const bool body = location == model::ParameterLocation::Body;
                auto found = std::find_if(groups.begin(), groups.end(),
                                          [&](const auto& g) { return !body && g.first.location == target.location; });
                if (found == groups.end()) {
                    Suggestion s;
                    s.method = method;
                    s.path = entry.route;
                    s.location = location;
                    if (body) s.media_type = target.tag >= 0 ? target.name : target.body_media_type;
                    groups.emplace_back(std::move(s), std::vector<Traced>{});
                    found = std::prev(groups.end());
                }
                search_target(target, found->first, !body, found->second);
            }
            for (auto& [suggestion, traced] : groups) {
                if (suggestion.gaps.empty()) continue;
                choose_requests(suggestion, traced);
                out.push_back(std::move(suggestion));
            }
        }
    }
    return out;
}

}  // namespace vantorel::reports
