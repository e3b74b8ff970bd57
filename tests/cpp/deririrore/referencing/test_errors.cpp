#include <gtest/gtest.h>

#include "deririrore/referencing/error.hpp"

namespace deririrore::referencing {
namespace {

TEST(ReferenceErrorMessage, Table) {
    struct Case {
        ReferenceError error;
        std::string_view expected;
    };
    const Case cases[] = {
        {ReferenceError::Unretrievable{"http://x/y.json", ErrorSource::text(std::string(kRegistryPopulatedMessage))},
         "Resource 'http://x/y.json' is not present in a registry and retrieving it failed: Retrieving external "
         "resources is not supported once the registry is populated"},
        {ReferenceError::PointerToNowhere{"/definitions/x"}, "Pointer '/definitions/x' does not exist"},
        {ReferenceError::InvalidPercentEncoding{"/%FF", Utf8Error{0, 1}},
         "Invalid percent encoding in pointer '/%FF': the decoded bytes do not represent valid UTF-8"},
        {ReferenceError::InvalidArrayIndex{"/items/x", "x", IntParseErrorKind::InvalidDigit},
         "Failed to parse array index 'x' in pointer '/items/x'"},
        {ReferenceError::NoSuchAnchor{""}, "Anchor '' does not exist"},
        {ReferenceError::InvalidAnchor{"a/b"}, "Anchor 'a/b' is invalid"},
        {UriError::parse("a b", true, UriParseError{UriParseErrorKind::UnexpectedCharacter, 1}),
         "Invalid URI reference 'a b': unexpected character at index 1"},
        {UriError::parse("http://a b", false, UriParseError{UriParseErrorKind::UnexpectedCharacter, 8}),
         "Invalid URI 'http://a b': unexpected character at index 8"},
        {UriError::parse("%", true, UriParseError{UriParseErrorKind::InvalidPercentEncoding, 0}),
         "Invalid URI reference '%': invalid percent-encoded octet at index 0"},
        {UriError::parse("http://[x]", true, UriParseError{UriParseErrorKind::InvalidIpv6, 8}),
         "Invalid URI reference 'http://[x]': invalid IPv6 address at index 8"},
        {UriError::resolve("x", "urn:a:b", UriResolveErrorKind::OpaqueBase),
         "Failed to resolve 'x' against 'urn:a:b': when base has a rootless path and no authority, reference should "
         "either have scheme, be empty or start with '#'"},
        {ReferenceError::UnknownSpecification{"urn:meta"},
         "Unknown meta-schema: 'urn:meta'. Custom meta-schemas must be registered in the registry before use"},
        {ReferenceError::CircularMetaschema{"urn:meta"}, "Circular meta-schema reference detected at 'urn:meta'"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.message(), c.expected);
}

TEST(ReferenceErrorDebug, StructuredForms) {
    ReferenceError unretrievable =
        ReferenceError::Unretrievable{"x", ErrorSource{std::string(kDefaultRetrieverMessage), "DefaultRetrieverError"}};
    EXPECT_EQ(unretrievable.debug(), R"(Unretrievable { uri: "x", source: DefaultRetrieverError })");
    EXPECT_EQ(unretrievable.debug(true), "Unretrievable {\n    uri: \"x\",\n    source: DefaultRetrieverError,\n}");
    ReferenceError invalid = UriError::parse("a\"b", true, UriParseError{UriParseErrorKind::UnexpectedCharacter, 1});
    EXPECT_EQ(invalid.debug(),
              R"(InvalidUri(Parse { uri: "a\"b", is_reference: true, error: UriParseError { kind: UnexpectedCharacter, index: 1 } }))");
    EXPECT_EQ(invalid.kind(), ReferenceError::Kind::InvalidUri);
}

}  // namespace
}  // namespace deririrore::referencing
