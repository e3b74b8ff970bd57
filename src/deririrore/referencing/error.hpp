#pragma once
// The one error type of the reference registry, and the failures of URI operations it wraps.
// Every text is an owned copy so that an error outlives the registry and documents it came from.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "deririrore/value/utf8.hpp"

namespace deririrore::referencing {

enum class UriParseErrorKind : std::uint8_t {
    InvalidPercentEncoding,
    UnexpectedCharacter,
    InvalidIpv6,
};

// Where and why the strict URI-reference parser stopped.
struct UriParseError {
    UriParseErrorKind kind = UriParseErrorKind::UnexpectedCharacter;
    std::size_t index = 0;

    std::string message() const;
    std::string debug() const;
    friend bool operator==(const UriParseError&, const UriParseError&) = default;
};

// The resolver fails only for a relative reference against a base without authority and
// with a rootless (or empty) path, such as a URN.
enum class UriResolveErrorKind : std::uint8_t {
    OpaqueBase,
};

std::string_view uri_resolve_error_message(UriResolveErrorKind kind);

struct UriError {
    struct Parse {
        std::string uri;
        bool is_reference = true;
        UriParseError error;
    };
    struct Resolve {
        std::string uri;
        std::string base;
        UriResolveErrorKind error = UriResolveErrorKind::OpaqueBase;
    };
    std::variant<Parse, Resolve> data;

    static UriError parse(std::string uri, bool is_reference, UriParseError error) {
        return UriError{Parse{std::move(uri), is_reference, error}};
    }
    static UriError resolve(std::string uri, std::string base, UriResolveErrorKind error) {
        return UriError{Resolve{std::move(uri), std::move(base), error}};
    }

    bool is_parse() const { return data.index() == 0; }
    std::string message() const;
    std::string debug(bool alternate = false) const;
};

// The error a retriever (or the registry itself) gives for a document it could not supply.
// Only its message reaches users; the debug text names its type.
struct ErrorSource {
    std::string message;
    std::string debug;

    static ErrorSource text(std::string msg) {
        // A plain text error shows as the quoted text in debug form.
        std::string dbg = "\"" + msg + "\"";
        return ErrorSource{std::move(msg), std::move(dbg)};
    }
};

enum class IntParseErrorKind : std::uint8_t { Empty, InvalidDigit, PosOverflow };


using value::Utf8Error;

struct ReferenceError {
    enum class Kind : std::uint8_t {
        Unretrievable,
        PointerToNowhere,
        InvalidPercentEncoding,
        InvalidArrayIndex,
        NoSuchAnchor,
        InvalidAnchor,
        InvalidUri,
        UnknownSpecification,
        CircularMetaschema,
    };

    struct Unretrievable {
        std::string uri;
        ErrorSource source;
    };
    struct PointerToNowhere {
        std::string pointer;
    };
    struct InvalidPercentEncoding {
        std::string pointer;
        Utf8Error source;
    };
    struct InvalidArrayIndex {
        std::string pointer;
        std::string index;
        IntParseErrorKind source;
    };
    struct NoSuchAnchor {
        std::string anchor;
    };
    struct InvalidAnchor {
        std::string anchor;
    };
    struct InvalidUri {
        UriError error;
    };
    struct UnknownSpecification {
        std::string specification;
    };
    struct CircularMetaschema {
        std::string uri;
    };

    using Data = std::variant<Unretrievable, PointerToNowhere, InvalidPercentEncoding, InvalidArrayIndex,
                              NoSuchAnchor, InvalidAnchor, InvalidUri, UnknownSpecification, CircularMetaschema>;
    Data data;

    template <class V, class = std::enable_if_t<std::is_constructible_v<Data, V&&> &&
                                                 !std::is_same_v<std::decay_t<V>, ReferenceError>>>
    ReferenceError(V&& v) : data(std::forward<V>(v)) {}
    ReferenceError(UriError e) : data(InvalidUri{std::move(e)}) {}

    Kind kind() const { return static_cast<Kind>(data.index()); }
    template <class V>
    const V* get_if() const {
        return std::get_if<V>(&data);
    }

    // The display form that reaches users.
    std::string message() const;
    // Structured form for stop messages; `alternate` gives the indented multi-line variant.
    std::string debug(bool alternate = false) const;
};

// The message of the refusal that unretrievable URIs of a finished registry carry.
inline constexpr std::string_view kRegistryPopulatedMessage =
    "Retrieving external resources is not supported once the registry is populated";
inline constexpr std::string_view kNoBaseUriMessage = "No base URI is available";
inline constexpr std::string_view kDefaultRetrieverMessage = "Default retriever does not fetch resources";

}  // namespace deririrore::referencing
