#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "xml/decoder.hpp"

namespace {

using deririrore::value::to_json;
using xml::Value;
using xml::XmlBodyErrorKind;
using xml::XmlHints;

Value json(std::string_view text) { return std::move(deririrore::value::parse_json(text)).value(); }

std::string convert(std::string_view body, const XmlHints& hints = {}) {
    auto result = xml::xml_body_to_json(hints, body);
    if (!result) return "error " + std::to_string(static_cast<int>(result.error().kind));
    return to_json(*result);
}

std::string error_of(XmlBodyErrorKind kind) { return "error " + std::to_string(static_cast<int>(kind)); }

// A literal's bytes, NUL bytes included.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

XmlHints hints_of(std::string_view schema) { return xml::xml_hints_from_schema(json(schema)); }

TEST(XmlBody, DocumentLevel) {
    EXPECT_EQ(convert(""), "null");
    EXPECT_EQ(convert(" \r\n\t"), "null");
    EXPECT_EQ(convert("<?xml version=\"1.0\"?><!-- c --><?pi x?>"), "null");
    EXPECT_EQ(convert("<a>1</a>"), "1");
    EXPECT_EQ(convert("<b>1</b>"), "1");  // the root's name is not looked at
    EXPECT_EQ(convert("<?xml version=\"1.0\"?>\n<!DOCTYPE a>\n<!-- c --><a>x</a><!-- after -->\n"), "\"x\"");
    for (const char* bad : {"<a/><b/>", "<a/>text", "text<a/>", "<a/><![CDATA[x]]>", "<a>", "<a></b>",
                            "<a x='1' x='2'/>", "hello", "<!DOCTYPE a>"}) {
        EXPECT_EQ(convert(bad).substr(0, 5), "error") << bad;
    }
    EXPECT_EQ(convert("<a>"), error_of(XmlBodyErrorKind::Syntax));
}

TEST(XmlBody, InferredScalars) {
    struct Case {
        const char* text;
        const char* value;
    };
    const std::vector<Case> cases = {
        {"1", "1"},
        {"1.50", "1.50"},
        {"007", "7"},
        {"-0", "0"},
        {"true", "true"},
        {"TRUE", "true"},
        {"False", "false"},
        {"null", "\"null\""},
        {" 5 ", "\" 5 \""},
        {"+", "\"+\""},
        {"1e3", "1e3"},
        {".5", "0.5"},
        {"inf", "\"inf\""},
        {"NaN", "\"NaN\""},
        {"99999999999999999999", "99999999999999999999.0"},  // beyond 64 bits, exact
        {"0.1", "0.1"},
        {"1", "1"},
    };
    for (const Case& c : cases) EXPECT_EQ(convert("<r>" + std::string(c.text) + "</r>"), c.value) << c.text;
}

TEST(XmlBody, TypedScalars) {
    struct Case {
        const char* text;
        std::uint8_t types;
        const char* value;
    };
    const std::vector<Case> cases = {
        {"5", 8, "5.0"},       {"5", 16, "\"5\""},    {"1", 2, "true"},         {"0", 2, "false"},
        {"yes", 2, "\"yes\""}, {"NULL", 1, "null"},   {"null", 16, "\"null\""}, {"+7", 4, "7"},
        {"7", 20, "\"7\""},    {"7.5", 4, "\"7.5\""}, {"7.5", 12, "7.5"},       {"", 4, "\"\""},
        {"-", 12, "\"-\""},    {"1", 6, "true"},      {"12", 6, "12"},          {"1e400", 8, "1e400"},
    };
    for (const Case& c : cases) EXPECT_EQ(to_json(xml::typed_scalar(c.text, c.types)), c.value) << c.text;
    EXPECT_EQ(convert("<r>5</r>", hints_of(R"({"type":"number"})")), "5.0");
    EXPECT_EQ(convert("<r>5</r>", hints_of(R"({"type":"string"})")), "\"5\"");
}

TEST(XmlBody, ChildrenAndRepeatedElements) {
    EXPECT_EQ(convert("<r><b>1</b><b>2</b></r>"), R"({"b":[1,2]})");
    EXPECT_EQ(convert("<r><b>1</b></r>"), R"({"b":1})");
    EXPECT_EQ(convert("<r><b>1</b></r>", hints_of(R"({"properties":{"b":{"type":"array"}}})")), R"({"b":["1"]})");
    EXPECT_EQ(convert("<r>\n  <b/>\n</r>"), R"({"b":null})");
    EXPECT_EQ(convert("<r>x<b/>y</r>"), R"({"#text":"xy","b":null})");
    // White space written as references is content; written literally it is layout.
    EXPECT_EQ(convert("<r>&#32;</r>"), "\" \"");
    EXPECT_EQ(convert("<r> &#x9; <b/>&#0000000010;</r>"), R"({"#text":" \t \n","b":null})");
    EXPECT_EQ(convert("<r> <!-- &#32; --> <?p &#32;?><![CDATA[&#32;]]></r>"), "\"&#32;\"");
    EXPECT_EQ(convert("<!DOCTYPE r [<!ENTITY e '&#32;'><!-- ' -->]><r a='&#32;\t'>&#xA0;</r>"),
              "{\"#text\":\"\xC2\xA0\",\"a\":\"  \"}");
    EXPECT_EQ(convert("<r>\xF3\xB0\x80\x80&#32;</r>"), "\"\xF3\xB0\x80\x80 \"");
    EXPECT_EQ(convert("<r><p:b xmlns:p='urn:p'>1</p:b><q:b xmlns:q='urn:q'>2</q:b></r>"), R"({"b":[1,2]})");
    EXPECT_EQ(convert("<r><![CDATA[ ]]></r>"), "\" \"");
    EXPECT_EQ(convert("<r>a<![CDATA[<b>]]>c</r>"), "\"a<b>c\"");
    EXPECT_EQ(convert("<r>&amp;&lt;&#65;&#x42;</r>"), "\"&<AB\"");
    EXPECT_EQ(convert("<r><b>1</b><b><c>2</c></b><b>3</b></r>"), R"({"b":[1,{"c":2},3]})");
}

TEST(XmlBody, WrappedArrays) {
    const XmlHints wrapped = hints_of(R"({"type":"array","xml":{"wrapped":true},"items":{"type":"string"}})");
    EXPECT_EQ(convert("<tags><tag>a</tag><tag>b</tag></tags>", wrapped), R"(["a","b"])");
    EXPECT_EQ(convert("<tags><tag>1</tag><other>2</other></tags>", wrapped), R"(["1","2"])");
    EXPECT_EQ(convert("<tags></tags>", wrapped), "[]");
    EXPECT_EQ(convert("<tags a='1'>text</tags>", wrapped), "[]");
    EXPECT_EQ(convert("<tags/>", wrapped), "[]");
    EXPECT_EQ(convert("<tags/>", hints_of(R"({"xml":{"wrapped":true}})")), "null");
    EXPECT_EQ(convert("<tags></tags>", hints_of(R"({"xml":{"wrapped":true}})")), "[]");

    // A wrapped property inside an object, named through the parent's element names.
    const XmlHints pet = hints_of(R"({"type":"object","properties":{
        "id":{"type":"integer","xml":{"attribute":true}},
        "photoUrls":{"type":"array","xml":{"name":"photos","wrapped":true},"items":{"type":"string","xml":{"name":"url"}}},
        "tags":{"type":"array","items":{"type":"string","xml":{"name":"tag"}}}}})");
    EXPECT_EQ(convert("<Pet id='007'><photos><url>1</url><url>2</url></photos><tag>x</tag></Pet>", pet),
              R"({"id":7,"photoUrls":["1","2"],"tags":["x"]})");
}

TEST(XmlBody, Attributes) {
    EXPECT_EQ(convert("<r id='5'>x</r>"), R"({"#text":"x","id":5})");
    EXPECT_EQ(convert("<r b='attr'><b>child</b></r>"), R"({"b":"child"})");
    EXPECT_EQ(convert("<r a='1' xmlns='urn:d' xmlns:p='urn:p' p:c='2' xml:lang='en'/>"), R"({"a":1,"c":2})");
    EXPECT_EQ(convert("<r a='x&#9;y&#xA;z&amp;' b='l1\nl2'/>"), R"({"a":"x\ty\nz&","b":"l1 l2"})");
    const XmlHints named = hints_of(R"({"properties":{"id":{"type":"string","xml":{"attribute":true,"name":"ID"}}}})");
    EXPECT_EQ(convert("<r ID='5'/>", named), R"({"id":"5"})");
    // An attribute whose property is declared as an attribute is kept even in the XSI namespace.
    const XmlHints nil_attribute = hints_of(R"({"properties":{"nil":{"type":"boolean","xml":{"attribute":true}}}})");
    EXPECT_EQ(convert("<r xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' xsi:nil='1'/>", nil_attribute),
              R"({"nil":true})");
}

TEST(XmlBody, Nil) {
    const XmlHints text = hints_of(R"({"type":"string"})");
    const std::string xsi = " xmlns:i='http://www.w3.org/2001/XMLSchema-instance'";
    EXPECT_EQ(convert("<r" + xsi + " i:nil='true'/>", text), "null");
    EXPECT_EQ(convert("<r" + xsi + " i:nil=' 1 '></r>", text), "null");
    EXPECT_EQ(convert("<r" + xsi + " i:nil='false'/>", text), "\"\"");
    EXPECT_EQ(convert("<r/>", text), "\"\"");
    EXPECT_EQ(convert("<r/>"), "null");
    EXPECT_EQ(convert("<r/>", hints_of(R"({"type":"object"})")), "{}");
    EXPECT_EQ(convert("<r/>", hints_of(R"({"type":"integer"})")), "null");
    EXPECT_EQ(convert("<r nil='true'/>", text), R"({"nil":true})");  // no namespace: an ordinary attribute
}

TEST(XmlBody, DepthLimit) {
    const auto nested = [](int depth, bool empty_innermost) {
        std::string body;
        for (int i = 0; i < depth; ++i) body += "<e>";
        if (empty_innermost) body += "<e/>";
        for (int i = 0; i < depth; ++i) body += "</e>";
        return body;
    };
    EXPECT_EQ(convert(nested(128, false)).substr(0, 5), "{\"e\":");
    EXPECT_EQ(convert(nested(129, false)), error_of(XmlBodyErrorKind::TooDeep));
    EXPECT_EQ(convert(nested(128, true)).substr(0, 5), "{\"e\":");  // an empty element at depth 129
    EXPECT_EQ(convert(nested(100000, false)).substr(0, 5), "error");
}

TEST(XmlBody, Encodings) {
    EXPECT_EQ(convert("<?xml version='1.0' encoding='ISO-8859-1'?><r>caf\xE9</r>"), "\"caf\xC3\xA9\"");
    EXPECT_EQ(convert("<?xml version='1.0' encoding=\"latin1\" standalone='yes'?><r>\x80</r>"), "\"\xE2\x82\xAC\"");
    EXPECT_EQ(convert("<r>caf\xE9</r>"), error_of(XmlBodyErrorKind::Undecodable));
    EXPECT_EQ(convert("<?xml version='1.0' encoding='no-such-label'?><r/>"),
              error_of(XmlBodyErrorKind::UnknownEncoding));
    auto unknown = xml::xml_body_to_json({}, "<?xml version='1.0' encoding='x\xFF'?><r/>");
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().detail, "x\xEF\xBF\xBD");
    // A declaration naming UTF-16 on a body without a byte order mark reads it as UTF-8.
    EXPECT_EQ(convert("<?xml version='1.0' encoding='UTF-16'?><r>\xC3\xA9</r>"), "\"\xC3\xA9\"");
    // A declaration after white space is not consulted.
    EXPECT_EQ(convert(" <?xml version='1.0' encoding='latin1'?><r>\xE9</r>"), error_of(XmlBodyErrorKind::Undecodable));
    // A malformed pseudo-attribute before the encoding: UTF-8.
    EXPECT_EQ(convert("<?xml version=1.0 encoding='latin1'?><r>\xE9</r>"), error_of(XmlBodyErrorKind::Undecodable));

    const std::string utf16le = bytes("\xFF\xFE<\0r\0>\0\xE9\0<\0/\0r\0>\0");
    EXPECT_EQ(convert(utf16le), "\"\xC3\xA9\"");
    EXPECT_EQ(convert(utf16le + std::string(1, 'x')), error_of(XmlBodyErrorKind::Undecodable));
    EXPECT_EQ(convert(bytes("\xFE\xFF\0<\0r\0>\0"
                            "1\0<\0/\0r\0>")),
              "1");
    EXPECT_EQ(convert(bytes("\xFF\xFE\0\xD8<\0")), error_of(XmlBodyErrorKind::Undecodable));  // lone surrogate
    EXPECT_EQ(convert("\xEF\xBB\xBF<?xml version='1.0' encoding='latin1'?><r>\xC3\xA9</r>"), "\"\xC3\xA9\"");
    // Shift_JIS through its label, strictly: a truncated sequence is undecodable.
    EXPECT_EQ(convert("<?xml version='1.0' encoding='shift_jis'?><r>\x82\xA0</r>"), "\"\xE3\x81\x82\"");
    EXPECT_EQ(convert("<?xml version='1.0' encoding='shift_jis'?><r>\x82"), error_of(XmlBodyErrorKind::Undecodable));
}

TEST(XmlBody, EncodingLabels) {
    EXPECT_EQ(xml::encoding_for_label(" ISO-8859-1\t"), "windows-1252");
    EXPECT_EQ(xml::encoding_for_label("utf8"), "UTF-8");
    EXPECT_EQ(xml::encoding_for_label("UTF-16"), "UTF-16LE");
    EXPECT_EQ(xml::encoding_for_label("iso-2022-kr"), "replacement");
    EXPECT_EQ(xml::encoding_for_label("Shift_JIS"), "Shift_JIS");
    EXPECT_FALSE(xml::encoding_for_label("utf-7"));
    EXPECT_FALSE(xml::encoding_for_label(""));
    // Every encoding the table names decodes ASCII here.
    for (const char* label :
         {"866",         "latin2",  "iso-8859-3",  "iso-8859-4",     "cyrillic", "arabic",      "greek",  "hebrew",
          "logical",     "latin6",  "iso-8859-13", "iso-8859-14",    "l9",       "iso-8859-16", "koi8-r", "koi8-u",
          "mac",         "dos-874", "cp1250",      "cp1251",         "cp1252",   "cp1253",      "cp1254", "cp1255",
          "cp1256",      "cp1257",  "cp1258",      "x-mac-cyrillic", "gbk",      "gb18030",     "big5",   "euc-jp",
          "iso-2022-jp", "sjis",    "euc-kr",      "x-user-defined"}) {
        const auto encoding = xml::encoding_for_label(label);
        ASSERT_TRUE(encoding) << label;
        EXPECT_EQ(xml::decode_to_utf8("<r>a</r>", *encoding), "<r>a</r>") << label;
    }
}

TEST(XmlBody, EntitiesAreRefused) {
    EXPECT_EQ(convert("<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;</r>"), error_of(XmlBodyErrorKind::Reference));
    auto in_attribute = xml::xml_body_to_json({}, "<!DOCTYPE r [<!ENTITY e 'x'>]><r z='1' a='&e;'/>");
    ASSERT_FALSE(in_attribute);
    EXPECT_EQ(in_attribute.error().kind, XmlBodyErrorKind::Reference);
    EXPECT_EQ(in_attribute.error().detail, "e");
    EXPECT_EQ(convert("<r>&undeclared;</r>").substr(0, 5), "error");
    EXPECT_EQ(convert("<r>&#xD800;</r>").substr(0, 5), "error");
    EXPECT_EQ(convert("<r>&#0;</r>").substr(0, 5), "error");
    EXPECT_EQ(convert("<!DOCTYPE r [<!ENTITY e 'x'>]><r>1</r>"), "1");  // declared but unused

    std::string laughs = "<?xml version='1.0'?><!DOCTYPE lolz [<!ENTITY lol 'lol'>";
    std::string previous = "lol";
    for (int i = 1; i <= 9; ++i) {
        const std::string name = "lol" + std::to_string(i);
        laughs += "<!ENTITY " + name + " '";
        for (int k = 0; k < 10; ++k) laughs += "&" + previous + ";";
        laughs += "'>";
        previous = name;
    }
    laughs += "]><lolz>&lol9;</lolz>";
    EXPECT_EQ(convert(laughs).substr(0, 5), "error");
    EXPECT_EQ(convert(laughs.substr(0, laughs.size() - 17) + "<lolz a='&lol9;'/>").substr(0, 5), "error");
}

TEST(XmlBody, ExternalEntitiesAreNotRead) {
    // A file whose content would show if it were read; and one that cannot be read at all.
    const auto path = std::filesystem::temp_directory_path() / ("vc-xml-entity-" + std::to_string(::getpid()));
    std::ofstream(path) << "SECRET";
    for (const std::string& system :
         {"file://" + path.string(), std::string("file:///etc/passwd"), std::string("http://127.0.0.1:9/x")}) {
        const std::string body = "<!DOCTYPE r [<!ENTITY x SYSTEM '" + system + "'>]><r>&x;</r>";
        EXPECT_EQ(convert(body), error_of(XmlBodyErrorKind::Reference)) << system;
        const std::string dtd = "<!DOCTYPE r SYSTEM '" + system + "'><r>1</r>";
        EXPECT_EQ(convert(dtd), "1") << system;
        const std::string parameter = "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + system + "'> %p;]><r>&x;</r>";
        EXPECT_EQ(convert(parameter).substr(0, 5), "error") << system;
    }
    std::filesystem::remove(path);
}

}  // namespace
