#pragma once
// Checks that can only pass for the values they will see, registered as pass-only entries (covered
// once passed): a body that is a plain binary string, a Swagger 2.0 "file" schema, and the
// string-typed checks of every `propertyNames` schema, whose instances are always member names.
//
//   EntryMap entries;
//   if (!add_binary_schema_targets(schema, entries)) collect_string_type_targets(schema, entries);
#include <string>
#include <unordered_set>

#include "deririrore/value/value.hpp"
#include "zavova/coverage_state.hpp"

namespace zavova {

using deririrore::value::Value;

// An object whose "type" is "string", whose "format" is "binary", and whose other members are all
// annotations.
bool is_plain_binary_schema(const Value& schema);

// For a plain binary schema: the schema itself, "/type" and "/format". False, registering nothing,
// otherwise.
bool add_binary_schema_targets(const Value& schema, EntryMap& entries);

// For a schema whose "type" is exactly the string "file": the schema itself and "/type".
bool add_file_schema_targets(const Value& schema, EntryMap& entries);

// The string-typed checks below every `propertyNames` reached through properties, pattern
// properties, additional properties, items, the applicators and local references.
void collect_string_type_targets(const Value& schema, EntryMap& entries);

// The walk of collect_string_type_targets from `node` at `location` inside `root`; `visited` holds
// the schema values (by identity) already walked. Iterative, so any depth is safe.
void collect_property_name_targets(const Value& root, const Value& node, EntryMap& entries, std::string location,
                                   std::unordered_set<const Value*>& visited);

}  // namespace zavova
