// format: the name table with its drafts, asserting versus annotating versus ignoring, unknown
// names, registered formats, the checkers' edge cases as data, traces and evaluation output.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/keywords/format.hpp"
#include "deririrore/referencing/registry.hpp"
#include "keyword_test_support.hpp"

namespace {

using deririrore::formats::BuiltinFormat;
using deririrore::keywords::check_builtin_format;
using deririrore::keywords::format_id_from_name;
using kwtest::Compiled;
using kwtest::Draft;
using kwtest::Event;
using kwtest::compile_message;
using kwtest::json;
namespace core = deririrore::core;
namespace referencing = deririrore::referencing;

core::ValidationOptions asserting(Draft draft) {
    auto options = kwtest::options_for(draft);
    options.with_validate_formats(true);
    return options;
}

std::string quoted(const std::string& text) { return deririrore::value::to_json(deririrore::value::Value::string(text)); }

TEST(FormatNames, FollowTheirDrafts) {
    struct Case {
        Draft draft;
        const char* name;
        BuiltinFormat id;
    };
    const Case cases[] = {
        {Draft::Draft4, "date", BuiltinFormat::Date},
        {Draft::Draft4, "time", BuiltinFormat::Time},
        {Draft::Draft4, "idn-email", BuiltinFormat::IdnEmail},
        {Draft::Draft4, "hostname", BuiltinFormat::HostnameDraft4},
        {Draft::Draft6, "hostname", BuiltinFormat::HostnameDraft4},
        {Draft::Draft7, "hostname", BuiltinFormat::Hostname},
        {Draft::Unknown, "hostname", BuiltinFormat::Hostname},
        {Draft::Draft4, "json-pointer", BuiltinFormat::None},
        {Draft::Draft6, "json-pointer", BuiltinFormat::JsonPointer},
        {Draft::Draft6, "uri-reference", BuiltinFormat::UriReference},
        {Draft::Draft6, "iri", BuiltinFormat::None},
        {Draft::Draft7, "iri-reference", BuiltinFormat::IriReference},
        {Draft::Draft6, "relative-json-pointer", BuiltinFormat::None},
        {Draft::Draft7, "relative-json-pointer", BuiltinFormat::RelativeJsonPointer},
        {Draft::Draft7, "uuid", BuiltinFormat::None},
        {Draft::Draft201909, "uuid", BuiltinFormat::Uuid},
        {Draft::Draft7, "duration", BuiltinFormat::None},
        {Draft::Unknown, "duration", BuiltinFormat::Duration},
        {Draft::Draft202012, "Date", BuiltinFormat::None},
        {Draft::Draft202012, "date ", BuiltinFormat::None},
        {Draft::Draft202012, "", BuiltinFormat::None},
        {Draft::Draft202012, "uri-templatx", BuiltinFormat::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_id_from_name(c.draft, c.name), c.id) << c.name << " under draft " << static_cast<int>(c.draft);
    }
}

TEST(FormatNames, CheckBuiltinFormatOutsideValidators) {
    EXPECT_EQ(check_builtin_format(BuiltinFormat::Date, "2020-02-29"), 1);
    EXPECT_EQ(check_builtin_format(BuiltinFormat::Date, "2019-02-29"), 0);
    EXPECT_EQ(check_builtin_format(BuiltinFormat::Regex, "["), 0);
    EXPECT_EQ(check_builtin_format(BuiltinFormat::None, "2020-02-29"), 2);
    EXPECT_EQ(check_builtin_format(std::string_view("ssn"), "anything"), 2);
}

// The checkers' edge cases, run through an asserting `format` keyword.
struct CheckCase {
    const char* format;
    std::string text;
    bool valid;
};

class FormatChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(FormatChecks, DecideAsTheirGrammarsSay) {
    const CheckCase& c = GetParam();
    const std::string schema = R"({"format": )" + quoted(c.format) + "}";
    Compiled compiled(schema, asserting(Draft::Draft202012));
    ASSERT_TRUE(compiled.ok());
    const auto instance = deririrore::value::Value::string(c.text);
    EXPECT_EQ(compiled.is_valid(instance), c.valid) << c.format << " " << quoted(c.text);
    EXPECT_EQ(compiled.trace(instance), (std::pair{std::vector<Event>{{"", "/format", c.valid ? 0 : 1}}, c.valid}));
    const auto errors = compiled.errors(instance);
    ASSERT_EQ(errors.size(), c.valid ? 0u : 1u);
    if (!c.valid) {
        EXPECT_EQ(errors[0].message(), quoted(c.text) + " is not a \"" + c.format + "\"");
        EXPECT_EQ(errors[0].schema_path().str(), "/format");
    }
}

std::vector<CheckCase> check_cases() {
    std::vector<CheckCase> out;
    const auto add = [&](const char* format, std::initializer_list<const char*> valid,
                         std::initializer_list<const char*> invalid) {
        for (const char* t : valid) out.push_back({format, t, true});
        for (const char* t : invalid) out.push_back({format, t, false});
    };
    add("date", {"2020-02-29", "2000-02-29", "0000-01-01", "9999-12-31"},
        {"2019-02-29", "1900-02-29", "2020-13-01", "2020-00-10", "2020-01-00", "2020-04-31", "2020-1-01",
         "2020-0a-01", "20x0-01-01"});
    add("time",
        {"12:00:00Z", "12:00:00z", "12:00:00.5+05:30", "12:00:00.123456789-08:00", "23:59:60Z", "15:59:60-08:00",
         "00:59:60+01:00"},
        {"12:00:00", "12:00:00.Z", "12:00:00+0530", "12:00:00+05:30:00", "24:00:00Z", "12:60:00Z", "12:00:00+24:00",
         "22:59:60Z", "15:59:60+08:00", "23:59:60+01:00"});
    add("date-time", {"2020-01-01T12:00:00Z", "2020-01-01t12:00:00z"}, {"2020-01-01 12:00:00Z", "T12:00:00Z"});
    add("duration", {"P1D", "P1Y2M3DT4H5M6S", "PT1M", "P4W", "P0D"},
        {"P", "PT", "P1DT", "P1Y1D", "PT1H1S", "P1M1Y", "P1D1D", "P1W1D", "P1WT1H", "PT1.5S", "p1d", "P1"});
    const std::string label63(63, 'a');
    const std::string name254 = label63 + "." + label63 + "." + label63 + "." + std::string(62, 'a');
    out.push_back({"hostname", label63, true});
    out.push_back({"hostname", std::string(64, 'a'), false});
    out.push_back({"hostname", name254, false});
    add("hostname", {"a", "a-b.c", "xn--bcher-kva"},
        {"-a.b", "a-.b", "a..b", ".a", "a.", "a_b.c", "ab--cd.e", "xn--9", "xn---abc", "xn--a", "XN--bcher-kva"});
    add("idn-hostname",
        {"b\xC3\xBC" "cher", "ABC", "l\xC2\xB7l", "\xE3\x83\xBB\xE3\x82\xA2"},
        {"a..b", "-abc", "ab--cd", "a\xC2\xB7l", "\xCC\x80" "abc", "\xD9\xA1\xDB\xB1", "a\xE3\x83\xBB",
         "a\xD9\x80" "b"});
    out.push_back({"idn-hostname", name254, false});
    add("ipv4", {"0.0.0.0", "255.255.255.255"}, {"256.1.1.1", "01.1.1.1", "1.1.1", "1.1.1.1.1", "1.1.1.1 "});
    add("ipv6", {"::", "::1", "1:2:3:4:5:6:7:8", "::ffff:1.2.3.4"}, {"1::2::3", "12345::", "[::1]", "fe80::1%eth0"});
    add("email", {"a@example.com", R"(""@example.com)", R"("a"@example.com)", "a@[IPv6:::1]", "a@[ipv6:::1]",
                  "a@[1.2.3.4]"},
        {"a@[1.2.3]", "\xC3\xBC@example.com", "a@-example.com", "no-at-sign"});
    add("idn-email", {"\xC3\xBC@example.com", "a@b\xC3\xBC" "cher.x"}, {"a@[1.2.3]", "no-at-sign"});
    add("uri", {"a:b", "a:", "a:/b?c#d", "a://u:p@h:80/p?q#f", "a://h:/", "a://[::1]/"},
        {"", "/b", "1a:b", "a://h:8x/", "a://u@v@h/", "a:b c", "a:%4", "a:%zz", "a:\xC3\xBC"});
    add("uri-reference", {"", "#f", "?q", "//h/p", "./a:b", "%41", "b:c"}, {"a:b c", "1a:b", "/b:c d"});
    add("iri", {"a:\xC3\xBC"}, {"\xC3\xBC"});
    add("iri-reference", {"\xC3\xBC", "a:\xC3\xBC"}, {"a:b c"});
    add("uri-template",
        {"", "/a/{id}", "{+path}", "{#x}", "{a,b}", "{a.b}", "{var:3}", "{var*}", "a'b", "%2F"},
        {"{", "{}", "{+}", "{a..b}", "{var:0}", "{var:10000}", "{var:1*}", "a}b", "a|b", "a b", "%2"});
    add("json-pointer", {"", "/", "/a~0b/c~1d", "/\xC3\xBC"}, {"a", "/~", "/~2", "/~/"});
    add("relative-json-pointer", {"0", "1", "10/a", "1/", "0#", "1#"}, {"", "01", "0##", "#", "-1", "1a", "0/~2"});
    add("uuid", {"0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d", "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"},
        {"0a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d", "{0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d}",
         "0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5g", "0a1b2c3-d4e5f-6a7b-8c9d-0e1f2a3b4c5d"});
    add("regex", {"^[a-z]+$", "a(?=b)", ""}, {"[", "(", "a{2,1}"});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Builtin, FormatChecks, ::testing::ValuesIn(check_cases()));

TEST(Format, LegacyHostnameUnderDrafts4And6) {
    // Hyphens in the third and fourth position need "xn" from draft 7 on only.
    for (Draft draft : {Draft::Draft4, Draft::Draft6}) {
        Compiled compiled(R"({"format": "hostname"})", draft);
        ASSERT_TRUE(compiled.ok());
        EXPECT_TRUE(compiled.is_valid(R"("ab--cd.e")"));
        EXPECT_FALSE(compiled.is_valid(R"("a_b.c")"));
        EXPECT_EQ(compiled.messages(R"("a..b")"), std::vector<std::string>{R"("a..b" is not a "hostname")"});
    }
    Compiled draft7(R"({"format": "hostname"})", Draft::Draft7);
    EXPECT_FALSE(draft7.is_valid(R"("ab--cd.e")"));
}

TEST(Format, NonStringsAreNotApplicableForEveryBuiltinFormat) {
    // The e-mail formats included: a number is no address, so it is not checked at all.
    for (const char* format : {"email", "idn-email", "ipv4", "date", "regex"}) {
        Compiled compiled(std::string(R"({"format": ")") + format + "\"}", Draft::Draft7);
        ASSERT_TRUE(compiled.ok());
        for (const char* instance : {"1", "null", "[]", "{}"}) {
            EXPECT_TRUE(compiled.is_valid(instance)) << format;
            EXPECT_TRUE(compiled.messages(instance).empty()) << format;
            EXPECT_EQ(compiled.trace(instance), (std::pair{std::vector<Event>{{"", "/format", 2}}, true})) << format;
        }
        const auto evaluated = compiled.evaluate(json("1"));
        EXPECT_TRUE(evaluated->evaluation.valid);
    }
}

TEST(Format, AnnotatesUnderTheStandard202012MetaSchema) {
    Compiled compiled(R"({"format": "date"})", Draft::Draft202012);
    ASSERT_TRUE(compiled.ok());
    EXPECT_TRUE(compiled.is_valid(R"("nope")"));
    EXPECT_EQ(compiled.trace(R"("nope")"), (std::pair{std::vector<Event>{{"", "/format", 0}}, true}));
    EXPECT_EQ(compiled.trace("3"), (std::pair{std::vector<Event>{{"", "/format", 2}}, true}));
    // Not asserted, so no name is looked up: an unknown name is as good as a known one.
    Compiled unknown(R"({"format": "no-such-format"})", Draft::Draft202012);
    EXPECT_TRUE(unknown.ok());
    EXPECT_EQ(unknown.trace(R"("x")"), (std::pair{std::vector<Event>{{"", "/format", 0}}, true}));

    const auto evaluated = compiled.evaluate(json(R"("nope")"));
    const auto entries = evaluated->entries();
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_TRUE(entries[0]->annotations);
    EXPECT_EQ(deririrore::value::to_json(*entries[0]->annotations), R"("date")");
    EXPECT_FALSE(compiled.evaluate(json("3"))->entries()[0]->annotations);

    Compiled forced(R"({"format": "date"})", asserting(Draft::Draft202012));
    EXPECT_EQ(forced.messages(R"("nope")"), std::vector<std::string>{R"("nope" is not a "date")"});
}

TEST(Format, FailedStringKeepsItsAnnotationAndDescription) {
    Compiled compiled(R"({"format": "ipv4"})", Draft::Draft7);
    const auto evaluated = compiled.evaluate(json(R"("1.2.3")"));
    EXPECT_FALSE(evaluated->evaluation.valid);
    const auto entries = evaluated->entries();
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_EQ(entries[0]->errors.size(), 1u);
    EXPECT_EQ(entries[0]->errors[0], (core::ErrorDescription{"format", R"("1.2.3" is not a "ipv4")"}));
}

TEST(Format, UnknownNames) {
    // Not built in under draft 7, and ignorable by default: no validator, no event.
    Compiled ignored(R"({"format": "uuid"})", Draft::Draft7);
    ASSERT_TRUE(ignored.ok());
    EXPECT_TRUE(ignored.is_valid(R"("not a uuid")"));
    EXPECT_TRUE(ignored.trace(R"("x")").first.empty());

    auto strict = kwtest::options_for(Draft::Draft7);
    strict.with_ignore_unknown_formats(false);
    EXPECT_EQ(compile_message(R"({"format": "uuid"})", strict),
              "Unknown format: 'uuid'. Adjust configuration to ignore unrecognized formats");

    auto forced = asserting(Draft::Draft202012);
    EXPECT_EQ(compile_message(R"({"format": "foo"})", forced), std::nullopt);
    forced.with_ignore_unknown_formats(false);
    EXPECT_EQ(compile_message(R"({"format": "foo"})", forced),
              "Unknown format: 'foo'. Adjust configuration to ignore unrecognized formats");

    EXPECT_EQ(kwtest::compile_message(R"({"format": 5})", Draft::Draft7), R"(5 is not of type "string")");
    EXPECT_EQ(kwtest::compile_error_path(R"({"properties": {"a": {"format": 5}}})", Draft::Draft7),
              "/properties/a/format");
}

// Serves one meta-schema whose vocabularies assert formats.
class AssertingMetaSchema final : public referencing::Retriever {
public:
    deririrore::Result<deririrore::value::Value, referencing::ErrorSource> retrieve(
        const referencing::Uri& uri) const override {
        if (uri.view() != "https://example.com/format-meta") {
            return deririrore::Unexpected<referencing::ErrorSource>{referencing::ErrorSource::text("unknown")};
        }
        return json(R"({
            "$schema": "https://json-schema.org/draft/2020-12/schema",
            "$id": "https://example.com/format-meta",
            "$vocabulary": {
                "https://json-schema.org/draft/2020-12/vocab/core": true,
                "https://json-schema.org/draft/2020-12/vocab/validation": true,
                "https://json-schema.org/draft/2020-12/vocab/format-assertion": false
            }
        })");
    }
};

TEST(Format, MetaSchemaThatAssertsFormats) {
    auto options = kwtest::options_for(Draft::Draft202012);
    options.with_retriever(std::make_shared<AssertingMetaSchema>());
    const char* unknown = R"({"$schema": "https://example.com/format-meta", "format": "foo"})";
    // Even with unknown formats ignorable, the meta-schema forbids skipping one.
    EXPECT_EQ(compile_message(unknown, options),
              "Unknown format: 'foo'. The meta-schema asserts formats, so unrecognized ones cannot be ignored. "
              "Register a check for it or disable format validation");

    Compiled known(R"({"$schema": "https://example.com/format-meta", "format": "date"})", options);
    ASSERT_TRUE(known.ok());
    EXPECT_FALSE(known.is_valid(R"("nope")"));

    options.with_validate_formats(false);
    Compiled annotating(unknown, options);
    ASSERT_TRUE(annotating.ok());
    EXPECT_TRUE(annotating.is_valid(R"("anything")"));
}

// A registered format with a fixed domain and answer per JSON type.
class ParityChecker final : public core::FormatChecker {
public:
    // Strings of even length; numbers are outside the domain and always fail.
    bool check(const core::Value& instance) const override {
        if (instance.is_string()) return instance.as_string().size() % 2 == 0;
        return !instance.is_number();
    }
    bool applies_to(const core::Value& instance) const override { return instance.is_string(); }
};

TEST(Format, RegisteredFormats) {
    auto options = kwtest::options_for(Draft::Draft4);
    options.with_format("uuid", std::make_shared<ParityChecker>()).with_format("date", std::make_shared<ParityChecker>());
    // A registered name needs no draft and replaces a built-in one.
    Compiled uuid(R"({"format": "uuid"})", options);
    ASSERT_TRUE(uuid.ok());
    EXPECT_TRUE(uuid.is_valid(R"("ab")"));
    EXPECT_EQ(uuid.messages(R"("abc")"), std::vector<std::string>{R"("abc" is not a "uuid")"});
    auto modern = kwtest::options_for(Draft::Draft202012);
    modern.with_validate_formats(true).with_format("date", std::make_shared<ParityChecker>());
    Compiled date(R"({"format": "date"})", modern);
    EXPECT_TRUE(date.is_valid(R"("nope")"));

    // Outside its domain the checker still decides validity; the trace says not applicable.
    EXPECT_FALSE(uuid.is_valid("1"));
    EXPECT_EQ(uuid.trace("1"), (std::pair{std::vector<Event>{{"", "/format", 2}}, false}));
    EXPECT_EQ(uuid.messages("1"), std::vector<std::string>{R"(1 is not a "uuid")"});
    EXPECT_EQ(uuid.trace("null"), (std::pair{std::vector<Event>{{"", "/format", 2}}, true}));
    EXPECT_EQ(uuid.trace(R"("abc")"), (std::pair{std::vector<Event>{{"", "/format", 1}}, false}));
}

TEST(Format, RegisteredFormatEvaluationAgreesWithValidity) {
    auto options = kwtest::options_for(Draft::Draft7);
    options.with_format("parity", std::make_shared<ParityChecker>());
    Compiled compiled(R"({"format": "parity"})", options);
    for (const char* instance : {"1", "null", R"("ab")", R"("abc")"}) {
        const auto evaluated = compiled.evaluate(json(instance));
        EXPECT_EQ(evaluated->evaluation.valid, compiled.is_valid(instance)) << instance;
    }
    const auto failed = compiled.evaluate(json("1"));
    const auto entries = failed->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->errors, (std::vector<core::ErrorDescription>{{"format", R"(1 is not a "parity")"}}));
    EXPECT_FALSE(entries[0]->annotations || entries[0]->dropped_annotations);
    const auto passed = compiled.evaluate(json(R"("ab")"));
    ASSERT_TRUE(passed->entries()[0]->annotations);
    EXPECT_EQ(deririrore::value::to_json(*passed->entries()[0]->annotations), R"("parity")");
}

TEST(Format, EmailOptionsReachTheChecker) {
    auto options = kwtest::options_for(Draft::Draft7);
    deririrore::formats::EmailOptions email;
    email.min_domain_labels = 2;
    email.domain_literal_allowed = false;
    options.with_email_options(email);
    for (const char* format : {"email", "idn-email"}) {
        Compiled compiled(std::string(R"({"format": ")") + format + "\"}", options);
        EXPECT_FALSE(compiled.is_valid(R"("a@localhost")")) << format;
        EXPECT_TRUE(compiled.is_valid(R"("a@example.com")")) << format;
        EXPECT_FALSE(compiled.is_valid(R"("a@[1.2.3.4]")")) << format;
    }
    Compiled defaults(R"({"format": "email"})", Draft::Draft7);
    EXPECT_TRUE(defaults.is_valid(R"("a@localhost")"));
    EXPECT_TRUE(defaults.is_valid(R"("a@[1.2.3.4]")"));
}

}  // namespace
