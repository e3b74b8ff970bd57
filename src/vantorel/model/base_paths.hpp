#pragma once
// Requests arrive with full URLs while path templates are relative to a base: these turn what
// names the base (an argument, a Swagger 2.0 `basePath`, a `servers` URL) into a path prefix, fill
// server URL templates from their variables, and collect the further bases other servers declare.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/value.hpp"
#include "vantorel/model/problems.hpp"

namespace vantorel::model {

// At most this many variable combinations of one server URL are filled.
inline constexpr std::size_t kMaxServerUrlCombinations = 64;

struct ServerBase {
    std::string base;  // without trailing "/"; never the primary base path
    // The path keys whose path item or operations declare it, first met first; absent when a
    // root-level server declares it, so that it applies to every path.
    std::optional<std::vector<std::string>> path_keys;
};

// The path prefix a URL or path text denotes, none when it denotes none.
std::optional<std::string> derive_base_path(std::string_view text);

// derive_base_path, then every trailing "/" removed.
std::optional<std::string> normalise_base_path(std::string_view text);

// The text with each percent-escape of a byte 0x80 or above decoded; none when there is no such
// escape or the decoded bytes are not UTF-8.
std::optional<std::string> decode_non_ascii_escapes(std::string_view text);

// The URLs of one server object, its template filled from its variables' default and enum values
// (first variable in name order turning fastest), at most kMaxServerUrlCombinations.
std::vector<std::string> resolve_server_urls(const Value& server);

// Why a server URL gives no base path, where it stands (a JSON pointer), for a problem entry.
struct RefusedServerUrl {
    std::string url;
    std::string pointer;
    std::string_view reason;
};

// The server bases of an OpenAPI document: root servers apply to every path, servers of a path
// item or of its operations to that path key. Sorted longer base first, then by bytes. Absolute
// URLs that are neither a path nor parse as URLs are appended to `refused`.
std::vector<ServerBase> collect_server_bases(const Value& document, const std::optional<std::string>& primary,
                                             std::vector<RefusedServerUrl>* refused = nullptr);

}  // namespace vantorel::model
