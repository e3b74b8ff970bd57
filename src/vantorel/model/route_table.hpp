#pragma once
// The path router behind the route table. A template is split at "/"; a segment that is exactly
// "{name}" is a parameter standing for one non-empty segment of a request path, any segment
// without "{" is literal text. Templates are kept in a trie, so that a lookup costs one step per
// segment of the request path however many templates the table holds.
//
// Ranking: at each segment a literal child is tried before the parameter child, and the walk
// backs up to the parameter child when the literal branch leads to no template. So /users/me
// wins over /users/{id} for /users/me, while /users/me/x still reaches /users/{id}/x.
//
// Conflicts: two templates conflict exactly when they have the same segments apart from the
// names of their parameters (identical templates included); the second is refused and the
// first named as its owner. Other pairs coexist, since the ranking decides between them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::model {

enum class RouteInsertStatus : std::uint8_t {
    Inserted,
    // The table holds a template that differs at most in parameter names: `owner`.
    Conflict,
    // A segment with "{" that is not exactly one "{name}" (text beside a parameter, an unclosed
    // or a doubled brace).
    Refused,
    // More than kMaxRouteParameters parameters, not counting names beginning with "*".
    TooManyParameters,
};

inline constexpr std::size_t kMaxRouteParameters = 25;

struct RouteInsertResult {
    RouteInsertStatus status = RouteInsertStatus::Inserted;
    std::string_view owner;      // Conflict only; views the table until its next insertion
    std::size_t parameters = 0;  // counted parameters (TooManyParameters and Inserted)
};

struct RouteCapture {
    std::string_view name;   // views the table
    std::string_view value;  // views the looked-up path
};

// Working space of lookups, reused from one lookup to the next so that a lookup allocates
// nothing once it has grown.
class RouteLookup {
public:
    std::span<const RouteCapture> captures() const noexcept { return captures_; }

private:
    friend class RouteTable;
    struct Frame {
        std::uint32_t node;
        std::uint8_t stage;  // 0: try the literal child next, 1: the parameter child, 2: done
        bool via_parameter;
    };
    std::vector<std::pair<std::size_t, std::size_t>> segments_;  // offset, length
    std::vector<Frame> frames_;
    std::vector<std::string_view> values_;
    std::vector<RouteCapture> captures_;
};

class RouteTable {
public:
    RouteTable();

    // Inserts a template; its value is the template text itself.
    RouteInsertResult insert(std::string_view route);

    // The template text of the route matching `path`, or nullptr; `lookup.captures()` then holds
    // the parameter values in template order.
    const std::string* find(std::string_view path, RouteLookup& lookup) const;
    const std::string* find(std::string_view path) const {
        RouteLookup lookup;
        return find(path, lookup);
    }

    std::size_t size() const noexcept { return routes_.size(); }

private:
    static constexpr std::uint32_t kNone = 0xffffffffu;
    struct Node {
        std::uint32_t parameter_child = kNone;
        std::uint32_t route = kNone;
    };
    struct Route {
        std::string text;
        std::vector<std::string> parameter_names;
    };
    // One literal edge of the trie in an open-addressing table; the segment text sits in `texts_`.
    struct Edge {
        std::uint64_t hash = 0;
        std::uint32_t parent = kNone;  // kNone: a free slot
        std::uint32_t child = kNone;
        std::uint32_t text_offset = 0;
        std::uint32_t text_length = 0;
    };

    std::uint64_t edge_hash(std::uint32_t parent, std::string_view segment) const noexcept;
    void add_edge(std::uint32_t parent, std::string_view segment, std::uint32_t child);
    void grow_edges();
    std::uint32_t literal_child(std::uint32_t node, std::string_view segment) const;

    std::vector<Node> nodes_;
    std::vector<Route> routes_;
    std::vector<Edge> edges_;  // a power of two in size, at most half full
    std::size_t edge_count_ = 0;
    std::string texts_;
    std::uint64_t seed0_ = 0;
    std::uint64_t seed1_ = 0;
};

}  // namespace vantorel::model
