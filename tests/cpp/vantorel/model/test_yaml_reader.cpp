// The YAML reader: core-schema scalars, keys, anchors and aliases, and the limits hostile texts meet.
#include <gtest/gtest.h>

#include "deririrore/value/json.hpp"
#include "vantorel/model/yaml_reader.hpp"

namespace {

using namespace vantorel::model;
using deririrore::value::to_json;

std::string yaml_json(std::string_view text) {
    auto r = parse_yaml(text);
    if (!r) return "error: " + r.error().message;
    return to_json(*r);
}

std::string yaml_error(std::string_view text, const YamlLimits& limits = {}) {
    auto r = parse_yaml(text, limits);
    return r ? "no error: " + to_json(*r) : r.error().message;
}

std::string repeat(std::string_view s, std::size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

TEST(YamlScalars, PlainScalarsResolveByTheCoreSchema) {
    const struct {
        std::string_view yaml;
        std::string_view json;
    } cases[] = {
        {"v: 1", R"({"v":1})"},
        {"v: +12", R"({"v":12})"},
        {"v: -007", R"({"v":-7})"},
        {"v: 000", R"({"v":0})"},
        {"v: 0o17", R"({"v":15})"},
        {"v: 0x1F", R"({"v":31})"},
        {"v: 0xFFFFFFFFFFFFFFFFFFFF", R"({"v":1208925819614629174706175})"},
        {"v: 123456789012345678901234567890", R"({"v":123456789012345678901234567890})"},
        {"v: 1.50", R"({"v":1.50})"},
        {"v: .5", R"({"v":0.5})"},
        {"v: -.5", R"({"v":-0.5})"},
        {"v: +1.", R"({"v":1.0})"},
        {"v: 1e3", R"({"v":1e3})"},
        {"v: 1.2E-05", R"({"v":1.2E-05})"},
        {"v: 0.1000000000000000000000001", R"({"v":0.1000000000000000000000001})"},
        {"v: 1e400", R"({"v":1e400})"},
        {"v: .inf", R"({"v":null})"},
        {"v: -.Inf", R"({"v":null})"},
        {"v: +.INF", R"({"v":null})"},
        {"v: .NaN", R"({"v":null})"},
        {"v: ~", R"({"v":null})"},
        {"v: Null", R"({"v":null})"},
        {"v: NULL", R"({"v":null})"},
        {"v:", R"({"v":null})"},
        {"v: True", R"({"v":true})"},
        {"v: FALSE", R"({"v":false})"},
        // YAML 1.1 forms are text under the core schema.
        {"v: yes", R"({"v":"yes"})"},
        {"v: off", R"({"v":"off"})"},
        {"v: 2001-12-14", R"({"v":"2001-12-14"})"},
        {"v: 1_000", R"({"v":"1_000"})"},
        {"v: 0b101", R"({"v":"0b101"})"},
        {"v: 0x", R"({"v":"0x"})"},
        {"v: 1:20", R"({"v":"1:20"})"},
        {"v: .", R"({"v":"."})"},
        {"v: 1e", R"({"v":"1e"})"},
        {"v: nan", R"({"v":"nan"})"},
        {"v: tRUE", R"({"v":"tRUE"})"},
        {"v: '12'", R"({"v":"12"})"},
        {"v: \"true\"", R"({"v":"true"})"},
        {"v: |\n  12\n", R"({"v":"12\n"})"},
        {"v: caf\xc3\xa9 \\u00e9", R"({"v":"café \\u00e9"})"},
        {"v: \"caf\\u00e9\\t\"", R"({"v":"café\t"})"},
    };
    for (const auto& c : cases) EXPECT_EQ(yaml_json(c.yaml), c.json) << c.yaml;
}

TEST(YamlScalars, TagsChooseTheType) {
    const struct {
        std::string_view yaml;
        std::string_view json;
    } cases[] = {
        {"v: !!str 12", R"({"v":"12"})"},
        {"v: !!str", R"({"v":""})"},
        {"v: !!int '12'", R"({"v":12})"},
        {"v: !!float 1", R"({"v":1})"},
        {"v: !!float '2.5'", R"({"v":2.5})"},
        {"v: !!bool \"true\"", R"({"v":true})"},
        {"v: !!null ''", R"({"v":null})"},
        {"v: ! 12", R"({"v":"12"})"},
        {"v: !custom 12", R"({"v":12})"},
        {"v: !custom '12'", R"({"v":"12"})"},
        {"v: !!binary aGk=", R"({"v":"aGk="})"},
        {"v: !!map {a: 1}", R"({"v":{"a":1}})"},
    };
    for (const auto& c : cases) EXPECT_EQ(yaml_json(c.yaml), c.json) << c.yaml;
    EXPECT_NE(yaml_error("v: !!int 1.5").find("is not a valid tag:yaml.org,2002:int at line 1, column 4"),
              std::string::npos)
        << yaml_error("v: !!int 1.5");
    EXPECT_NE(yaml_error("v: !!bool yes").find("not a valid"), std::string::npos);
}

// Captured traffic saves bodies of bytes as "!!binary" base64, broken into lines.
TEST(YamlScalars, BinaryScalarsAreTheirBytesWhenAsked) {
    YamlLimits as_bytes;
    as_bytes.binary_as_bytes = true;
    const struct {
        std::string_view yaml;
        std::string bytes;
    } cases[] = {
        {"v: !!binary aGk=", "hi"},       {"v: !!binary |\n  eyJuYW1l\n  IjoicmV4In0=\n", R"({"name":"rex"})"},
        {"v: !!binary \"/w==\"", "\xff"}, {"v: !<tag:yaml.org,2002:binary> aGk=", "hi"},
        {"v: !!binary ''", ""},
    };
    for (const auto& c : cases) {
        auto r = parse_yaml(c.yaml, as_bytes);
        ASSERT_TRUE(r) << c.yaml << ": " << r.error().message;
        const auto* v = r->find("v");
        ASSERT_NE(v, nullptr);
        ASSERT_TRUE(v->is_string()) << c.yaml;
        EXPECT_EQ(v->as_string(), c.bytes) << c.yaml;
    }
    EXPECT_NE(
        yaml_error("v: !!binary a*b", as_bytes).find("is not a valid tag:yaml.org,2002:binary at line 1, column 4"),
        std::string::npos)
        << yaml_error("v: !!binary a*b", as_bytes);
}

TEST(YamlMappings, KeysAreTheirTextAndTheLaterDuplicateWins) {
    const struct {
        std::string_view yaml;
        std::string_view json;
    } cases[] = {
        {"200: ok\n404: missing", R"({"200":"ok","404":"missing"})"},
        {"true: t\n~: n\n1.0: f\n0x1F: h", R"({"0x1F":"h","1.0":"f","true":"t","~":"n"})"},
        {"'200': quoted", R"({"200":"quoted"})"},
        {"a: 1\nb: 2\na: 3", R"({"a":3,"b":2})"},
        {"? |\n  block\n: v", R"({"block\n":"v"})"},
        {"?\n: empty key", R"({"":"empty key"})"},
        {"b: 1\na: 2\nA: 3\n\xc3\xa9: 4", "{\"A\":3,\"a\":2,\"b\":1,\"\xc3\xa9\":4}"},
        {"[1, {a: b}, [], {}]", R"([1,{"a":"b"},[],{}])"},
        {"", "null"},
        {"---\n...\n", "null"},
        {"# only a comment\n", "null"},
        {"--- 5", "5"},
        {"\xef\xbb\xbf" "a: 1", R"({"a":1})"},
    };
    for (const auto& c : cases) EXPECT_EQ(yaml_json(c.yaml), c.json) << c.yaml;

    EXPECT_NE(yaml_error("? [a, b]\n: v").find("keys must be scalars"), std::string::npos);
    EXPECT_NE(yaml_error("{[a]: v}").find("keys must be scalars"), std::string::npos);
    EXPECT_NE(yaml_error("a: 1\n---\nb: 2").find("a second YAML document"), std::string::npos);
}

TEST(YamlAnchors, AliasesAreCopiesOfTheLatestAnchor) {
    const struct {
        std::string_view yaml;
        std::string_view json;
    } cases[] = {
        {"a: &x {b: 1}\nc: *x", R"({"a":{"b":1},"c":{"b":1}})"},
        {"- &k 200\n- {*k : v}", R"([200,{"200":"v"}])"},
        {"- &s [1, 2]\n- *s\n- &s three\n- *s", R"([[1,2],[1,2],"three","three"])"},
        {"a: &n\nb: *n", R"({"a":null,"b":null})"},
        {"base: &b {x: 1, y: 2}\nderived:\n  <<: *b\n  y: 3", R"({"base":{"x":1,"y":2},"derived":{"<<":{"x":1,"y":2},"y":3}})"},
    };
    for (const auto& c : cases) EXPECT_EQ(yaml_json(c.yaml), c.json) << c.yaml;

    EXPECT_NE(yaml_error("a: *nope").find("the alias *nope names no anchor defined before it at line 1, column 4"),
              std::string::npos);
    EXPECT_NE(yaml_error("&a [1, *a]").find("refers to a node that contains it"), std::string::npos);
    EXPECT_NE(yaml_error("- &m {k: v}\n- {*m : v}").find("keys must be scalars"), std::string::npos);
}

TEST(YamlErrors, SyntaxErrorsNameLineColumnAndContext) {
    const std::string unclosed = yaml_error("a:\n  b: [1, 2\n");
    EXPECT_NE(unclosed.find("line 3"), std::string::npos) << unclosed;
    EXPECT_NE(unclosed.find("flow sequence that started at line 2, column 6"), std::string::npos) << unclosed;

    const std::string tab = yaml_error("a:\n\tb: 1\n");
    EXPECT_NE(tab.find("line 2, column 1"), std::string::npos) << tab;

    auto invalid_utf8 = parse_yaml("a: \xff\n");
    ASSERT_FALSE(invalid_utf8.has_value());
    EXPECT_EQ(invalid_utf8.error().line, 1u);

    EXPECT_FALSE(parse_yaml(std::string_view("a: b\0c", 6)).has_value());
}

TEST(YamlLimits, NestingStopsAtTheSameDepthAsTheJsonReader) {
    EXPECT_EQ(yaml_json(repeat("[", 512) + repeat("]", 512)).substr(0, 3), "[[[");
    const std::string deeper = yaml_error(repeat("[", 513) + repeat("]", 513));
    EXPECT_NE(deeper.find("YAML nesting is deeper than the limit of 512 levels at line 1, column 513"),
              std::string::npos)
        << deeper;

    // The hostile form: far deeper than any stack would survive, refused at the limit.
    EXPECT_NE(yaml_error(repeat("[", 100'000)).find("limit of 512 levels"), std::string::npos);
    EXPECT_NE(yaml_error(repeat("{a: ", 100'000)).find("limit of 512 levels"), std::string::npos);
    std::string block;
    for (int i = 0; i < 600; ++i) block += std::string(static_cast<std::size_t>(i), ' ') + "k:\n";
    EXPECT_NE(yaml_error(block).find("limit of 512 levels"), std::string::npos);
}

TEST(YamlLimits, AliasesCannotNestPastTheLimit) {
    // Each alias is shallow where it stands, but brings its anchor's depth with it.
    const std::string deep = "a: &d " + repeat("[", 300) + repeat("]", 300) + "\nb: " + repeat("[", 250) + "*d" +
                             repeat("]", 250);
    EXPECT_NE(yaml_error(deep).find("limit of 512 levels (through the alias *d)"), std::string::npos);
}

// Nine levels of ten aliases each: 10^9 strings if expanded.
std::string billion_laughs() {
    std::string text = "l0: &l0 lol\n";
    for (int level = 1; level <= 9; ++level) {
        text += "l" + std::to_string(level) + ": &l" + std::to_string(level) + " [";
        for (int i = 0; i < 10; ++i) text += (i == 0 ? "*l" : ", *l") + std::to_string(level - 1);
        text += "]\n";
    }
    return text;
}

TEST(YamlLimits, AliasExpansionHasABudget) {
    const std::string bomb = yaml_error(billion_laughs());
    EXPECT_NE(bomb.find("YAML aliases expand past the alias expansion limit of 1000000 nodes"), std::string::npos)
        << bomb;

    // Three levels expand to about a thousand nodes: well within the budget.
    std::string modest = "l0: &l0 lol\n";
    for (int level = 1; level <= 3; ++level)
        modest += "l" + std::to_string(level) + ": &l" + std::to_string(level) + " [*l" + std::to_string(level - 1) +
                  ", *l" + std::to_string(level - 1) + "]\n";
    auto ok = parse_yaml(modest);
    ASSERT_TRUE(ok.has_value()) << ok.error().message;
    EXPECT_EQ(to_json(*ok->find("l2")), R"([["lol","lol"],["lol","lol"]])");

    // The budget grows with the text: a smaller floor shows the rule without a large document.
    YamlLimits small;
    small.alias_node_floor = 10;
    small.alias_nodes_per_event = 1;
    EXPECT_NE(yaml_error(modest, small).find("alias expansion limit"), std::string::npos);
}

TEST(YamlLimits, ADeepMergeChainEndsInAnError) {
    std::string chain = "a0: &a0 {k0: 0}\n";
    for (int i = 1; i < 100'000; ++i)
        chain += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " {<<: *a" + std::to_string(i - 1) + ", k" +
                 std::to_string(i) + ": " + std::to_string(i) + "}\n";
    const std::string error = yaml_error(chain);
    EXPECT_NE(error.find("limit of 512 levels"), std::string::npos) << error.substr(0, 200);
}

}  // namespace
