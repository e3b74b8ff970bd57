#pragma once
// Where the path templates of a document go: the route table when it can hold them, else the
// parsed fallback lists beside it, and in every case an entry of the path index whose method
// map receives the template's operations.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantorel/model/method_map.hpp"
#include "vantorel/model/path_templates.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/model/route_table.hpp"
#include "vantorel/model/seeded_hash.hpp"

namespace vantorel::model {

// Route texts to their method maps, in insertion order. Entries never move once inserted.
class PathIndex {
public:
    struct Entry {
        std::string route;
        MethodMap methods;
    };

    void reserve(std::size_t n) { index_.reserve(n); }
    // The entry of the route, appended empty when new.
    MethodMap& insert(std::string_view route);
    MethodMap* find(std::string_view route) noexcept;
    const MethodMap* find(std::string_view route) const noexcept;
    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }

    auto begin() noexcept { return entries_.begin(); }
    auto end() noexcept { return entries_.end(); }
    auto begin() const noexcept { return entries_.begin(); }
    auto end() const noexcept { return entries_.end(); }

private:
    std::deque<Entry> entries_;
    TextMap<std::size_t> index_;
};

// A template the route table refused because an equivalent one holds the route.
struct Shadowing {
    std::string owner;
    // A parameter name of the refused template to the owner's name at the same segment, where
    // the two differ.
    TextMap<std::string> renames;
};

struct RouteIndex {
    RouteTable routes;
    PathIndex paths;
    std::vector<SegmentTemplate> segment_templates;  // templates without "?" the table does not hold
    std::vector<QueryTemplate> query_templates;      // templates with "?"
    TextSet unroutable_templates;                    // templates whose path part does not parse
    TextMap<Shadowing> shadowing_templates;
    // The stripped form of every route text holding "#" to those route texts, in insertion order.
    TextMap<std::vector<std::string>> fragment_paths;
    // Some template offered to the table is longer than one byte and ends in "/".
    bool has_trailing_slash_templates = false;
};

// Registers one path key (as written) under the base path and answers its method map. A key
// with more parameters than the route table takes is recorded as a "too_many_route_parameters"
// problem of that key and kept in `segment_templates`, so that its operations still count.
MethodMap& insert_route(RouteIndex& index, const std::optional<std::string>& base_path, std::string_view path_key,
                        std::vector<ProblemEntry>& problems);

// Keeps a route text the table does not hold: parsed into `query_templates` (with "?") or
// `segment_templates`, or by name in `unroutable_templates` when its path part does not parse.
void register_unrouted_template(RouteIndex& index, std::string_view route);

// The renames of a conflict: segment by segment, where both are a whole "{name}" and the names
// differ, the refused template's name to the owner's.
TextMap<std::string> shadowing_renames(std::string_view route, std::string_view owner);

// Marks every operation of a shadowed template whose method the owner also has with
// `shadowed_by` = the owner's text; each (template, method) once.
void mark_shadowed_operations(RouteIndex& index);

}  // namespace vantorel::model
