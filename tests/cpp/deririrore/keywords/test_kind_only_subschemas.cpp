// Member subschemas whose only check is `type` are checked without a call into their node. Each
// object form is run twice, once with such a subschema and once with the same subschema plus a
// keyword that never fails (so its node is called): validity, nodes entered, depth and budget cuts
// and trace events (less the extra keyword's) must not tell the two apart.
#include <string>
#include <vector>

#include "keyword_test_support.hpp"

namespace kwtest {
namespace {

constexpr std::string_view kKindOnly = R"({"type": "string"})";
constexpr std::string_view kWithNode = R"({"type": "string", "maxLength": 1000})";

// `form` with every "X" replaced by the member subschema.
std::string with_member_schema(std::string form, std::string_view member) {
    for (std::size_t at = form.find('X'); at != std::string::npos; at = form.find('X', at + member.size())) {
        form.replace(at, 1, member);
    }
    return form;
}

// 15 declared names (the large map), each with the member subschema, and two undeclared allowed.
std::string large_form() {
    std::string properties;
    for (int i = 0; i < 15; ++i) properties += "\"p" + std::to_string(i) + "\": X, ";
    return "{\"properties\": {" + properties + "\"a\": X, \"b\": X}, \"additionalProperties\": X}";
}

const std::vector<std::string>& forms() {
    static const std::vector<std::string> all = {
        R"({"additionalProperties": X})",
        R"({"properties": {"a": X, "b": X}})",
        R"({"properties": {"a": X, "b": X, "c": X}, "required": ["a", "b"]})",
        R"({"properties": {"a": X, "b": X}, "additionalProperties": false})",
        R"({"properties": {"a": X, "b": X}, "required": ["a"], "additionalProperties": false})",
        R"({"properties": {"a": X}, "additionalProperties": X})",
        R"({"properties": {"x": {"properties": {"a": X, "b": X}}}})",
        large_form(),
    };
    return all;
}

const std::vector<std::string>& instances() {
    static const std::vector<std::string> all = {
        R"({"a": "x", "b": "y"})",
        R"({"a": 1, "b": "y"})",
        R"({"a": "x", "b": [2]})",
        R"({})",
        R"({"x": {"a": "x", "b": "y"}})",
        R"({"x": {"a": "x", "b": null}})",
        R"({"p3": "s", "a": "t", "q": "u"})",
        R"({"p14": 3})",
    };
    return all;
}

struct Run {
    bool valid;
    std::uint64_t steps;
    bool depth_exceeded;
    bool steps_exceeded;
};

Run run_is_valid(const Validator& v, const Value& instance, std::uint32_t max_depth, std::uint64_t max_steps) {
    core::ValidationContext ctx(max_depth, max_steps);
    const bool valid = v.root().is_valid(instance, ctx);
    return Run{valid, ctx.steps(), ctx.depth_exceeded(), ctx.steps_exceeded()};
}

Run run_trace(const Validator& v, const Value& instance, std::uint32_t max_depth, std::uint64_t max_steps,
              std::vector<Event>& events) {
    RecordingTracer tracer;
    core::TraceContext ctx(max_depth, nullptr, max_steps);
    const bool valid = v.root().trace(instance, core::LazyLocation(), tracer, ctx);
    events = std::move(tracer.events);
    return Run{valid, ctx.steps(), ctx.depth_exceeded(), ctx.steps_exceeded()};
}

void expect_same(const Run& a, const Run& b) {
    EXPECT_EQ(a.valid, b.valid);
    EXPECT_EQ(a.steps, b.steps);
    EXPECT_EQ(a.depth_exceeded, b.depth_exceeded);
    EXPECT_EQ(a.steps_exceeded, b.steps_exceeded);
}

std::vector<Event> without_max_length(std::vector<Event> events) {
    std::erase_if(events, [](const Event& e) { return e.keyword.ends_with("/maxLength"); });
    return events;
}

TEST(KindOnlySubschemas, ActLikeTheirNodesUnderEveryLimit) {
    struct Limits {
        std::uint32_t depth;
        std::uint64_t steps;
    };
    const std::vector<Limits> limits = {
        {core::kDefaultMaxDepth, core::kDefaultMaxSteps}, {1, 100}, {2, 100}, {3, 100}, {64, 1}, {64, 2}, {64, 3},
    };
    for (const auto& form : forms()) {
        const Validator kind_only = build(with_member_schema(form, kKindOnly));
        const Validator with_node = build(with_member_schema(form, kWithNode));
        for (const auto& text : instances()) {
            const Value instance = json(text);
            for (const Limits& limit : limits) {
                SCOPED_TRACE(form + " " + text + " depth " + std::to_string(limit.depth) + " steps " +
                             std::to_string(limit.steps));
                expect_same(run_is_valid(kind_only, instance, limit.depth, limit.steps),
                            run_is_valid(with_node, instance, limit.depth, limit.steps));
                std::vector<Event> kind_only_events;
                std::vector<Event> node_events;
                expect_same(run_trace(kind_only, instance, limit.depth, limit.steps, kind_only_events),
                            run_trace(with_node, instance, limit.depth, limit.steps, node_events));
                EXPECT_EQ(kind_only_events, without_max_length(node_events));
            }
        }
    }
}

TEST(KindOnlySubschemas, TraceNamesTheTypeKeywordOfEachMember) {
    expect_trace(R"({"properties": {"a": {"type": "string"}}, "additionalProperties": {"type": "integer"}})",
                 Draft::Draft202012, R"({"a": "x", "b": 1.5, "c": 2})", false,
                 {
                     {"/a", "/properties/a/type", 0},
                     {"/a", "/properties/a", 0},
                     {"/b", "/additionalProperties/type", 1},
                     {"/c", "/additionalProperties/type", 0},
                     {"", "/properties", 0},
                     {"", "/additionalProperties", 1},
                 });
}

}  // namespace
}  // namespace kwtest
