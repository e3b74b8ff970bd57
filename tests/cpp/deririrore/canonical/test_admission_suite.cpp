// Value admission over the official JSON Schema Test Suite: a small translation of
// the plain keywords into canonical nodes (anything else kept raw), then every
// instance is tested. Undecided is always allowed; a decided answer must agree
// with the suite.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;
namespace fs = std::filesystem;

const fs::path kSuiteDir = fs::path(VC_TESTDATA) / "json-schema-test-suite" / "tests";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

constexpr uint8_t kAllTypes = 0x7f;

// The node "either not of these types, or meeting the leaf".
Schema restricted(uint8_t types, Schema leaf) {
    const Schema others = schema_from_type_mask(JsonTypeSet::from_bits(kAllTypes & ~types));
    return make_schema(kind::AnyOf{{others, std::move(leaf)}});
}

Schema raw(const value::Value& v) {
    return make_schema(kind::Raw{RawJson{std::make_shared<const value::Value>(v), RawReason::Unmodeled, nullptr}});
}

Schema combine(std::vector<Schema> parts, bool all) {
    if (parts.empty()) return all ? true_schema() : false_schema();
    if (parts.size() == 1) return parts[0];
    if (all) return make_schema(kind::AllOf{std::move(parts)});
    return make_schema(kind::AnyOf{std::move(parts)});
}

std::optional<BigInt> count(const value::Value& v) {
    if (!v.is_number()) return std::nullopt;
    return parse_integer_text(v.number_text());
}

class Translator {
public:
    Translator(CanonicalContext& context, bool modern) : context_(context), modern_(modern) {}

    Schema node(const value::Value& s, int depth = 0) {
        if (s.is_bool()) return s.as_bool() ? true_schema() : false_schema();
        if (!s.is_object() || depth > 32) return raw(s);
        std::vector<Schema> parts;
        NumberLeaf number;
        bool has_number = false;
        StringLeaf string;
        bool has_string = false;
        ArrayLeaf array;
        bool has_array = false;
        ObjectLeaf object;
        bool has_object = false;
        std::optional<ContainsFacet> contains;
        for (const auto& [key, v] : s.as_object()) {
            if (key == "$schema" || key == "$comment" || key == "title" || key == "description" || key == "default" ||
                key == "examples" || key == "$defs" || key == "format" || key == "deprecated" || key == "readOnly" ||
                key == "writeOnly" || key == "contentMediaType" || key == "contentEncoding" || key == "contentSchema" ||
                key == "definitions" || (modern_ && (key == "minContains" || key == "maxContains"))) {
                continue;
            } else if (key == "type") {
                uint8_t bits = 0;
                auto add = [&](const value::Value& t) {
                    auto ty = t.is_string() ? value::json_type_from_name(t.as_string()) : std::nullopt;
                    if (!ty) return false;
                    bits |= static_cast<uint8_t>(*ty);
                    if (*ty == JsonType::Number) bits |= static_cast<uint8_t>(JsonType::Integer);
                    return true;
                };
                if (v.is_array()) {
                    for (const auto& t : v.as_array())
                        if (!add(t)) return raw(s);
                } else if (!add(v)) {
                    return raw(s);
                }
                if (bits == static_cast<uint8_t>(JsonType::Integer)) {
                    parts.push_back(make_schema(kind::Integer{IntegerLeaf{}}));
                } else if (bits & static_cast<uint8_t>(JsonType::Integer) &&
                           !(bits & static_cast<uint8_t>(JsonType::Number))) {
                    parts.push_back(make_schema(kind::AnyOf{
                        {schema_from_type_mask(JsonTypeSet::from_bits(bits & ~static_cast<uint8_t>(JsonType::Integer))),
                         make_schema(kind::Integer{IntegerLeaf{}})}}));
                } else {
                    parts.push_back(schema_from_type_mask(JsonTypeSet::from_bits(bits)));
                }
            } else if (key == "enum" || key == "const") {
                std::vector<CanonicalJson> values;
                auto add = [&](const value::Value& x) {
                    auto c = canonical_json_from_value(x);
                    if (!c) return false;
                    values.push_back(std::make_shared<const value::Value>(std::move(*c)));
                    return true;
                };
                if (key == "const") {
                    if (!add(v)) return raw(s);
                } else {
                    if (!v.is_array()) return raw(s);
                    for (const auto& x : v.as_array())
                        if (!add(x)) return raw(s);
                }
                parts.push_back(schema_from_value_set(std::move(values)));
            } else if (key == "minimum" || key == "maximum" || key == "exclusiveMinimum" || key == "exclusiveMaximum") {
                if (!v.is_number()) return raw(s);
                BoundNumber b{canonicalize_number_text(v.number_text()), key.size() < 10};
                NumberLeaf leaf;
                (key.find("inimum") != std::string::npos ? leaf.minimum : leaf.maximum) = b;
                parts.push_back(restricted(0x0c, make_schema(kind::Number{std::move(leaf)})));
                has_number = true;
            } else if (key == "multipleOf") {
                auto d = v.is_number() ? parse_canonical_number(v.number_text()) : std::nullopt;
                if (!d) return raw(s);
                number.multiple_of = fold_divisors({*d});
                has_number = true;
            } else if (key == "minLength" || key == "maxLength") {
                auto n = count(v);
                if (!n) return raw(s);
                (key == "minLength" ? string.lengths.minimum : string.lengths.maximum) = *n;
                has_string = true;
            } else if (key == "pattern") {
                if (!v.is_string() || !lookup_compiled_pattern(context_, v.as_string())) return raw(s);
                string.patterns.push_back(share(v.as_string()));
                has_string = true;
            } else if (key == "minItems" || key == "maxItems") {
                auto n = count(v);
                if (!n) return raw(s);
                (key == "minItems" ? array.lengths.minimum : array.lengths.maximum) = *n;
                has_array = true;
            } else if (key == "uniqueItems") {
                if (v.is_bool() && v.as_bool()) array.distinctness = Distinctness::AllDistinct;
                has_array = true;
            } else if (key == "prefixItems" && context_.draft == Draft::Draft202012) {
                if (!v.is_array()) return raw(s);
                for (const auto& x : v.as_array()) array.prefix.push_back(node(x, depth + 1));
                has_array = true;
            } else if (key == "items" && v.is_array()) {
                // The array form of earlier drafts: positions first, additionalItems after them.
                if (context_.draft == Draft::Draft202012) return raw(s);
                for (const auto& x : v.as_array()) array.prefix.push_back(node(x, depth + 1));
                if (const auto* more = s.find("additionalItems")) array.items = node(*more, depth + 1);
                has_array = true;
            } else if (key == "items") {
                array.items = node(v, depth + 1);
                has_array = true;
            } else if (key == "additionalItems" && context_.draft != Draft::Draft202012) {
                continue;
            } else if (key == "contains") {
                contains = ContainsFacet{node(v, depth + 1), std::nullopt, std::nullopt};
                if (const auto* m = modern_ ? s.find("minContains") : nullptr) {
                    contains->minimum = count(*m);
                    if (!contains->minimum) return raw(s);
                }
                if (const auto* m = modern_ ? s.find("maxContains") : nullptr) {
                    contains->maximum = count(*m);
                    if (!contains->maximum) return raw(s);
                }
                has_array = true;
            } else if (key == "minProperties" || key == "maxProperties") {
                auto n = count(v);
                if (!n) return raw(s);
                (key == "minProperties" ? object.sizes.minimum : object.sizes.maximum) = *n;
                has_object = true;
            } else if (key == "required") {
                if (!v.is_array()) return raw(s);
                for (const auto& x : v.as_array()) {
                    if (!x.is_string()) return raw(s);
                    object.required.push_back(share(x.as_string()));
                }
                has_object = true;
            } else if (key == "properties" || key == "patternProperties") {
                if (!v.is_object()) return raw(s);
                for (const auto& m : v.as_object()) {
                    if (key == "patternProperties" && !lookup_compiled_pattern(context_, m.key)) return raw(s);
                    auto& map = key == "properties" ? object.properties : object.pattern_properties;
                    map.entries.push_back({share(m.key), node(m.value, depth + 1)});
                }
                has_object = true;
            } else if (key == "additionalProperties") {
                object.additional = node(v, depth + 1);
                has_object = true;
            } else if (key == "propertyNames") {
                object.property_names = node(v, depth + 1);
                has_object = true;
            } else if (key == "allOf" || key == "anyOf" || key == "oneOf") {
                if (!v.is_array() || v.as_array().empty()) return raw(s);
                std::vector<Schema> branches;
                for (const auto& x : v.as_array()) branches.push_back(node(x, depth + 1));
                if (key == "oneOf")
                    parts.push_back(make_schema(kind::OneOf{std::move(branches)}));
                else
                    parts.push_back(combine(std::move(branches), key == "allOf"));
            } else if (key == "not") {
                parts.push_back(make_schema(kind::Not{node(v, depth + 1)}));
            } else {
                return raw(s);
            }
        }
        if (contains) array.contains.push_back(std::move(*contains));
        if (has_number) parts.push_back(restricted(0x0c, make_schema(kind::Number{std::move(number)})));
        if (has_string) parts.push_back(restricted(0x10, make_schema(kind::String{std::move(string)})));
        if (has_array) parts.push_back(restricted(0x20, make_schema(kind::Array{std::move(array)})));
        if (has_object) parts.push_back(restricted(0x40, make_schema(kind::Object{std::move(object)})));
        return combine(std::move(parts), true);
    }

private:
    CanonicalContext& context_;
    bool modern_;
};

TEST(CanonicalAdmissionSuite, DecidedAnswersAgreeWithTheSuite) {
    if (!fs::is_directory(kSuiteDir)) GTEST_SKIP() << "no JSON Schema Test Suite at " << kSuiteDir;
    // Draft 4 is left out: its exclusive bounds are booleans beside the limits.
    const std::pair<const char*, Draft> drafts[] = {{"draft6", Draft::Draft6},
                                                    {"draft7", Draft::Draft7},
                                                    {"draft2019-09", Draft::Draft201909},
                                                    {"draft2020-12", Draft::Draft202012}};
    for (const auto& [folder, draft] : drafts) {
        std::size_t decided = 0, cases = 0;
        for (const auto& entry : fs::directory_iterator(kSuiteDir / folder)) {
            if (entry.path().extension() != ".json") continue;
            auto groups = value::parse_json(read_file(entry.path()));
            ASSERT_TRUE(groups.has_value()) << entry.path();
            for (const auto& group : groups->as_array()) {
                auto context = new_canonical_context(regex::PatternOptions::backtracking(), draft, false);
                const Schema schema = Translator(context, draft >= Draft::Draft201909).node(*group.find("schema"));
                for (const auto& test : group.find("tests")->as_array()) {
                    const bool valid = test.find("valid")->as_bool();
                    const auto answer = node_admits_value(schema, *test.find("data"), true, context);
                    ++cases;
                    if (answer == Admission::Undecided) continue;
                    ++decided;
                    EXPECT_EQ(answer == Admission::Accepted, valid)
                        << folder << "/" << entry.path().filename().string() << ": "
                        << group.find("description")->as_string() << " / " << test.find("description")->as_string();
                }
            }
        }
        // The translation covers the plain keywords, so most answers are decided.
        EXPECT_GT(decided, cases / 2) << folder << ": " << decided << " of " << cases;
    }
}

}  // namespace
