#include "zavova/annotated_listing.hpp"

#include <cstddef>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/json.hpp"

namespace zavova {
namespace {

using deririrore::value::Value;
using deririrore::value::ValueKind;

struct Segment {
    bool is_index = false;
    std::string key;
    std::size_t index = 0;
};

bool is_key(const Segment& s, std::string_view key) { return !s.is_index && s.key == key; }

bool is_vendor_key(std::string_view key) { return key.size() >= 2 && key.starts_with("x-") && key != "x-nullable"; }

// Keywords whose members are named subschemas (and the component schemas a measured schema
// carries at its root): a member named like a vendor extension, "discriminator" or a
// documentation keyword there is a property or definition, not documentation.
bool is_name_map_keyword(const std::vector<Segment>& path, std::size_t position) {
    if (position == 0) return false;
    const Segment& before = path[position - 1];
    if (before.is_index) return false;
    if (before.key == "schemas") return position == 2 && is_key(path[0], "components");
    return before.key == "$defs" || before.key == "properties" || before.key == "definitions" ||
           before.key == "dependentSchemas" || before.key == "patternProperties";
}

class Listing {
public:
    Listing(const CoverageState& state, std::vector<std::string>* locations)
        : entries_(state.entries), locations_(locations) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_.entry(i).kind.tag == EntryTag::Example) example_locations_.emplace(entries_.location(i));
        }
        lines_.reserve(32);
        pending_.reserve(64);
        location_.reserve(16);
        // Depth 0: the empty path.
        prefix_length_.push_back(0);
        hidden_below_.push_back(false);
        in_example_.push_back(example_locations_.count(std::string()) != 0);
    }

    std::vector<AnnotatedLine> run(const Value& root) {
        struct Frame {
            const Value* container;
            std::size_t next;
        };
        std::vector<Frame> stack;
        auto write_value = [&](const Value& v) {
            switch (v.kind()) {
                case ValueKind::Null:
                    pending_ += "null";
                    return;
                case ValueKind::Boolean:
                    pending_ += v.as_bool() ? "true" : "false";
                    return;
                case ValueKind::Number:
                    pending_ += v.number_text();
                    return;
                case ValueKind::String:
                    deririrore::value::append_json_string(pending_, v.as_string());
                    return;
                case ValueKind::Array:
                    if (v.as_array().empty()) {
                        pending_ += "[]";
                        return;
                    }
                    pending_ += '[';
                    ++indent_;
                    flush();
                    push_segment(Segment{true, {}, 0});
                    stack.push_back({&v, 0});
                    return;
                case ValueKind::Object:
                    if (v.as_object().empty()) {
                        pending_ += "{}";
                        return;
                    }
                    pending_ += '{';
                    ++indent_;
                    flush();
                    push_segment(Segment{false, v.as_object().front().key, 0});
                    stack.push_back({&v, 0});
                    return;
            }
        };

        write_value(root);
        while (!stack.empty()) {
            Frame& top = stack.back();
            const Value& container = *top.container;
            if (top.next == container.size()) {
                const char bracket = container.is_array() ? ']' : '}';
                stack.pop_back();
                --indent_;
                flush();
                pop_segment();
                indent();
                pending_ += bracket;
                continue;
            }
            const std::size_t i = top.next++;
            if (container.is_array()) {
                if (i > 0) {
                    pending_ += ',';
                    flush();
                    replace_top(Segment{true, {}, i});
                }
                indent();
                write_value(container.as_array()[i]);
            } else {
                const auto& member = container.as_object()[i];
                if (i > 0) {
                    pending_ += ',';
                    flush();
                    replace_top(Segment{false, member.key, 0});
                }
                indent();
                deririrore::value::append_json_string(pending_, member.key);
                pending_ += ": ";
                write_value(member.value);
            }
        }
        flush();
        return std::move(lines_);
    }

private:
    void indent() { pending_.append(2 * indent_, ' '); }

    void push_segment(Segment s) {
        path_.push_back(std::move(s));
        prefix_length_.push_back(0);
        hidden_below_.push_back(false);
        in_example_.push_back(false);
        settle_top();
    }

    void replace_top(Segment s) {
        path_.back() = std::move(s);
        settle_top();
    }

    void pop_segment() {
        path_.pop_back();
        prefix_length_.pop_back();
        hidden_below_.pop_back();
        in_example_.pop_back();
        location_.resize(prefix_length_.back());
    }

    // Extends the location text and the running flags by the top segment, so that each line
    // costs one segment of work, whatever the depth.
    void settle_top() {
        const std::size_t depth = path_.size();
        location_.resize(prefix_length_[depth - 1]);
        location_ += '/';
        const Segment& top = path_.back();
        if (top.is_index) {
            location_ += std::to_string(top.index);
        } else {
            deririrore::referencing::push_pointer_segment(location_, top.key);
        }
        prefix_length_[depth] = location_.size();

        bool hides = false;
        if (!top.is_index) {
            hides = (top.key == "discriminator" || is_vendor_key(top.key)) && !is_name_map_keyword(path_, depth - 1);
        } else if (depth >= 2 && is_key(path_[depth - 2], "examples")) {
            hides = true;
        }
        hidden_below_[depth] = hidden_below_[depth - 1] || hides;
        in_example_[depth] =
            in_example_[depth - 1] || (!example_locations_.empty() && example_locations_.count(location_) != 0);
    }

    void flush() {
        const KeywordEntry* entry = entries_.find(location_);
        if (entry != nullptr && entry->kind.tag == EntryTag::Example) return drop();
        if (entry == nullptr && !path_.empty()) {
            const Segment& last = path_.back();
            // A property or definition named like a documentation keyword is still a schema.
            if (!last.is_index &&
                (last.key == "title" || last.key == "examples" || last.key == "deprecated" ||
                 last.key == "description") &&
                !is_name_map_keyword(path_, path_.size() - 1)) {
                return drop();
            }
            if (hidden_below_.back()) return drop();
        }
        if (in_example_.back()) return drop();
        lines_.push_back(AnnotatedLine{pending_, entry ? std::optional<KeywordEntry>(*entry) : std::nullopt});
        if (locations_ != nullptr) locations_->push_back(location_);
        pending_.clear();
    }

    void drop() { pending_.clear(); }

    const EntryMap& entries_;
    std::vector<std::string>* locations_;
    std::unordered_set<std::string> example_locations_;
    std::vector<AnnotatedLine> lines_;
    std::string pending_;
    std::string location_;
    std::size_t indent_ = 0;
    std::vector<Segment> path_;
    // Per path depth (index 0 the empty path): the location text's length, whether a segment up
    // to there hides everything under it, and whether an example's value holds this location.
    std::vector<std::size_t> prefix_length_;
    std::vector<bool> hidden_below_;
    std::vector<bool> in_example_;
};

}  // namespace

std::vector<AnnotatedLine> write_annotated_schema(const deririrore::value::Value& schema, const CoverageState& state) {
    return Listing(state, nullptr).run(schema);
}

LocatedListing write_located_schema(const deririrore::value::Value& schema, const CoverageState& state) {
    LocatedListing out;
    out.lines = Listing(state, &out.locations).run(schema);
    return out;
}

}  // namespace zavova
