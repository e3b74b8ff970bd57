#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "multipart/multipart.hpp"

namespace {

using multipart::parse_multipart;

// Test bodies are written with "\n" line ends; this turns them into the CR LF of the wire.
std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\r\n";
        else
            out.push_back(c);
    }
    return out;
}

struct Expected {
    std::optional<std::string> name;
    std::optional<std::string> content_type;
    std::string body;
};

void expect_parts(const std::string& body, std::string_view boundary, const std::vector<Expected>& expected) {
    auto parts = parse_multipart(body, boundary);
    ASSERT_TRUE(parts.has_value()) << body;
    ASSERT_EQ(parts->size(), expected.size()) << body;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((*parts)[i].name, expected[i].name) << i;
        EXPECT_EQ((*parts)[i].content_type, expected[i].content_type) << i;
        EXPECT_EQ((*parts)[i].body, expected[i].body) << i;
    }
}

TEST(MultipartParse, Rfc7578Examples) {
    // Section 4.5: a field whose content type names its charset.
    expect_parts(crlf("--AaB03x\n"
                      "content-disposition: form-data; name=\"field1\"\n"
                      "content-type: text/plain;charset=UTF-8\n"
                      "content-transfer-encoding: quoted-printable\n"
                      "\n"
                      "Joe owes =E2=82=AC100.\n"
                      "--AaB03x--\n"),
                 "AaB03x", {{"field1", "text/plain;charset=UTF-8", "Joe owes =E2=82=AC100."}});
    // Section 4.6: the _charset_ field, then a field in that charset.
    expect_parts(
        crlf("--AaB03x\n"
             "content-disposition: form-data; name=\"_charset_\"\n"
             "\n"
             "iso-8859-1\n"
             "--AaB03x\n"
             "content-disposition: form-data; name=\"field1\"\n"
             "\n"
             "...text encoded in iso-8859-1 ...\n"
             "--AaB03x--\n"),
        "AaB03x",
        {{"_charset_", std::nullopt, "iso-8859-1"}, {"field1", std::nullopt, "...text encoded in iso-8859-1 ..."}});
    // Section 4.2: a file with its file name, which is not kept.
    expect_parts(crlf("--AaB03x\n"
                      "Content-Disposition: form-data; name=\"file\"; filename=\"file1.txt\"\n"
                      "Content-Type: text/plain\n"
                      "\n"
                      "... contents of file1.txt ...\n"
                      "--AaB03x--"),
                 "AaB03x", {{"file", "text/plain", "... contents of file1.txt ..."}});
}

TEST(MultipartParse, PreambleEpilogueAndDelimiterLines) {
    expect_parts(crlf("This is the preamble.\n"
                      "--B \t\n"
                      "Content-Disposition: form-data; name=a\n"
                      "\n"
                      "one\n"
                      "two\n"
                      "--B--\n"
                      "epilogue --B\n"),
                 "B", {{"a", std::nullopt, "one\r\ntwo"}});
    // The blank line's line break also serves as the next delimiter's: an empty value.
    expect_parts(crlf("--B\nContent-Disposition: form-data; name=a\n\n--B--"), "B", {{"a", std::nullopt, ""}});
    // Only the closing delimiter: no parts.
    expect_parts("--B--", "B", {});
    // After a preamble a delimiter needs its line break: the first "--B" here is text.
    expect_parts("preamble--B\r\n\r\nx\r\n--B--", "B", {});
    // No header lines at all: the header block runs to the next blank line, here inside the value.
    expect_parts(crlf("--B\n\nx: y\n\nvalue\n--B--"), "B", {{std::nullopt, std::nullopt, "value"}});
}

TEST(MultipartParse, MalformedBodiesFailWhole) {
    const std::vector<std::string> bodies = {
        "",
        "no delimiter here",
        "--B",                                                                     // ends after the boundary
        crlf("--B\nContent-Disposition: form-data; name=a\n\nvalue\n--B"),         // last delimiter not closed
        crlf("--B\nContent-Disposition: form-data; name=a\n\nvalue"),              // no delimiter after the part
        crlf("--B x\nContent-Disposition: form-data; name=a\n\nv\n--B--"),         // junk after the boundary
        crlf("--B\nContent-Disposition: form-data; name=a\n\nv\n--Bjunk\n--B--"),  // a value line read as delimiter
        crlf("--B\nContent-Disposition form-data\n\nv\n--B--"),                    // a field line without a colon
        crlf("--B\nBad Name: x\n\nv\n--B--"),                                      // a name that is not a token
        crlf("--B\nContent-Disposition: form-data; name*=utf-8''caf%C3%A9\n\nv\n--B--"),
        crlf("--B\nContent-Disposition: form-data; name=a\n"),  // no blank line
    };
    for (const std::string& body : bodies) EXPECT_FALSE(parse_multipart(body, "B").has_value()) << body;
}

TEST(MultipartParse, HeaderFieldCap) {
    const auto body_with = [](int fields) {
        std::string body = "--B\r\nContent-Disposition: form-data; name=a\r\n";
        for (int i = 1; i < fields; ++i) body += "X-Field-" + std::to_string(i) + ": v\r\n";
        return body + "\r\nvalue\r\n--B--";
    };
    auto accepted = parse_multipart(body_with(32), "B");
    ASSERT_TRUE(accepted.has_value());
    EXPECT_EQ((*accepted)[0].name, "a");
    EXPECT_FALSE(parse_multipart(body_with(33), "B").has_value());
}

TEST(MultipartParse, ExtendedNameNeedsAPlainOne) {
    for (const char* disposition :
         {"form-data; name*=utf-8''x; name=\"plain\"", "form-data; name=plain; name*=UTF-8''x"}) {
        auto parts =
            parse_multipart("--B\r\nContent-Disposition: " + std::string(disposition) + "\r\n\r\nv\r\n--B--", "B");
        ASSERT_TRUE(parts.has_value()) << disposition;
        EXPECT_EQ((*parts)[0].name, "plain");
    }
}

TEST(MultipartParse, DispositionNames) {
    struct Case {
        const char* value;
        std::optional<std::string> name;
        bool failed;
    };
    const std::vector<Case> cases = {
        {"form-data; name=\"a;b\"", "a;b", false},
        {"form-data; filename=\"x; name=y\"; name=z", "z", false},
        {"form-data; Name=x ", "x", false},
        {"form-data; name= x", " x", false},
        {"form-data; foo; name=x", std::nullopt, false},  // the key is "foo; name"
        {"form-data name=x", std::nullopt, false},
        {"form-data; name=\"unterminated", "unterminated", false},
        {"form-data; name*=utf-8''x", std::nullopt, true},
        {"form-data;\xC2\xA0name=x", "x", false},  // Unicode white space before the key
    };
    for (const Case& c : cases) {
        const auto got = multipart::parse_disposition_name(c.value);
        EXPECT_EQ(got.name, c.name) << c.value;
        EXPECT_EQ(got.failed, c.failed) << c.value;
    }
}

TEST(MultipartParse, FieldNameEscapes) {
    EXPECT_EQ(multipart::decode_form_field_name("a%0Ab%22"), "a\nb\"");
    EXPECT_EQ(multipart::decode_form_field_name("a%0d%0a"), "a\r\n");
    EXPECT_EQ(multipart::decode_form_field_name("a%41"), "a%41");
    EXPECT_EQ(multipart::decode_form_field_name("a%0"), "a%0");
    EXPECT_EQ(multipart::decode_form_field_name("%%22"), "%\"");
}

TEST(MultipartParse, InvalidUtf8InHeadersIsReplaced) {
    auto parts = parse_multipart(
        "--B\r\nContent-Disposition: form-data; name=\"\xFF\"\r\nContent-Type: t\xC3\r\n\r\nv\r\n--B--", "B");
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ((*parts)[0].name, "\xEF\xBF\xBD");
    EXPECT_EQ((*parts)[0].content_type, "t\xEF\xBF\xBD");
}

// Bodies built to defeat a naive search: they must be answered (without a delimiter, none), and
// the sanitizer build would make a quadratic search run for hours.
TEST(MultipartParse, LargeBodiesWithoutDelimiter) {
    const std::string boundary(70, 'b');
    std::string near_misses;
    while (near_misses.size() < 10'000'000) near_misses += "\r\n--" + boundary.substr(0, 69) + "x";
    EXPECT_FALSE(parse_multipart(near_misses, boundary).has_value());
    EXPECT_FALSE(parse_multipart(std::string(10'000'000, '\r'), "B").has_value());
    std::string many_dashes;
    while (many_dashes.size() < 10'000'000) many_dashes += "\r\n--";
    EXPECT_FALSE(parse_multipart(many_dashes, boundary).has_value());
    EXPECT_FALSE(parse_multipart("--" + std::string(71, 'b') + "--", std::string(71, 'b')).has_value());
}

TEST(MultipartParse, ManyParts) {
    std::string body;
    for (int i = 0; i < 20000; ++i)
        body += "--B\r\nContent-Disposition: form-data; name=f" + std::to_string(i) + "\r\n\r\nv\r\n";
    body += "--B--";
    auto parts = parse_multipart(body, "B");
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->size(), 20000u);
    EXPECT_EQ(parts->back().name, "f19999");
}

}  // namespace
