#pragma once
// Decoders of path, header and cookie parameter texts and of Swagger 2.0 collections, beside the
// query decoder of field_values.hpp: the same scalar recognition, then each location's list and
// object rules. Like the query decoder they never fail; a text that spells nothing admitted is a
// string for the schema to judge.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "multipart/field_values.hpp"

namespace multipart {

enum class PathStyle : std::uint8_t { Simple = 0, Label = 1, Matrix = 2 };
// Swagger 2.0 array encodings, numbered as the document model numbers them.
enum class CollectionFormat : std::uint8_t { Csv = 0, Ssv = 1, Tsv = 2, Pipes = 3, Multi = 4 };

// The character a delimited format splits on (',' for Csv, and for Multi, whose values come apart
// already).
char collection_delimiter(CollectionFormat format) noexcept;

struct PathStyleContext {
    PathStyle style = PathStyle::Simple;
    bool explode = false;
};

enum class CollectionShape : std::uint8_t { Array, Object };

using ValueCandidates = std::vector<Value>;

// Every scalar reading the mask admits, in the order null, boolean, integer, number, then the
// text as a string when strings are admitted.
void scalar_candidates(std::string_view text, const DecodeSpec& spec, ValueCandidates& out);

Value decode_path_value(std::string_view text, const DecodeSpec& spec, PathStyleContext context, const Value& schema,
                        const Value& root);
Value decode_path_collection(std::string_view text, PathStyleContext context, CollectionShape shape,
                             const Value& schema, const Value& root);
Value decode_header_value(std::string_view text, const DecodeSpec& spec, bool explode, const Value& schema,
                          const Value& root);
Value decode_cookie_value(std::string_view text, const DecodeSpec& spec, bool explode, const Value& schema,
                          const Value& root);
Value decode_query_collection(std::string_view text, QueryStyleContext context, CollectionShape shape,
                              const Value& schema, const Value& root);

// Header and cookie collections: a list of items, or key/value pairs (`assignments`: "k=v"
// pieces; otherwise keys and values alternate), all cut at `delimiter`.
Value decode_header_collection(std::string_view text, bool explode, CollectionShape shape, const Value& schema,
                               const Value& root);
Value decode_cookie_collection(std::string_view text, CollectionShape shape, const Value& schema, const Value& root);

// Swagger 2.0: Multi leaves the text whole (repeated values are gathered by the caller).
Value decode_collection_value(std::string_view text, const DecodeSpec& spec, CollectionFormat format,
                              const Value& schema, const Value& root);
Value decode_collection_item(std::string_view text, const DecodeSpec& spec, CollectionFormat format,
                             const Value& schema, const Value& root);
Value split_collection_value(std::string_view text, CollectionFormat format, const Value& schema, const Value& root);
Value decode_collection_item_list(std::string_view text, char delimiter, const Value& schema, const Value& root);
// The inner format of an item schema that is itself an array (csv unless it names another).
std::optional<CollectionFormat> nested_collection_format(const Value& item_schema);

// Nested Swagger 2.0 lists deeper than this keep their innermost pieces as strings.
inline constexpr int kMaxNestedCollectionDepth = 64;

}  // namespace multipart
