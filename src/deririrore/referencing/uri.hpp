#pragma once
// URI references (RFC 3986): a strict ASCII parser with byte-index errors, section 5.2 resolution,
// section 6.2.2 normalisation, the default base URI and the registry's resolution cache.
#include <cstddef>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "deririrore/referencing/error.hpp"
#include "deririrore/value/result.hpp"

namespace deririrore::referencing {

// A parsed URI or URI reference: its text and the boundaries of its components.
class Uri {
public:
    Uri() = default;

    const std::string& text() const noexcept { return text_; }
    std::string_view view() const noexcept { return text_; }

    bool has_scheme() const noexcept { return scheme_end_ != kNone; }
    std::string_view scheme() const noexcept {
        return has_scheme() ? std::string_view(text_).substr(0, scheme_end_) : std::string_view();
    }
    bool has_authority() const noexcept { return authority_start_ != kNone; }
    std::string_view authority() const noexcept {
        return has_authority() ? slice(authority_start_, authority_end_) : std::string_view();
    }
    std::string_view host() const noexcept { return has_authority() ? slice(host_start_, host_end_) : std::string_view(); }
    std::string_view path() const noexcept { return slice(path_start_, path_end_); }
    bool has_query() const noexcept { return query_start_ != kNone; }
    std::string_view query() const noexcept { return has_query() ? slice(query_start_, query_end_) : std::string_view(); }
    bool has_fragment() const noexcept { return fragment_start_ != kNone; }
    std::string_view fragment() const noexcept {
        return has_fragment() ? slice(fragment_start_, text_.size()) : std::string_view();
    }
    // The text up to the end of the query, or of the path when there is no query.
    std::string_view without_fragment_view() const noexcept {
        return std::string_view(text_).substr(0, has_fragment() ? fragment_start_ - 1 : text_.size());
    }
    Uri without_fragment() const;

    friend bool operator==(const Uri& a, const Uri& b) noexcept { return a.text_ == b.text_; }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::string_view slice(std::size_t a, std::size_t b) const noexcept {
        return std::string_view(text_).substr(a, b - a);
    }

    std::string text_;
    std::size_t scheme_end_ = kNone;
    std::size_t authority_start_ = kNone;
    std::size_t authority_end_ = kNone;
    std::size_t host_start_ = kNone;
    std::size_t host_end_ = kNone;
    std::size_t path_start_ = 0;
    std::size_t path_end_ = 0;
    std::size_t query_start_ = kNone;
    std::size_t query_end_ = kNone;
    std::size_t fragment_start_ = kNone;

    friend class UriBuilder;
    friend class UriParser;
};

using UriRef = std::shared_ptr<const Uri>;

// Strict RFC 3986 parsing. Reference mode accepts relative references; URI mode requires a scheme.
Result<Uri, UriParseError> parse_uri_reference(std::string_view text);
Result<Uri, UriParseError> parse_absolute_uri(std::string_view text);
// Syntax-based normalisation (section 6.2.2); never fails. Percent-encodings are normalised before
// dot segments are removed from the path of a URI with a scheme.
Uri normalize_uri(const Uri& uri);
// Section 5.2 resolution of a reference against an absolute base without fragment; not normalised.
Result<Uri, UriResolveErrorKind> resolve_reference(const Uri& base, const Uri& reference);
// Section 5.2.4.
std::string remove_dot_segments(std::string_view path);

// Any text to an absolute URI; relative texts are resolved against the default base.
Result<Uri, UriError> parse_uri(std::string_view text);
// Resolution of a reference text against an absolute base, normalised.
Result<Uri, UriError> resolve_uri(const Uri& base, std::string_view reference);
// "json-schema:///", parsed once.
const UriRef& default_base_uri();
inline constexpr std::string_view kDefaultBaseUri = "json-schema:///";

// Successful resolutions keyed by (base text, reference text). Lookups share the lock; a miss is
// resolved outside the lock and inserted only if no other thread stored the pair meanwhile.
class ResolutionCache {
public:
    ResolutionCache() = default;
    ResolutionCache(const ResolutionCache&) = delete;
    ResolutionCache& operator=(const ResolutionCache&) = delete;
    ResolutionCache(ResolutionCache&& other) noexcept : map_(std::move(other.map_)) {}

    Result<UriRef, ReferenceError> resolve(const Uri& base, std::string_view reference) const;
    // For the single thread that owns the cache while a registry is built.
    Result<UriRef, ReferenceError> resolve_unlocked(const Uri& base, std::string_view reference);
    std::size_t size() const;

private:
    struct Key {
        std::string base;
        std::string reference;
    };
    struct KeyView {
        std::string_view base;
        std::string_view reference;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(const KeyView& k) const noexcept;
        std::size_t operator()(const Key& k) const noexcept { return (*this)(KeyView{k.base, k.reference}); }
    };
    struct Eq {
        using is_transparent = void;
        static KeyView view(const Key& k) noexcept { return {k.base, k.reference}; }
        static KeyView view(const KeyView& k) noexcept { return k; }
        template <class A, class B>
        bool operator()(const A& a, const B& b) const noexcept {
            KeyView x = view(a), y = view(b);
            return x.base == y.base && x.reference == y.reference;
        }
    };

    mutable std::shared_mutex mutex_;
    mutable std::unordered_map<Key, UriRef, Hash, Eq> map_;
};

}  // namespace deririrore::referencing
