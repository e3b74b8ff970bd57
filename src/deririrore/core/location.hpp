#pragma once
// Locations: JSON-pointer texts naming places in schemas and instances.
//
// `Location` is an immutable, shared text: copying it bumps an atomic count. The empty
// Location and "/0".."/15" are process-wide values built once. `LazyLocation` is an instance
// path under construction: a chain of stack-resident segments that costs nothing until its text
// is asked for. `RefChain` is one hop of the `$ref` chain that led to the schema being checked;
// evaluation paths of errors are derived from it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace deririrore::core {

class Location {
public:
    // The shared empty Location (the root).
    Location() noexcept;
    explicit Location(std::string_view text);
    Location(const Location& other) noexcept : block_(other.block_) { retain(); }
    Location(Location&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    Location& operator=(const Location& other) noexcept {
        if (block_ != other.block_) {
            Block* old = block_;
            block_ = other.block_;
            retain();
            release(old);
        }
        return *this;
    }
    Location& operator=(Location&& other) noexcept {
        if (this != &other) {
            release(block_);
            block_ = other.block_;
            other.block_ = nullptr;
        }
        return *this;
    }
    ~Location() { release(block_); }

    std::string_view view() const noexcept;
    const char* data() const noexcept { return view().data(); }
    std::size_t size() const noexcept { return view().size(); }
    bool empty() const noexcept { return size() == 0; }
    std::string str() const { return std::string(view()); }

    // Whether both handles share one block (identity, not content).
    bool same_block(const Location& other) const noexcept { return block_ == other.block_; }

    friend bool operator==(const Location& a, const Location& b) noexcept {
        return a.same_block(b) || a.view() == b.view();
    }
    friend bool operator==(const Location& a, std::string_view b) noexcept { return a.view() == b; }

    // Cached "/i" for i < 16; built on first request of any of them.
    static Location index(std::size_t i);

    struct Block {
        std::atomic<std::size_t> refs;
        std::size_t len;
        char bytes[1];
    };

private:
    explicit Location(Block* adopted) noexcept : block_(adopted) {}
    void retain() const noexcept;
    static void release(Block* block) noexcept;
    friend class LocationWriter;

    Block* block_;
};

inline std::string_view Location::view() const noexcept {
    if (block_ == nullptr) return {};
    return std::string_view(block_->bytes, block_->len);
}

// Builds a new Location of a known maximal length in one allocation.
class LocationWriter {
public:
    explicit LocationWriter(std::size_t capacity);
    ~LocationWriter();
    LocationWriter(const LocationWriter&) = delete;
    LocationWriter& operator=(const LocationWriter&) = delete;

    void append(std::string_view text);
    void append_char(char c);
    // A property name escaped as a JSON-pointer token ("~" as "~0", "/" as "~1").
    void append_escaped(std::string_view name);
    void append_index(std::uint64_t index);
    Location finish();

    static std::size_t escaped_length(std::string_view name) noexcept;
    static std::size_t index_length(std::uint64_t index) noexcept;

private:
    Location::Block* block_;
    std::size_t capacity_;
    std::size_t len_ = 0;
};

// One segment of an instance path under construction. Nodes live on the stack of the traversing
// call; the root has no parent and its segment is never written.
class LazyLocation {
public:
    constexpr LazyLocation() noexcept = default;

    LazyLocation push(std::string_view name) const noexcept { return LazyLocation(this, name); }
    LazyLocation push(std::uint64_t index) const noexcept { return LazyLocation(this, index); }

    const LazyLocation* parent() const noexcept { return parent_; }
    bool is_root() const noexcept { return parent_ == nullptr; }
    bool is_index() const noexcept { return is_index_; }
    std::string_view name() const noexcept { return name_; }
    std::uint64_t index() const noexcept { return index_; }

private:
    LazyLocation(const LazyLocation* parent, std::string_view name) noexcept : parent_(parent), name_(name) {}
    LazyLocation(const LazyLocation* parent, std::uint64_t index) noexcept
        : parent_(parent), index_(index), is_index_(true) {}

    const LazyLocation* parent_ = nullptr;
    std::string_view name_{};
    std::uint64_t index_ = 0;
    bool is_index_ = false;
};

Location location_from_lazy(const LazyLocation& lazy);
// base + "/" + escaped name.
Location location_join_key(const Location& base, std::string_view name);
// base + "/" + decimal index.
Location append_index_to_location(const Location& base, std::uint64_t index);
// base + "/" + the segment, written as an index or an escaped name.
Location location_join_segment(const Location& base, const LazyLocation& segment);
// base immediately followed by text; an empty text returns the base itself.
Location join_locations(const Location& base, std::string_view text);

// One hop of the reference chain; hops live on the stack of the reference validator that made
// them and are used by one thread only.
struct RefChain {
    const Location* reference_location = nullptr;
    const Location* target_base = nullptr;
    const RefChain* parent = nullptr;
    mutable std::optional<Location> joined;
    mutable std::uint64_t memo_id = 0;

    RefChain(const Location& reference, const Location& target, const RefChain* parent_hop) noexcept
        : reference_location(&reference), target_base(&target), parent(parent_hop) {}
};

// The hop's full chain Location, computed (with any missing ancestors) on first demand.
const Location& resolve_ref_chain_location(const RefChain& hop);

// The keyword Location with the hop's target base removed from its front, when it starts with it.
std::string_view strip_target_base(const RefChain& hop, const Location& keyword);

struct EvaluationPath {
    struct Joined {
        Location chain;
        Location relative;
    };
    // monostate: raised outside any reference, the path is the schema path.
    std::variant<std::monostate, Location, Joined> data;

    bool is_none() const noexcept { return data.index() == 0; }
};

EvaluationPath evaluation_path_location(const RefChain* hop, const Location& keyword);
// The one-Location view of an evaluation path.
Location join_evaluation_path(const EvaluationPath& path, const Location& schema_path);

}  // namespace deririrore::core
