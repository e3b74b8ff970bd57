#pragma once
// Reference texts: whether one names a URI with a scheme (never followed), the lexical
// normalisation of referenced file paths, percent-decoding, and the location steps of a walk
// over a schema turned into JSON pointers.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "deririrore/referencing/error.hpp"
#include "deririrore/value/result.hpp"

namespace vantorel::model {

// True when the text before the first ":" is a URI scheme: an ASCII letter, then ASCII letters,
// digits, "+", "-" or ".". A single letter counts (a drive letter is a scheme too).
bool has_uri_scheme(std::string_view text) noexcept;

// Purely lexical: "." and empty components dropped, "name/.." removed, a ".." that has no name
// before it kept ("a/../../b" gives "../b", "/.." stays "/.."). The file system is not asked, so
// one file reached by different relative paths gets one name.
std::string normalize_reference_path(std::string_view path);

// The path without its last component: "dir" for "dir/spec.yaml", "/" for "/spec.yaml", and the
// empty path for a bare name, the empty path and a root. Repeated and trailing "/" and "."
// components do not count as components.
std::string parent_directory(std::string_view path);

// A reference's decoded file part joined to a base directory: a path beginning with "/" replaces
// the base, an empty one leaves it, anything else follows it after a "/" (none after an empty base
// or one ending in "/"). Not normalised.
std::string join_reference_path(std::string_view base, std::string_view path);

// "%XY" decoded; a "%" not followed by two hexadecimal digits stays as written. The decoded
// bytes must be UTF-8; otherwise where the valid prefix ends and the length of the bad sequence.
deririrore::Result<std::string, deririrore::referencing::Utf8Error> percent_decode_utf8(std::string_view text);

// Where the valid UTF-8 prefix of `bytes` ends, or nothing when all of it is valid.
std::optional<deririrore::referencing::Utf8Error> check_utf8(std::string_view bytes) noexcept;

// One step of a location during a walk. Steps live in one list; a step refers only to steps
// before it, and only root steps have no parent.
namespace path_steps {
// The start of a location: the empty text for the walked schema itself, or the pointer at which a
// placed target sits.
struct Root {
    std::string prefix;
};
// The member `key` of the object at `parent`; the key views the walked object's own text.
struct Member {
    std::size_t parent = 0;
    std::string_view key;
};
// The element `index` of the array at `parent`.
struct Item {
    std::size_t parent = 0;
    std::uint64_t index = 0;
};
}  // namespace path_steps

using PathStep = std::variant<path_steps::Root, path_steps::Member, path_steps::Item>;

// The JSON pointer of step `n`: its root's prefix, then "/" and each member key (escaped) or
// item index from the root down. A parent index that is not before its step, or one beyond the
// list, is a broken invariant (deririrore::InternalError).
std::string pointer_from_steps(std::span<const PathStep> steps, std::size_t n);

}  // namespace vantorel::model
