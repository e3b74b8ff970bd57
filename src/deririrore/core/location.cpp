#include "deririrore/core/location.hpp"

#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "deririrore/core/internal_error.hpp"

namespace deririrore::core {

namespace {

Location::Block* allocate_block(std::size_t capacity) {
    if (capacity > (static_cast<std::size_t>(-1) >> 2)) {
        throw InternalError("capacity overflow");
    }
    void* raw = ::operator new(offsetof(Location::Block, bytes) + capacity + 1);
    auto* block = static_cast<Location::Block*>(raw);
    new (&block->refs) std::atomic<std::size_t>(1);
    block->len = 0;
    return block;
}

}  // namespace

namespace {
// Process-wide blocks that are never freed: a count that starts at 1 never reaches zero.
Location::Block* empty_block() {
    static Location::Block* block = allocate_block(0);
    return block;
}
}  // namespace

Location::Location() noexcept : block_(empty_block()) { retain(); }

Location::Location(std::string_view text) : block_(nullptr) {
    if (text.empty()) {
        block_ = empty_block();
        retain();
        return;
    }
    block_ = allocate_block(text.size());
    std::memcpy(block_->bytes, text.data(), text.size());
    block_->len = text.size();
}

void Location::retain() const noexcept {
    if (block_ != nullptr) block_->refs.fetch_add(1, std::memory_order_relaxed);
}

void Location::release(Block* block) noexcept {
    if (block == nullptr) return;
    if (block->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        ::operator delete(static_cast<void*>(block));
    }
}

Location Location::index(std::size_t i) {
    static const std::array<Location, 16> cached = [] {
        std::array<Location, 16> out;
        for (std::size_t k = 0; k < out.size(); ++k) {
            // Appended rather than "/" + text: GCC 12 at -O3 takes the prepend for an overlapping copy.
            std::string text(1, '/');
            text += std::to_string(k);
            out[k] = Location(text);
        }
        return out;
    }();
    if (i >= cached.size()) throw InternalError("cached index location out of range");
    return cached[i];
}

LocationWriter::LocationWriter(std::size_t capacity) : block_(allocate_block(capacity)), capacity_(capacity) {}

LocationWriter::~LocationWriter() {
    if (block_ != nullptr) ::operator delete(static_cast<void*>(block_));
}

void LocationWriter::append(std::string_view text) {
    if (len_ + text.size() > capacity_) throw InternalError("location writer overflow");
    std::memcpy(block_->bytes + len_, text.data(), text.size());
    len_ += text.size();
}

void LocationWriter::append_char(char c) {
    if (len_ + 1 > capacity_) throw InternalError("location writer overflow");
    block_->bytes[len_++] = c;
}

void LocationWriter::append_escaped(std::string_view name) {
    for (char c : name) {
        if (c == '~') {
            append_char('~');
            append_char('0');
        } else if (c == '/') {
            append_char('~');
            append_char('1');
        } else {
            append_char(c);
        }
    }
}

void LocationWriter::append_index(std::uint64_t index) {
    char digits[20];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + index % 10);
        index /= 10;
    } while (index != 0);
    while (n > 0) append_char(digits[--n]);
}

Location LocationWriter::finish() {
    if (len_ == 0) return Location();
    block_->len = len_;
    Location::Block* block = block_;
    block_ = nullptr;
    return Location(block);
}

std::size_t LocationWriter::escaped_length(std::string_view name) noexcept {
    std::size_t n = name.size();
    for (char c : name) {
        if (c == '~' || c == '/') ++n;
    }
    return n;
}

std::size_t LocationWriter::index_length(std::uint64_t index) noexcept {
    std::size_t n = 1;
    while (index >= 10) {
        index /= 10;
        ++n;
    }
    return n;
}

Location location_from_lazy(const LazyLocation& lazy) {
    if (lazy.is_root()) return Location();
    if (lazy.parent()->is_root() && lazy.is_index() && lazy.index() < 16) {
        return Location::index(static_cast<std::size_t>(lazy.index()));
    }
    std::size_t count = 0;
    std::size_t length = 0;
    for (const LazyLocation* node = &lazy; !node->is_root(); node = node->parent()) {
        ++count;
        length += 1 + (node->is_index() ? LocationWriter::index_length(node->index())
                                        : LocationWriter::escaped_length(node->name()));
    }
    // Segments are collected innermost first and written outermost first.
    std::array<const LazyLocation*, 16> fixed{};
    std::vector<const LazyLocation*> heap;
    const LazyLocation** nodes = fixed.data();
    if (count > fixed.size()) {
        heap.resize(count);
        nodes = heap.data();
    }
    std::size_t i = count;
    for (const LazyLocation* node = &lazy; !node->is_root(); node = node->parent()) nodes[--i] = node;
    LocationWriter writer(length);
    for (std::size_t k = 0; k < count; ++k) {
        writer.append_char('/');
        if (nodes[k]->is_index()) {
            writer.append_index(nodes[k]->index());
        } else {
            writer.append_escaped(nodes[k]->name());
        }
    }
    return writer.finish();
}

Location location_join_key(const Location& base, std::string_view name) {
    LocationWriter writer(base.size() + 1 + LocationWriter::escaped_length(name));
    writer.append(base.view());
    writer.append_char('/');
    writer.append_escaped(name);
    return writer.finish();
}

Location append_index_to_location(const Location& base, std::uint64_t index) {
    LocationWriter writer(base.size() + 1 + LocationWriter::index_length(index));
    writer.append(base.view());
    writer.append_char('/');
    writer.append_index(index);
    return writer.finish();
}

Location location_join_segment(const Location& base, const LazyLocation& segment) {
    if (segment.is_index()) return append_index_to_location(base, segment.index());
    return location_join_key(base, segment.name());
}

Location join_locations(const Location& base, std::string_view text) {
    if (text.empty()) return base;
    if (base.empty()) return Location(text);
    LocationWriter writer(base.size() + text.size());
    writer.append(base.view());
    writer.append(text);
    return writer.finish();
}

const Location& resolve_ref_chain_location(const RefChain& hop) {
    if (hop.joined) return *hop.joined;
    std::vector<const RefChain*> missing;
    for (const RefChain* h = &hop; h != nullptr && !h->joined; h = h->parent) missing.push_back(h);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const RefChain* h = *it;
        if (h->parent == nullptr) {
            h->joined = *h->reference_location;
        } else {
            h->joined = join_locations(*h->parent->joined, h->reference_location->view());
        }
    }
    return *hop.joined;
}

std::string_view strip_target_base(const RefChain& hop, const Location& keyword) {
    std::string_view text = keyword.view();
    std::string_view base = hop.target_base->view();
    if (text.size() >= base.size() && text.substr(0, base.size()) == base) text.remove_prefix(base.size());
    return text;
}

EvaluationPath evaluation_path_location(const RefChain* hop, const Location& keyword) {
    if (hop == nullptr) return EvaluationPath{};
    Location chain = resolve_ref_chain_location(*hop);
    std::string_view rest = strip_target_base(*hop, keyword);
    Location relative = rest.size() == keyword.size() ? keyword : Location(rest);
    return EvaluationPath{EvaluationPath::Joined{std::move(chain), std::move(relative)}};
}

Location join_evaluation_path(const EvaluationPath& path, const Location& schema_path) {
    switch (path.data.index()) {
        case 0:
            return schema_path;
        case 1:
            return std::get<1>(path.data);
        default: {
            const auto& joined = std::get<2>(path.data);
            return join_locations(joined.chain, joined.relative.view());
        }
    }
}

}  // namespace deririrore::core
