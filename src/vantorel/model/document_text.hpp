#pragma once
// From the bytes of an API document (or a file it refers to) to a JSON value: reading the file
// with its limits, choosing JSON or YAML first by the file name, YAML merge keys, and the error
// of a load with its texts.
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "vantorel/model/yaml_reader.hpp"

namespace vantorel::model {

using deririrore::Result;
using deririrore::value::Value;

// The largest file read as an API document or a referenced file: 256 MiB, five times the largest
// public API description we know of.
inline constexpr std::size_t kMaxDocumentFileBytes = std::size_t{256} << 20;

// Why a file could not be read. `error_number` is the system's error number when the system gave
// one (the message is then its text alone), else 0 and the message is our own.
struct FileReadError {
    int error_number = 0;
    std::string message;
};

// Reads a whole file as UTF-8 text. Only a regular file (after following links) of at most
// `max_bytes` is read; a directory, a FIFO, a device such as /dev/zero or a socket is refused
// without waiting on it.
Result<std::string, FileReadError> read_text_file(std::string_view path,
                                                  std::size_t max_bytes = kMaxDocumentFileBytes);

// The failure of loading a document; message() is the text users see.
struct SpecLoadError {
    // "Failed to read file `{path}`: {error}"
    struct Read {
        std::string path;
        FileReadError error;
    };
    // The JSON reader's error text alone.
    struct Json {
        std::string error;
    };
    // "Parse error:\n  JSON: {json}\n  YAML: {yaml}": both readers' errors, whichever went first.
    struct Parse {
        std::string json;
        std::string yaml;
    };
    // "Network error: {error}"
    struct Network {
        std::string error;
    };
    std::variant<Read, Json, Parse, Network> data;

    std::string message() const;
};

// True when the extension of the last path component is exactly "yml" or "yaml". A trailing "/"
// is ignored; ".", ".." and a root have no extension, nor has a name whose only "." leads it.
bool is_yaml_path(std::string_view path) noexcept;

// The same test on the path of a URL (its query, fragment and host do not count), for documents
// fetched over HTTP: "https://h/api.yaml?v=2" is YAML, "https://api.yaml/" is not.
bool is_yaml_url(std::string_view url) noexcept;

// Expands every "<<" member whose value is an object or an array of objects: the sources'
// members are added where the object lacks them (its own members win, an earlier source wins
// over a later one) and "<<" disappears. Sources are expanded before they are merged. Any other
// "<<" value stays an ordinary member. True when at least one merge key was expanded. Walks with
// an explicit stack, so any depth is safe.
bool expand_yaml_merge_keys(Value& value);

// YAML text to a value; a text that contains "<<" gets its merge keys expanded.
Result<Value, YamlError> parse_yaml_document(std::string_view text, const YamlLimits& limits = {});

// JSON or YAML text to a value, the preferred reader first and the other when it fails; when both
// fail, the Parse error with both readers' errors.
Result<Value, SpecLoadError> parse_schema_text(std::string_view text, bool yaml_first, const YamlLimits& limits = {});

// Reads the file at `path` and parses it, YAML first when is_yaml_path says so.
Result<Value, SpecLoadError> read_document_file(std::string_view path, const YamlLimits& limits = {});

}  // namespace vantorel::model
