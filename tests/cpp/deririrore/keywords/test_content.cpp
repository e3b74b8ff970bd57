// Content keywords: the asserting forms of drafts 6 and 7 (alone and as a decoding pair), names
// no registry knows, registered checks, compile errors, and the annotations of 2019-09 and later.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/formats/content.hpp"
#include "keyword_test_support.hpp"

namespace {

using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;
using kwtest::json;
namespace core = deririrore::core;
namespace value = deririrore::value;

std::string quoted(const std::string& text) { return value::to_json(value::Value::string(text)); }

struct ContentCase {
    const char* schema;
    std::string text;
    // Empty when the string is valid.
    std::string message;
    std::vector<Event> events;
    friend void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.schema << " on " << quoted(c.text); }
};

class ContentChecks : public ::testing::TestWithParam<ContentCase> {};

TEST_P(ContentChecks, DecideTraceAndReport) {
    const ContentCase& c = GetParam();
    for (Draft draft : {Draft::Draft6, Draft::Draft7}) {
        Compiled compiled(c.schema, draft);
        ASSERT_TRUE(compiled.ok());
        const auto instance = value::Value::string(c.text);
        const bool valid = c.message.empty();
        EXPECT_EQ(compiled.is_valid(instance), valid);
        EXPECT_EQ(compiled.trace(instance), (std::pair{c.events, valid}));
        const auto errors = compiled.errors(instance);
        ASSERT_EQ(errors.size(), valid ? 0u : 1u);
        if (!valid) {
            EXPECT_EQ(errors[0].message(), c.message);
        }
        EXPECT_EQ(compiled.evaluate(instance)->evaluation.valid, valid);
    }
}

const char* const kBase64 = R"({"contentEncoding": "base64"})";
const char* const kJson = R"({"contentMediaType": "application/json"})";
const char* const kPair = R"({"contentMediaType": "application/json", "contentEncoding": "base64"})";

std::vector<Event> one(const char* keyword, int outcome) { return {{"", keyword, outcome}}; }

INSTANTIATE_TEST_SUITE_P(
    Drafts6And7, ContentChecks,
    ::testing::Values(
        ContentCase{kBase64, "aGVsbG8=", "", one("/contentEncoding", 0)},
        ContentCase{kBase64, "", "", one("/contentEncoding", 0)},
        ContentCase{kBase64, "aGVsbG8", R"("aGVsbG8" is not compliant with "base64" content encoding)",
                    one("/contentEncoding", 1)},
        ContentCase{kBase64, "aGVs bG8=", R"("aGVs bG8=" is not compliant with "base64" content encoding)",
                    one("/contentEncoding", 1)},
        ContentCase{kBase64, "YR==", R"("YR==" is not compliant with "base64" content encoding)",
                    one("/contentEncoding", 1)},
        ContentCase{R"({"contentEncoding": "base32"})", "ME======", "", one("/contentEncoding", 0)},
        ContentCase{R"({"contentEncoding": "base32"})", "me======",
                    R"("me======" is not compliant with "base32" content encoding)", one("/contentEncoding", 1)},
        ContentCase{R"({"contentEncoding": "base16"})", "68656C6C6F", "", one("/contentEncoding", 0)},
        ContentCase{R"({"contentEncoding": "base16"})", "68656c6c6f", "", one("/contentEncoding", 0)},
        ContentCase{R"({"contentEncoding": "base16"})", "68656c6C6f", "", one("/contentEncoding", 0)},
        ContentCase{R"({"contentEncoding": "base16"})", "6", R"("6" is not compliant with "base16" content encoding)",
                    one("/contentEncoding", 1)},
        ContentCase{R"({"contentEncoding": "base16"})", "6g",
                    R"("6g" is not compliant with "base16" content encoding)", one("/contentEncoding", 1)},
        ContentCase{kJson, R"({"a": 1})", "", one("/contentMediaType", 0)},
        ContentCase{kJson, " 1 ", "", one("/contentMediaType", 0)},
        ContentCase{kJson, "123456789012345678901234567890e999", "", one("/contentMediaType", 0)},
        ContentCase{kJson, "{", R"("{" is not compliant with "application/json" media type)",
                    one("/contentMediaType", 1)},
        ContentCase{kJson, "[1,]", R"("[1,]" is not compliant with "application/json" media type)",
                    one("/contentMediaType", 1)},
        ContentCase{kJson, "NaN", R"("NaN" is not compliant with "application/json" media type)",
                    one("/contentMediaType", 1)},
        ContentCase{kJson, "{} {}", R"("{} {}" is not compliant with "application/json" media type)",
                    one("/contentMediaType", 1)},
        // The pair decodes first; a failed decoding leaves the media type unchecked.
        ContentCase{kPair, "eyJhIjoxfQ==", "", {{"", "/contentEncoding", 0}, {"", "/contentMediaType", 0}}},
        ContentCase{kPair, "e30", R"("e30" is not compliant with "base64" content encoding)",
                    {{"", "/contentEncoding", 1}, {"", "/contentMediaType", 2}}},
        ContentCase{kPair, "//8=", "invalid utf-8 sequence of 1 bytes from index 0",
                    {{"", "/contentEncoding", 1}, {"", "/contentMediaType", 2}}},
        ContentCase{kPair, "aGVsbG8=", R"("aGVsbG8=" is not compliant with "application/json" media type)",
                    {{"", "/contentEncoding", 0}, {"", "/contentMediaType", 1}}}));

TEST(Content, NonStringsAreNotApplicable) {
    struct Case {
        const char* schema;
        std::vector<Event> events;
    };
    const Case cases[] = {
        {kBase64, one("/contentEncoding", 2)},
        {kJson, one("/contentMediaType", 2)},
        {kPair, {{"", "/contentEncoding", 2}, {"", "/contentMediaType", 2}}},
    };
    for (const auto& c : cases) {
        Compiled compiled(c.schema, Draft::Draft7);
        for (const char* instance : {"42", "null", "[\"e30\"]", "{}"}) {
            EXPECT_TRUE(compiled.is_valid(instance)) << c.schema;
            EXPECT_TRUE(compiled.messages(instance).empty()) << c.schema;
            EXPECT_EQ(compiled.trace(instance), (std::pair{c.events, true})) << c.schema << " on " << instance;
        }
    }
}

TEST(Content, PairErrorsStandAtTheirKeyword) {
    Compiled compiled(R"({"properties": {"p": {"contentMediaType": "application/json", "contentEncoding": "base64"}}})",
                      Draft::Draft7);
    const struct {
        const char* instance;
        const char* schema_path;
        const char* keyword;
    } cases[] = {
        {R"({"p": "e30"})", "/properties/p/contentEncoding", "contentEncoding"},
        {R"({"p": "//8="})", "/properties/p/contentEncoding", "contentEncoding"},
        {R"({"p": "aGVsbG8="})", "/properties/p/contentMediaType", "contentMediaType"},
    };
    for (const auto& c : cases) {
        const auto instance = json(c.instance);
        const auto errors = compiled.errors(instance);
        ASSERT_EQ(errors.size(), 1u) << c.instance;
        EXPECT_EQ(errors[0].schema_path().str(), c.schema_path) << c.instance;
        EXPECT_EQ(errors[0].instance_path().str(), "/p");
        EXPECT_EQ(errors[0].keyword(), c.keyword);
    }
    const auto not_utf8 = json(R"({"p": "//8="})");
    const auto errors = compiled.errors(not_utf8);
    ASSERT_EQ(errors.size(), 1u);
    const auto* kind = std::get_if<core::kinds::ContentNotUtf8>(&errors[0].kind());
    ASSERT_NE(kind, nullptr);
    EXPECT_EQ(kind->bytes, "\xFF\xFF");
}

TEST(Content, NamesNoRegistryKnowsAreNotChecked) {
    // An unknown media type switches off both keywords, an unknown encoding beside a known media
    // type as well; nothing is traced for either.
    for (const char* schema : {R"({"contentMediaType": "text/plain", "contentEncoding": "base64"})",
                               R"({"contentMediaType": "application/json", "contentEncoding": "base99"})",
                               R"({"contentMediaType": "text/plain"})", R"({"contentEncoding": "base99"})"}) {
        Compiled compiled(schema, Draft::Draft7);
        ASSERT_TRUE(compiled.ok()) << schema;
        EXPECT_TRUE(compiled.is_valid(R"("%%% not base64 %%%")")) << schema;
        EXPECT_TRUE(compiled.trace(R"("%%%")").first.empty()) << schema;
    }
    // Draft 4 has no content keywords at all.
    Compiled draft4(kPair, Draft::Draft4);
    EXPECT_TRUE(draft4.is_valid(R"("%%%")"));
    EXPECT_TRUE(draft4.trace(R"("%%%")").first.empty());
}

TEST(Content, CompileErrors) {
    EXPECT_EQ(kwtest::compile_message(R"({"contentEncoding": 5})", Draft::Draft7), R"(5 is not of type "string")");
    EXPECT_EQ(kwtest::compile_error_path(R"({"contentEncoding": 5})", Draft::Draft7), "/contentEncoding");
    EXPECT_EQ(kwtest::compile_message(R"({"contentMediaType": 5})", Draft::Draft6), R"(5 is not of type "string")");
    // The pair: a bad encoding beside a known media type is reported at contentEncoding.
    EXPECT_EQ(kwtest::compile_error_path(R"({"contentMediaType": "application/json", "contentEncoding": []})",
                                         Draft::Draft7),
              "/contentEncoding");
    // Beside a media type no registry knows, the encoding value is never looked at.
    EXPECT_EQ(kwtest::compile_message(R"({"contentMediaType": "text/plain", "contentEncoding": 5})", Draft::Draft7),
              std::nullopt);
    // From 2019-09 on non-string values are no errors, just no annotations.
    EXPECT_EQ(kwtest::compile_message(R"({"contentMediaType": 5, "contentEncoding": 5})", Draft::Draft202012),
              std::nullopt);
}

TEST(Content, RegisteredChecksOverrideAndExtend) {
    auto options = kwtest::options_for(Draft::Draft7);
    options.with_content_media_type_check("text/upper",
                                          [](std::string_view text) {
                                              for (char ch : text) {
                                                  if (ch >= 'a' && ch <= 'z') return false;
                                              }
                                              return true;
                                          })
        .with_content_media_type_check("application/json", nullptr)
        .with_content_encoding_check("base64", std::nullopt);
    Compiled upper(R"({"contentMediaType": "text/upper"})", options);
    EXPECT_TRUE(upper.is_valid(R"("ABC")"));
    EXPECT_EQ(upper.messages(R"("AbC")"),
              std::vector<std::string>{R"("AbC" is not compliant with "text/upper" media type)"});
    // Switched off by the options: no check at all.
    Compiled json_off(kJson, options);
    EXPECT_TRUE(json_off.is_valid(R"("{")"));
    EXPECT_TRUE(json_off.trace(R"("{")").first.empty());
    Compiled base64_off(kBase64, options);
    EXPECT_TRUE(base64_off.is_valid(R"("%%%")"));
    // A registered encoding decodes for a built-in media type.
    auto reversed = kwtest::options_for(Draft::Draft7);
    reversed.with_content_encoding_check(
        "reversed", core::ContentEncodingFunctions{
                        [](std::string_view) { return true; },
                        [](std::string_view text) {
                            deririrore::formats::DecodeResult out;
                            out.status = deririrore::formats::DecodeStatus::Decoded;
                            out.bytes.assign(text.rbegin(), text.rend());
                            return out;
                        }});
    Compiled pair(R"({"contentMediaType": "application/json", "contentEncoding": "reversed"})", reversed);
    EXPECT_TRUE(pair.is_valid(R"("]2,1[")"));
    EXPECT_FALSE(pair.is_valid(R"("[1,2]")"));
}

TEST(Content, AnnotationsFrom201909) {
    for (Draft draft : {Draft::Draft201909, Draft::Draft202012}) {
        Compiled compiled(
            R"({"contentMediaType": "application/json", "contentEncoding": "base64", "contentSchema": {"type": "integer"}})",
            draft);
        ASSERT_TRUE(compiled.ok());
        // Nothing is asserted: not base64, not JSON, and the schema is never applied.
        EXPECT_TRUE(compiled.is_valid(R"("%%%")"));
        EXPECT_TRUE(compiled.is_valid("12"));
        const auto [events, valid] = compiled.trace(R"("%%%")");
        EXPECT_TRUE(valid);
        std::vector<Event> sorted = events;
        std::sort(sorted.begin(), sorted.end(), [](const Event& a, const Event& b) { return a.keyword < b.keyword; });
        EXPECT_EQ(sorted, (std::vector<Event>{
                              {"", "/contentEncoding", 0}, {"", "/contentMediaType", 0}, {"", "/contentSchema", 0}}));
        for (const auto& e : compiled.trace("12").first) EXPECT_EQ(e.outcome, 2) << e.keyword;

        const auto evaluated = compiled.evaluate(json(R"("%%%")"));
        std::vector<std::string> annotations;
        for (const auto* entry : evaluated->entries()) {
            ASSERT_TRUE(entry->annotations);
            annotations.push_back(value::to_json(*entry->annotations));
        }
        std::sort(annotations.begin(), annotations.end());
        EXPECT_EQ(annotations, (std::vector<std::string>{R"("application/json")", R"("base64")", R"({"type":"integer"})"}));
    }
    // contentSchema needs a media type beside it.
    Compiled alone(R"({"contentSchema": {"type": "integer"}})", Draft::Draft202012);
    EXPECT_TRUE(alone.trace(R"("x")").first.empty());
}

}  // namespace
